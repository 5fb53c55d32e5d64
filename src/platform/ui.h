// The windowing side of the platform: it renders forms from their control tables, runs
// their timers, shows message boxes and ends the program. Everything happens on the one
// user-interface thread.
#pragma once

#include <string>

#include "common/form.h"
#include "common/runtime_error.h"

namespace velmorin::platform {

enum class MessageIcon { kCritical, kInformation };

class Ui {
 public:
  virtual ~Ui() = default;

  // Creates the form's window, hidden, attaches the view and the UI log to the form as
  // observers (the first time), then calls form.MarkLoaded(). The caller runs its load logic
  // afterwards.
  virtual void Load(Form& form) = 0;
  // Shows a loaded form without waiting (the start-up form): form.MarkShown() and draw.
  virtual void Show(Form& form) = 0;
  // Shows a loaded form modally (form.MarkShown()): other forms are disabled and the form's
  // enabled timers (form.on_timer) and events run in a nested loop; returns once the form
  // has been unloaded.
  virtual void ShowModal(Form& form) = 0;
  // form.MarkUnloaded() and destroy the window.
  virtual void Unload(Form& form) = 0;
  // Repaints a form at once.
  virtual void Refresh(Form& form) = 0;
  // Lets pending window messages through (clicks, keys, painting).
  virtual void DoEvents() = 0;
  // Waits for the user's OK (never when nobody can answer: no terminal, no desktop).
  // An empty title means the program's title.
  virtual void MessageBox(MessageIcon icon, const std::string& title, const std::string& text) = 0;
  // The platform's run-time error report.
  virtual void ReportRuntimeError(const RuntimeError& error) = 0;
  // Ends the process at once with an exit code; never returns.
  [[noreturn]] virtual void EndProgram(int code) = 0;
  // Loads and shows the start-up form and runs the main loop, firing its enabled timers
  // (form.on_timer) and events (on_click, on_key_press), until the program ends.
  [[noreturn]] virtual void Run(Form& startup) = 0;
};

}  // namespace velmorin::platform
