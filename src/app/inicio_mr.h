// The start-up form InicioMR: its timer starts the update run once; "Cerrar" ends the
// program before the run has started.
#pragma once

#include <functional>

#include "common/form.h"
#include "convert/channels.h"
#include "platform/platform.h"

namespace velmorin {

class InicioMR {
 public:
  // `run` is the whole update run; when it returns, the program ends normally.
  InicioMR(platform::Platform& platform, Channels& channels, std::function<void()> run);

  Form& form() { return form_; }
  bool run_started() const { return run_started_; }

  void Timer1Tick();
  void Label2Click();

 private:
  void End();

  platform::Platform& platform_;
  Channels& channels_;
  std::function<void()> run_;
  Form form_;
  bool run_started_ = false;
};

}  // namespace velmorin
