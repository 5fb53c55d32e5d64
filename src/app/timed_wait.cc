// TimedWait and WaitForProcesses.
#include "app/timed_wait.h"

#include <algorithm>
#include <cmath>

#include "common/numbers.h"

namespace velmorin {
namespace {

// Short enough that the bar still moves one unit every twentieth of a second.
constexpr double kLookInterval = 0.01;

}  // namespace

void TimedWait(platform::Clock& clock, double seconds, const std::function<void(int)>& progress) {
  TimedWaitFrom(clock, clock.SteadySeconds(), seconds, progress);
}

void TimedWaitFrom(platform::Clock& clock, double start, double seconds, const std::function<void(int)>& progress) {
  for (;;) {
    if (progress) {
      // Whole microseconds first, so that 4.975 s is 99.5 twentieths and not 99.4999...
      const double micros = std::round((clock.SteadySeconds() - start) * 1e6);
      const double value = RoundHalfEven(micros * 20 / 1e6);
      progress(static_cast<int>(std::min(value, 100.0)));
    }
    const double elapsed = clock.SteadySeconds() - start;
    if (elapsed >= seconds) return;
    clock.Sleep(std::min(kLookInterval, seconds - elapsed));
  }
}

bool WaitForProcesses(platform::Clock& clock, const std::vector<std::unique_ptr<platform::Process>>& processes,
                      double limit_seconds) {
  const double start = clock.SteadySeconds();
  for (;;) {
    const bool running =
        std::any_of(processes.begin(), processes.end(), [](const auto& p) { return p && p->Running(); });
    if (!running) return true;
    if (clock.SteadySeconds() - start >= limit_seconds) return false;
    clock.Sleep(0.1);
  }
}

}  // namespace velmorin
