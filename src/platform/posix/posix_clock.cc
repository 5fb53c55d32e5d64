// PosixClock: local time of day from clock_gettime and localtime_r; CLOCK_MONOTONIC for the
// waits.
#include "platform/posix/posix_clock.h"

#include <cerrno>
#include <ctime>

namespace velmorin::platform {
namespace {

class PosixClock : public Clock {
 public:
  double SecondsSinceMidnight() override {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + now.tv_nsec / 1e9;
  }

  double SteadySeconds() override {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
  }

  void Sleep(double seconds) override {
    if (!(seconds > 0)) return;
    timespec left{};
    left.tv_sec = static_cast<time_t>(seconds);
    left.tv_nsec = static_cast<long>((seconds - static_cast<double>(left.tv_sec)) * 1e9);
    // A signal cuts the sleep short; sleep on for what is left.
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
};

}  // namespace

std::unique_ptr<Clock> MakePosixClock() { return std::make_unique<PosixClock>(); }

}  // namespace velmorin::platform
