// The keys of the codes a list names, and their product numbers resolved a whole list at a
// time in one forward sweep over basey's index.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "convert/product_lookup.h"
#include "convert/record_cache.h"

namespace velmorin {

// Where a national code's product number is kept: a record of basey and one of its slots.
struct IndexKey {
  int64_t stem = 0;
  int digit = 0;
};

// The key of a code read from a list, or nothing when the code has no product whatever the
// index holds. The check digit is the code's last character, so a code cut short by the end
// of its line still has one.
std::optional<IndexKey> ListedCodeKey(std::string_view code, CodeThreshold threshold);
// The key of the first six characters of a line: stem from characters 1 to 5, check digit
// from character 6.
std::optional<IndexKey> LineCodeKey(std::string_view line);

// The product record numbers of many keys. Index records are visited block by block (the
// cache's blocks of block_records) in increasing order, so a whole list costs one forward sweep
// over basey. The index is never written by the conversions, so resolving a list before
// changing any record gives what resolving each line in turn would.
std::vector<std::optional<int64_t>> ResolveProducts(RecordCache& basey,
                                                    const std::vector<std::optional<IndexKey>>& keys,
                                                    int64_t block_records = RecordCache::kDefaultBlockRecords);

}  // namespace velmorin
