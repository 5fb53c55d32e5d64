// BuildPreferencePrices: espec is resolved first, then one pass over precios gives each record
// the values that zeroing every record and then importing espec would leave.
#include "convert/build_preference_prices.h"

#include <algorithm>
#include <array>

#include "common/numbers.h"
#include "common/val.h"
#include "convert/channel_scope.h"
#include "convert/product_updates.h"
#include "convert/record_draft.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using P = PreferencePriceRecord;
using S = SpecRecord;

using Prices = std::array<float, 4>;

std::optional<float> ValueOf(std::span<const char> spec, TextField field) {
  const auto value = TryVal(std::string_view(spec.data() + field.offset, field.width));
  return value ? ToFloat32(*value) : std::nullopt;
}

// Nothing when a value does not fit a 4-byte float: the record is passed over.
std::optional<Prices> PricesOf(std::span<const char> spec) {
  Prices prices{};
  const TextField fields[] = {S::kFirstValue, S::kSecondValue, S::kThirdValue, S::kFourthValue};
  for (size_t k = 0; k < prices.size(); ++k) {
    const auto value = ValueOf(spec, fields[k]);
    if (!value) return std::nullopt;
    prices[k] = *value;
  }
  return prices;
}

ProductUpdates<Prices> ReadSpecs(RecordFile& espec, RecordCache& basey, const PassLimits& limits) {
  std::vector<std::optional<IndexKey>> keys;
  std::vector<std::optional<Prices>> values;
  // Only whole records count; an incomplete tail is not read.
  const int64_t count = std::min<int64_t>(static_cast<int64_t>(espec.Size() / S::kLength), espec.MaxRecord());
  RecordCache specs(espec, limits.block_records);
  for (int64_t j = 1; j <= count; ++j) {
    specs.Release(j);
    const auto spec = specs.Get(j);
    const std::string_view code(spec.data() + S::kCode.offset, S::kCode.width);
    keys.push_back(ListedCodeKey(code, CodeThreshold::kAbove500000));
    values.push_back(keys.back() ? PricesOf(spec) : std::nullopt);
  }
  return ResolveUpdates(basey, keys, values, limits);
}

void PutPrices(RecordCache& precios, int64_t n, const Prices& prices, bool clear_mark) {
  RecordDraft<P::kLength> record(precios.Get(n));
  const size_t offsets[] = {P::kFirstValue, P::kSecondValue, P::kThirdValue, P::kFourthValue};
  for (size_t k = 0; k < prices.size(); ++k) record.SetFloat32(offsets[k], prices[k]);
  if (clear_mark) record.SetText(P::kPriceMark, "");
  precios.Put(n, record);
}

void PricePass(RecordCache& precios, const ProductUpdates<Prices>& updates) {
  for (int64_t i = 1; i <= updates.last_cleared(); ++i) {
    precios.Release(i);
    const auto& update = updates.Find(i);
    PutPrices(precios, i, update ? *update : Prices{}, true);
  }
  for (const auto& [product, prices] : updates.Beyond()) PutPrices(precios, product, prices, false);
  precios.Flush();
}

}  // namespace

void BuildPreferencePrices(Channels& channels, const PassLimits& limits) {
  ChannelScope scope(channels, {108, 132, 6});
  RecordCache precios(scope.Records(132, "\\Velmorin\\preferencia\\precios", P::kLength), limits.block_records);
  RecordCache basey(scope.Records(6, "\\velmorin\\quorra\\basey", ProductRecord::kLength), limits.block_records);
  RecordFile& espec = scope.Records(108, "\\VELMORIN\\Preferencia\\espec", S::kLength);
  PricePass(precios, ReadSpecs(espec, basey, limits));
}

}  // namespace velmorin
