// The user interface on Windows: a window per form, rendered from its control table; the
// forms' timers; the modal dialog's nested message loop with ESC caught by a keyboard hook;
// message boxes and the run-time error report; the end of the process.
#pragma once

#include <memory>

#include "platform/ui.h"

namespace velmorin::platform {

// Makes the process DPI aware and loads the common controls; call once, before any window.
// Message boxes are logged and not shown when VELMORIN_UNATTENDED is set (tests under Wine)
// or when the process has no visible desktop. Forms given to it must outlive it: it knows
// them by address.
std::unique_ptr<Ui> MakeWin32Ui();

}  // namespace velmorin::platform
