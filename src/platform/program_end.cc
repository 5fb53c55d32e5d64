// The exceptions that reach the top and the end they come to.
#include "platform/program_end.h"

#include <new>

namespace velmorin {

RuntimeError RuntimeErrorFor(const std::exception& error) {
  if (const auto* runtime_error = dynamic_cast<const RuntimeError*>(&error)) return *runtime_error;
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return RuntimeError(err::kOutOfMemory, error.what());
  return RuntimeError(err::kInternalError, error.what());
}

void EndOnRuntimeError(platform::Ui& ui, const RuntimeError& error) {
  ui.ReportRuntimeError(error);
  ui.EndProgram(kExitAfterRuntimeError);
}

void RunEventHandler(platform::Ui& ui, const std::function<void()>& handler) {
  // Only standard exceptions: the program throws nothing else, and what else is thrown (a
  // test's stand-in for the end of the process) is not a failure of the run.
  try {
    handler();
  } catch (const std::exception& error) {
    EndOnRuntimeError(ui, RuntimeErrorFor(error));
  }
}

}  // namespace velmorin
