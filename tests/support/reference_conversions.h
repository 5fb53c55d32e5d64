// The conversion routines written the straightforward way: one read call and one write call
// per record, every record of a clearing pass written. The reference that the routines' bytes
// are checked against (differential tests, fuzzers), and the benchmark's yardstick.
#pragma once

#include <string>

#include "convert/channels.h"
#include "convert/progress.h"

namespace velmorin::reference {

void ClearEndMarks(Channels& channels, ConversionProgress& progress);
void ImportProductFile(Channels& channels, const std::string& drive_prefix, const std::string& region_suffix);
void ImportVisadoList(Channels& channels);
void ImportSerializationList(Channels& channels);
void BuildPreferencePrices(Channels& channels);
void RebuildNotifiedPrices(Channels& channels, ConversionProgress& progress);

}  // namespace velmorin::reference
