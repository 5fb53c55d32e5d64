// The Windows clocks: local time of day, the performance counter, and Sleep.
#pragma once

#include <memory>

#include "platform/clock.h"

namespace velmorin::platform {

std::unique_ptr<Clock> MakeWin32Clock();

}  // namespace velmorin::platform
