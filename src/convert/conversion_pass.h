// What the conversion routines share: the channels they hold, the cleared record range, the
// lookup of a listed code, and the per-product updates a list resolves to.
#pragma once

#include <cstdint>
#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/channels.h"
#include "convert/product_lookup.h"
#include "convert/record_cache.h"

namespace velmorin {

// The clearing passes cover records 1..99,999 whatever the size of the file.
inline constexpr int64_t kClearedRecords = 99999;

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

// The product of a code read from a list. The check digit is the code's last character, so a
// code cut short by the end of its line still has one.
std::optional<int64_t> LookupListedCode(RecordCache& basey, std::string_view code, CodeThreshold threshold);

// What a list says about each product, the later line winning. Products inside the cleared
// range are kept by number for the pass; the rare ones beyond it by map.
template <class Payload>
class ProductUpdates {
 public:
  ProductUpdates() : cleared_(static_cast<size_t>(kClearedRecords) + 1) {}

  void Set(int64_t product, const Payload& payload) {
    if (product <= kClearedRecords) {
      cleared_[static_cast<size_t>(product)] = payload;
    } else {
      beyond_[product] = payload;
    }
  }
  // The update of a product in 1..99,999.
  const std::optional<Payload>& Find(int64_t product) const { return cleared_[static_cast<size_t>(product)]; }
  const std::map<int64_t, Payload>& Beyond() const { return beyond_; }

 private:
  std::vector<std::optional<Payload>> cleared_;
  std::map<int64_t, Payload> beyond_;
};

// A record taken out of a cache to be changed and put back.
template <size_t N>
std::array<char, N> CopyRecord(std::span<const char> record) {
  std::array<char, N> copy;
  std::copy_n(record.begin(), N, copy.begin());
  return copy;
}

}  // namespace velmorin
