// The program's entry into the portable core.
#pragma once

#include "common/settings.h"
#include "platform/platform.h"

namespace velmorin {

// Creates the start-up form and hands it to the platform's main loop; the update run starts
// on the form's first timer tick. Never returns: the program ends through Ui::EndProgram.
void RunUpdater(platform::Platform& platform, const Settings& settings);

}  // namespace velmorin
