// BuildPreferencePrices: rebuilds the preference price file precios from espec.
#pragma once

#include "convert/channels.h"

namespace velmorin {

// Reads the whole records of espec (channel 108), resolves their codes through basey
// (channel 6) and rewrites precios (channel 132). Closes its channels before it returns.
void BuildPreferencePrices(Channels& channels);

}  // namespace velmorin
