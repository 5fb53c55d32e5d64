// The user interface on Windows: a window per form, rendered from its control table; the
// forms' timers; the modal dialog's nested message loop with ESC caught by a keyboard hook;
// message boxes and the run-time error report; the end of the process.
#pragma once

#include <memory>

#include "common/ui_log.h"
#include "platform/ui.h"

namespace velmorin::platform {

struct Win32UiOptions {
  // Message boxes are logged and not shown (VELMORIN_UNATTENDED: tests under Wine); so they
  // are when the process has no visible desktop.
  bool unattended = false;
};

// Makes the process DPI aware and loads the common controls; call once, before any window.
// Every visible effect also goes to `log`. Forms given to it, and the log, must outlive it:
// it knows forms by address.
std::unique_ptr<Ui> MakeWin32Ui(UiLog& log, Win32UiOptions options = {});

}  // namespace velmorin::platform
