// Product keys and the sweep that resolves them.
#include "convert/product_keys.h"

#include <utility>

#include "common/text.h"
#include "common/val.h"
#include "convert/block_order.h"
#include "convert/records.h"

namespace velmorin {

std::optional<IndexKey> LineCodeKey(std::string_view line) {
  const auto parts = SplitNationalCode(Left(line, 6));
  if (!parts || !(parts->stem > 0)) return std::nullopt;
  const auto stem = AddressableRecord(parts->stem, ProductRecord::kLength);
  if (!stem) return std::nullopt;
  return IndexKey{*stem, parts->digit};
}

std::optional<IndexKey> ListedCodeKey(std::string_view code, CodeThreshold threshold) {
  if (threshold == CodeThreshold::kAbove500000) {
    const auto value = TryVal(code);
    if (!value || !(*value > 500000)) return std::nullopt;
  }
  if (code.empty() || code.size() >= 6) return LineCodeKey(code);
  // Trailing blanks never change a value, so the stem stays Val of the whole short code.
  std::string padded(code);
  padded.resize(5, ' ');
  padded += code.back();
  return LineCodeKey(padded);
}

std::vector<std::optional<int64_t>> ResolveProducts(RecordCache& basey,
                                                    const std::vector<std::optional<IndexKey>>& keys,
                                                    int64_t block_records) {
  std::vector<std::pair<int64_t, size_t>> order;  // stem, entry
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i]) order.emplace_back(keys[i]->stem, i);
  }
  const auto stem_of = [](const std::pair<int64_t, size_t>& entry) { return entry.first; };
  OrderByBlock(order, stem_of, block_records);
  std::vector<std::optional<int64_t>> products(keys.size());
  for (const auto& [stem, i] : order) {
    basey.Release(stem);
    products[i] = ProductInSlot(basey.Get(stem), keys[i]->digit);
  }
  return products;
}

}  // namespace velmorin
