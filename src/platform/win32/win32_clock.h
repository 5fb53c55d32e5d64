// The Windows clock: local time of day and Sleep.
#pragma once

#include <memory>

#include "platform/clock.h"

namespace velmorin::platform {

std::unique_ptr<Clock> MakeWin32Clock();

}  // namespace velmorin::platform
