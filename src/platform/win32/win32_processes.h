// Starting programs on Windows: command lines through cmd.exe with a hidden window, program
// files in a normal window that takes the focus. Nothing is waited for.
#pragma once

#include <memory>

#include "common/ui_log.h"
#include "platform/processes.h"

namespace velmorin::platform {

// Each start goes to `log`, which must outlive the processes object.
std::unique_ptr<Processes> MakeWin32Processes(UiLog& log);

}  // namespace velmorin::platform
