// Starting programs on Windows: command lines through cmd.exe with a hidden window, program
// files in a normal window that takes the focus. Nothing is waited for.
#pragma once

#include <memory>

#include "platform/processes.h"

namespace velmorin::platform {

std::unique_ptr<Processes> MakeWin32Processes();

}  // namespace velmorin::platform
