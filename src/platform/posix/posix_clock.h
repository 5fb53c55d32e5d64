// The clocks on Linux: local wall time, a monotonic clock, nanosleep for waits.
#pragma once

#include <memory>

#include "platform/clock.h"

namespace velmorin::platform {

std::unique_ptr<Clock> MakePosixClock();

}  // namespace velmorin::platform
