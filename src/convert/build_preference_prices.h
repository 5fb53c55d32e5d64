// BuildPreferencePrices: rebuilds the preference price file precios from espec.
#pragma once

#include "convert/channels.h"
#include "convert/pass_limits.h"

namespace velmorin {

// Reads the whole records of espec (channel 108), resolves their codes through basey
// (channel 6) and rewrites precios (channel 132): records 1..limits.last_cleared zeroed, then
// the listed products set. Closes its channels before it returns.
void BuildPreferencePrices(Channels& channels, const PassLimits& limits = {});

}  // namespace velmorin
