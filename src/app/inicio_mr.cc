// InicioMR: the start-up form that starts the run and ends the program.
#include "app/inicio_mr.h"

#include "app/inicio_mr_form.h"
#include "platform/program_end.h"

namespace velmorin {

InicioMR::InicioMR(platform::Platform& platform, Channels& channels, std::function<void()> run)
    : platform_(platform), channels_(channels), run_(std::move(run)), form_(InicioMrFormSpec()) {
  form_.on_timer = [this](const std::string&) { RunEventHandler(platform_.ui, [this] { Timer1Tick(); }); };
  form_.on_click = [this](const std::string& control) {
    if (control == "Label2") RunEventHandler(platform_.ui, [this] { Label2Click(); });
  };
}

void InicioMR::Timer1Tick() {
  // The timer keeps ticking while the dialog runs its own loop; the run starts only once.
  if (run_started_) return;
  run_started_ = true;
  run_();
  End();
}

void InicioMR::Label2Click() {
  // While the run holds the form, it does not react to clicks.
  if (run_started_) return;
  End();
}

void InicioMR::End() {
  channels_.CloseAll();
  platform_.ui.Unload(form_);
  platform_.ui.EndProgram(kExitNormal);
}

}  // namespace velmorin
