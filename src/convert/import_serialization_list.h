// ImportSerializationList: rebuilds the serialization flag and date of baseext from the list.
#pragma once

#include "convert/channels.h"
#include "convert/pass_limits.h"

namespace velmorin {

// Reads "\Velmorin\bases\serializacion.txt" (channel 1), resolves its codes through basey
// (channel 6) and rewrites baseext (channel 160): records 1..limits.last_cleared cleared, then
// the listed products set. A missing list is run-time error 53 before any record is touched.
// Closes its channels before it returns.
void ImportSerializationList(Channels& channels, const PassLimits& limits = {});

}  // namespace velmorin
