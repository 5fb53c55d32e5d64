// Notified prices: the list is resolved first, then one pass over BaseP gives each record what
// blanking every record and then writing the listed prices would leave.
#include "convert/notified_prices.h"

#include <array>

#include "common/numbers.h"
#include "common/text.h"
#include "common/val.h"
#include "convert/conversion_pass.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using N = NotifiedPriceRecord;

const char kListPath[] = "\\velmorin\\quorra\\pvpnotificados.txt";

struct Prices {
  float first = 0;   // the last eight characters
  float second = 0;  // characters 8 to 15
};

std::optional<float> PriceOf(std::string_view text) {
  const auto value = TryVal(text);
  return value ? RoundToCents(*value) : std::nullopt;
}

ProductUpdates<Prices> ReadList(TextInput& list, RecordCache& basey) {
  ProductUpdates<Prices> updates;
  while (auto line = list.Next()) {
    // Characters 1 to 5 are the stem and character 6 the slot, whatever the line's length.
    const auto product = LookupProduct(basey, Left(*line, 6), CodeThreshold::kNone);
    if (!product) continue;
    const auto second = PriceOf(Mid(*line, 8, 8));
    const auto first = PriceOf(Right(*line, 8));
    // A price too large for its field passes the line over instead of stopping the run.
    if (first && second) updates.Set(*product, Prices{*first, *second});
  }
  return updates;
}

std::array<char, N::kLength> BlankRecord() {
  std::array<char, N::kLength> record{};
  SetFloat32(record, N::kFirstPrice, 0);
  SetFloat32(record, N::kSecondPrice, 0);
  SetText(record, N::kExtraText, "");
  return record;
}

void SetPrices(std::span<char> record, const Prices& prices) {
  SetFloat32(record, N::kFirstPrice, prices.first);
  SetFloat32(record, N::kSecondPrice, prices.second);
}

void RebuildPass(RecordCache& basep, const ProductUpdates<Prices>& updates, ConversionProgress& progress) {
  const auto blank = BlankRecord();
  for (int64_t k = 1; k <= kClearedRecords; ++k) {
    auto record = blank;
    if (const auto& update = updates.Find(k)) SetPrices(record, *update);
    basep.Put(k, record);
    if (k % 1000 == 0) progress.SetStartupBar(static_cast<int>(k / 1000));
  }
  for (const auto& [product, prices] : updates.Beyond()) {
    auto record = CopyRecord<N::kLength>(basep.Get(product));
    SetPrices(record, prices);
    basep.Put(product, record);
  }
  basep.Flush();
}

}  // namespace

void EmptyNotifiedPriceList(Channels& channels) {
  channels.Close(1);
  channels.OpenOutput(1, kListPath);
  channels.Close(1);
}

void RebuildNotifiedPrices(Channels& channels, ConversionProgress& progress) {
  if (channels.fs().FileLength(kListPath) == 0) return;
  ChannelScope scope(channels, {1, 2, 6});
  RecordCache basey(scope.Records(6, "\\velmorin\\quorra\\basey", ProductRecord::kLength));
  RecordCache basep(scope.Records(1, "\\velmorin\\quorra\\BaseP", N::kLength));
  TextInput& list = scope.Input(2, kListPath);
  RebuildPass(basep, ReadList(list, basey), progress);
}

}  // namespace velmorin
