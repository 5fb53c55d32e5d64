// The user interface on Linux: forms drawn in the terminal, timers run by a polling loop,
// ESC read from the keyboard, message boxes and error reports printed to stderr.
#pragma once

#include <memory>

#include "common/ui_log.h"
#include "platform/ui.h"

namespace velmorin::platform {

struct PosixUiOptions {
  int input_fd = 0;   // keys, read only when it is a terminal (put in raw mode meanwhile)
  int output_fd = 2;  // the view (only when a terminal), message boxes, error reports
};

// Every visible effect also goes to `log`, which must outlive the user interface.
std::unique_ptr<Ui> MakePosixUi(UiLog& log, PosixUiOptions options = {});

}  // namespace velmorin::platform
