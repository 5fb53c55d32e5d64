// How far a routine's clearing pass goes and how many records its caches hold at a time.
#pragma once

#include <cstdint>

#include "convert/record_cache.h"

namespace velmorin {

// The clearing passes cover records 1..99,999 whatever the size of the file.
inline constexpr int64_t kClearedRecords = 99999;

// The program keeps the defaults; the fuzzers make both small, so that the few hundred
// records of a case reach the end of the pass and cross several blocks.
struct PassLimits {
  int64_t last_cleared = kClearedRecords;
  int64_t block_records = RecordCache::kDefaultBlockRecords;
};

}  // namespace velmorin
