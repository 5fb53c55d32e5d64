// The program's entry into the core: the start-up form, the dialog and the run, wired.
#include "app/updater.h"

#include "app/inicio_mr.h"
#include "app/update_run.h"
#include "download/menor_ref.h"

namespace velmorin {

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
