// Putting the items of a pass in the order a forward sweep through a RecordCache visits them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace velmorin {

// Orders items by the block of records they fall in, keeping their order within a block:
// enough for a forward sweep through a RecordCache, in one pass instead of a sort.
template <class T, class RecordOf>
void OrderByBlock(std::vector<T>& items, RecordOf record_of, int64_t block_records) {
  auto block = [&](const T& item) { return static_cast<size_t>((record_of(item) - 1) / block_records); };
  std::vector<size_t> starts;
  for (const T& item : items) {
    const size_t b = block(item);
    if (b >= starts.size()) starts.resize(b + 1);
    ++starts[b];
  }
  size_t total = 0;
  for (size_t& start : starts) total += std::exchange(start, total);
  std::vector<T> ordered(items.size());
  for (T& item : items) ordered[starts[block(item)]++] = std::move(item);
  items = std::move(ordered);
}

}  // namespace velmorin
