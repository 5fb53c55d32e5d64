// The seconds-since-midnight clock on Linux: local wall time, nanosleep for waits.
#pragma once

#include <memory>

#include "platform/clock.h"

namespace velmorin::platform {

std::unique_ptr<Clock> MakePosixClock();

}  // namespace velmorin::platform
