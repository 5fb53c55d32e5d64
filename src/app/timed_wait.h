// Waits measured on the seconds-since-midnight clock.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/processes.h"

namespace velmorin {

// Seconds from `start` to `now` on a clock that restarts at midnight.
double ElapsedSince(double start, double now);

// Waits `seconds`; when `progress` is given it receives, on every look at the clock, the
// elapsed time x 20 rounded halves-to-even and capped at 100 (0 before 0.025 s, 100 from
// 4.975 s for a 5-second wait). A wait that spans midnight still ends; the processor is
// given away between looks.
void TimedWait(platform::Clock& clock, double seconds, const std::function<void(int)>& progress = {});
// The same wait measured from a start time read earlier.
void TimedWaitFrom(platform::Clock& clock, double start, double seconds, const std::function<void(int)>& progress = {});

// Waits until none of `processes` is running, at most `limit_seconds`. Returns true when
// they all ended in time.
bool WaitForProcesses(platform::Clock& clock, const std::vector<std::unique_ptr<platform::Process>>& processes,
                      double limit_seconds);

}  // namespace velmorin
