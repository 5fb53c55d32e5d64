// ClearEndMarks: blanks every end mark "-FIN" left in the product record file.
#pragma once

#include "convert/channels.h"
#include "convert/progress.h"

namespace velmorin {

// Walks records 1..99,999 of basey (channel 6; basea is opened on channel 3 too, so a missing
// one is created) and moves both bars to k / 1,000 before each record k that is a multiple of
// 1,000. Closes its channels before it returns.
void ClearEndMarks(Channels& channels, ConversionProgress& progress);

}  // namespace velmorin
