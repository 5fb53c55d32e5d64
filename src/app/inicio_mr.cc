// InicioMR and the program's entry into the core.
#include "app/inicio_mr.h"

#include "app/inicio_mr_form.h"
#include "app/update_run.h"
#include "app/updater.h"
#include "common/settings.h"
#include "download/menor_ref.h"
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

void RunUpdater(platform::Platform& platform, const Settings& settings) {
  Channels channels(platform.fs);
  MenorRef dialog(platform, channels, settings);
  InicioMR* startup_form = nullptr;
  InicioMR startup(platform, channels,
                   [&] { UpdateRun(platform, channels, dialog, startup_form->form(), settings).Run(); });
  startup_form = &startup;
  platform.ui.Run(startup.form());
}

}  // namespace velmorin
