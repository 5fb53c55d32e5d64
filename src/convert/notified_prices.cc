// Notified prices: the list is resolved first, then one pass over BaseP gives each record what
// blanking every record and then writing the listed prices would leave.
#include "convert/notified_prices.h"

#include <array>
#include <charconv>

#include "common/numbers.h"
#include "common/text.h"
#include "common/val.h"
#include "convert/channel_scope.h"
#include "convert/product_updates.h"
#include "convert/record_draft.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using N = NotifiedPriceRecord;

const char kListPath[] = "\\velmorin\\quorra\\pvpnotificados.txt";

struct Prices {
  float first = 0;   // the last eight characters
  float second = 0;  // characters 8 to 15
};

// A plain price ("00012.50", " 7.5") already has at most two decimals, so rounding it to cents
// keeps its digits and the result is the float nearest to them: read that directly, without
// formatting. Nothing for any other text.
std::optional<float> PlainPrice(std::string_view text) {
  char digits[20];
  size_t length = 0;
  int count = 0;
  int decimals = -1;  // digits after the point, -1 before it
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\n') continue;  // skipped wherever they stand
    if (c >= '0' && c <= '9') {
      if (++count > 15 || (decimals >= 0 && ++decimals > 2)) return std::nullopt;
    } else if (c != '.' || decimals >= 0) {
      return std::nullopt;
    } else {
      decimals = 0;
    }
    digits[length++] = c;
  }
  if (count == 0) return 0.0f;
  float value = 0;
  const auto [end, error] = std::from_chars(digits, digits + length, value);
  if (error != std::errc() || end != digits + length) return std::nullopt;
  return value;
}

std::optional<Prices> PricesOf(std::string_view line) {
  const auto second = NotifiedPrice(Mid(line, 8, 8));
  const auto first = NotifiedPrice(Right(line, 8));
  // A price too large for its field passes the line over instead of stopping the run.
  if (!first || !second) return std::nullopt;
  return Prices{*first, *second};
}

ProductUpdates<Prices> ReadList(TextInput& list, RecordCache& basey, const PassLimits& limits) {
  std::vector<std::optional<IndexKey>> keys;
  std::vector<std::optional<Prices>> values;
  while (auto line = list.Next()) {
    keys.push_back(LineCodeKey(*line));
    values.push_back(keys.back() ? PricesOf(*line) : std::nullopt);
  }
  return ResolveUpdates(basey, keys, values, limits);
}

using Draft = RecordDraft<N::kLength>;

Draft BlankRecord() {
  Draft record(std::array<char, N::kLength>{});
  record.SetFloat32(N::kFirstPrice, 0);
  record.SetFloat32(N::kSecondPrice, 0);
  record.SetText(N::kExtraText, "");
  return record;
}

void SetPrices(Draft& record, const Prices& prices) {
  record.SetFloat32(N::kFirstPrice, prices.first);
  record.SetFloat32(N::kSecondPrice, prices.second);
}

void RebuildPass(RecordCache& basep, const ProductUpdates<Prices>& updates, ConversionProgress& progress) {
  const auto blank = BlankRecord();
  for (int64_t k = 1; k <= updates.last_cleared(); ++k) {
    basep.Release(k);
    auto record = blank;
    if (const auto& update = updates.Find(k)) SetPrices(record, *update);
    basep.Put(k, record);
    if (k % 1000 == 0) progress.SetStartupBar(static_cast<int>(k / 1000));
  }
  for (const auto& [product, prices] : updates.Beyond()) {
    Draft record(basep.Get(product));
    SetPrices(record, prices);
    basep.Put(product, record);
  }
  basep.Flush();
}

}  // namespace

std::optional<float> NotifiedPrice(std::string_view text) {
  if (const auto plain = PlainPrice(text)) return plain;
  const auto value = TryVal(text);
  return value ? RoundToCents(*value) : std::nullopt;
}

void EmptyNotifiedPriceList(Channels& channels) {
  channels.Close(1);
  channels.OpenOutput(1, kListPath);
  channels.Close(1);
}

void RebuildNotifiedPrices(Channels& channels, ConversionProgress& progress, const PassLimits& limits) {
  if (channels.fs().FileLength(kListPath) == 0) return;
  ChannelScope scope(channels, {1, 2, 6});
  RecordCache basey(scope.Records(6, "\\velmorin\\quorra\\basey", ProductRecord::kLength), limits.block_records);
  RecordCache basep(scope.Records(1, "\\velmorin\\quorra\\BaseP", N::kLength), limits.block_records);
  TextInput& list = scope.Input(2, kListPath);
  RebuildPass(basep, ReadList(list, basey, limits), progress);
}

}  // namespace velmorin
