// Waits of a fixed length: the timed waits of the run's end, and the wait for the archiver.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/processes.h"

namespace velmorin {

// Waits `seconds`; when `progress` is given it receives, on every look at the clock, the
// elapsed time x 20 rounded halves-to-even and capped at 100 (0 before 0.025 s, 100 from
// 4.975 s for a 5-second wait). Measured on the steady clock, so that neither midnight nor a
// change of the wall clock shortens or stretches a wait; the processor is given away between
// looks.
void TimedWait(platform::Clock& clock, double seconds, const std::function<void(int)>& progress = {});
// The same wait measured from a start time read earlier on clock.SteadySeconds().
void TimedWaitFrom(platform::Clock& clock, double start, double seconds, const std::function<void(int)>& progress = {});

// Waits until none of `processes` is running, at most `limit_seconds`. Returns true when
// they all ended in time.
bool WaitForProcesses(platform::Clock& clock, const std::vector<std::unique_ptr<platform::Process>>& processes,
                      double limit_seconds);

}  // namespace velmorin
