// How the program ends: its exit codes, and the one way a failure that nothing handles ends
// it (the run-time error report, then exit code 2), the same on every build.
#pragma once

#include <exception>
#include <functional>

#include "common/runtime_error.h"
#include "platform/ui.h"

namespace velmorin {

inline constexpr int kExitNormal = 0;             // the end of the run, or "Cerrar"
inline constexpr int kExitAfterMessageBox = 1;    // a download's failure or result box
inline constexpr int kExitAfterRuntimeError = 2;  // the run-time error report

// The run-time error an exception stands for: a RuntimeError itself, std::bad_alloc as 7 (out
// of memory), any other standard exception as 51 (internal error).
RuntimeError RuntimeErrorFor(const std::exception& error);

// Shows the platform's run-time error report and ends the program with exit code 2.
void EndOnRuntimeError(platform::Ui& ui, const RuntimeError& error);

// Runs an event handler or a main loop; a standard exception it lets out is reported and ends
// the program (EndOnRuntimeError). Keeps exceptions out of the platform's callbacks.
void RunEventHandler(platform::Ui& ui, const std::function<void()>& handler);

}  // namespace velmorin
