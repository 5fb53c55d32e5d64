// ImportVisadoList: rebuilds the visa marks ("7") of basey from the visa list.
#pragma once

#include "convert/channels.h"
#include "convert/pass_limits.h"

namespace velmorin {

// Reads "\VELMORIN\VISADO75.TXT" (channel 1) and marks its products in basey (channel 6;
// basea is opened on channel 3 too), the marks of records 1..limits.last_cleared removed
// first. A missing list is run-time error 53 before any mark is removed. Closes its channels
// before it returns.
void ImportVisadoList(Channels& channels, const PassLimits& limits = {});

}  // namespace velmorin
