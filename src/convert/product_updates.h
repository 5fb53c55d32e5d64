// The per-product updates a list comes to.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "convert/pass_limits.h"
#include "convert/product_keys.h"

namespace velmorin {

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

}  // namespace velmorin
