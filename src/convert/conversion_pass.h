// What the conversion routines share: the channels they hold, the cleared record range, the
// resolution of a whole list's codes in one forward sweep over basey's index, and the
// per-product updates a list comes to.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/channels.h"
#include "convert/product_lookup.h"
#include "convert/record_cache.h"

namespace velmorin {

// The clearing passes cover records 1..99,999 whatever the size of the file.
inline constexpr int64_t kClearedRecords = 99999;

// How far a routine's clearing pass goes and how many records its caches hold at a time. The
// program keeps the defaults; the fuzzers make both small, so that the few hundred records of
// a case reach the end of the pass and cross several blocks.
struct PassLimits {
  int64_t last_cleared = kClearedRecords;
  int64_t block_records = RecordCache::kDefaultBlockRecords;
};

// Closes the channels a routine opened when it ends, also when it throws, so that a failed
// routine leaves no file of its own open on the channel table.
class ChannelScope {
 public:
  ChannelScope(Channels& channels, std::initializer_list<int> close_order)
      : channels_(channels), close_order_(close_order) {}
  ~ChannelScope();
  ChannelScope(const ChannelScope&) = delete;
  ChannelScope& operator=(const ChannelScope&) = delete;

  // Each closes the channel first, as every routine does before it opens one.
  RecordFile& Records(int channel, const std::string& path, size_t slot_length, size_t data_length = 0);
  TextInput& Input(int channel, const std::string& path);

 private:
  Channels& channels_;
  std::vector<int> close_order_;
  std::vector<int> opened_;
};

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

// What a list says about each product, the later line winning. Products inside the cleared
// range 1..last_cleared are kept by number for the pass; the rare ones beyond it by map.
template <class Payload>
class ProductUpdates {
 public:
  explicit ProductUpdates(int64_t last_cleared) : cleared_(static_cast<size_t>(last_cleared) + 1) {}

  int64_t last_cleared() const { return static_cast<int64_t>(cleared_.size()) - 1; }
  void Set(int64_t product, const Payload& payload) {
    if (product <= last_cleared()) {
      cleared_[static_cast<size_t>(product)] = payload;
    } else {
      beyond_[product] = payload;
    }
  }
  // The update of a product in the cleared range.
  const std::optional<Payload>& Find(int64_t product) const { return cleared_[static_cast<size_t>(product)]; }
  const std::map<int64_t, Payload>& Beyond() const { return beyond_; }

 private:
  std::vector<std::optional<Payload>> cleared_;
  std::map<int64_t, Payload> beyond_;
};

// Resolves every entry's key and records its payload, in list order so that the later entry
// for a product wins. Entries whose payload is nothing are passed over.
template <class Payload>
ProductUpdates<Payload> ResolveUpdates(RecordCache& basey, const std::vector<std::optional<IndexKey>>& keys,
                                       const std::vector<std::optional<Payload>>& payloads, const PassLimits& limits) {
  ProductUpdates<Payload> updates(limits.last_cleared);
  const auto products = ResolveProducts(basey, keys, limits.block_records);
  for (size_t i = 0; i < products.size(); ++i) {
    if (products[i] && payloads[i]) updates.Set(*products[i], *payloads[i]);
  }
  return updates;
}

// A record taken out of a cache to be changed and put back.
template <size_t N>
std::array<char, N> CopyRecord(std::span<const char> record) {
  std::array<char, N> copy;
  std::copy_n(record.begin(), N, copy.begin());
  return copy;
}

}  // namespace velmorin
