// ImportProductFile: copies the product text file's columns into basey, basea and LabGT.
#pragma once

#include <string>

#include "convert/channels.h"
#include "convert/pass_limits.h"

namespace velmorin {

// Reads drive_prefix + "\velmorin\bases\dolvek.txt" (where the archive extraction puts it)
// line by line. region_suffix ("NA", "CM", "EX" or "MA") picks the column for regionFlag.
// Opens LabGT (200), coste (211), basey (26), basea (3) and the text (1); closes them all
// before it returns. There is no clearing pass: only limits.block_records counts.
void ImportProductFile(Channels& channels, const std::string& drive_prefix, const std::string& region_suffix,
                       const PassLimits& limits = {});

}  // namespace velmorin
