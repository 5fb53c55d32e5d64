// ImportSerializationList: the list is resolved first, then one pass over baseext gives each
// record the flag and date that clearing and then importing the list would leave.
#include "convert/import_serialization_list.h"

#include <algorithm>
#include <array>

#include "common/text.h"
#include "convert/channel_scope.h"
#include "convert/product_updates.h"
#include "convert/record_draft.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using R = ProductExtRecord;

// serializationDate and serializationFlag lie side by side, so a product's update is the nine
// bytes from the date on (kept small: one for each of 99,999 records).
constexpr TextField kDateAndFlag{R::kSerializationDate.offset, R::kSerializationDate.width + 1};
static_assert(R::kSerializationFlag.offset == kDateAndFlag.offset + kDateAndFlag.width - 1);
using Serialization = std::array<char, kDateAndFlag.width>;

Serialization MakeSerialization(std::string_view date, std::string_view flag) {
  Serialization value;
  const TextField date_part{0, R::kSerializationDate.width};
  const TextField flag_part{R::kSerializationDate.width, 1};
  SetText(value, date_part, date);
  SetText(value, flag_part, flag);
  return value;
}

// The date is written year, month and day with one separator between them.
std::string DateText(std::string_view line) {
  std::string date(Mid(line, 105, 4));
  date += Mid(line, 110, 2);
  date += Mid(line, 113, 2);
  return date;
}

ProductUpdates<Serialization> ReadList(TextInput& list, RecordCache& basey, const PassLimits& limits) {
  std::vector<std::optional<IndexKey>> keys;
  std::vector<std::optional<Serialization>> values;
  while (auto line = list.Next()) {
    keys.push_back(ListedCodeKey(Mid(*line, 2, 6), CodeThreshold::kAbove500000));
    values.push_back(keys.back() ? std::optional(MakeSerialization(DateText(*line), Left(*line, 1))) : std::nullopt);
  }
  return ResolveUpdates(basey, keys, values, limits);
}

void PutSerialization(RecordCache& baseext, int64_t n, const Serialization& value) {
  RecordDraft<R::kLength> record(baseext.Get(n));
  record.SetBytes(kDateAndFlag.offset, value);
  baseext.Put(n, record);
}

void SerializationPass(RecordCache& baseext, const ProductUpdates<Serialization>& updates) {
  const Serialization cleared = MakeSerialization("", "0");
  for (int64_t i = 1; i <= updates.last_cleared(); ++i) {
    baseext.Release(i);
    const auto& update = updates.Find(i);
    PutSerialization(baseext, i, update ? *update : cleared);
  }
  for (const auto& [product, update] : updates.Beyond()) PutSerialization(baseext, product, update);
  baseext.Flush();
}

}  // namespace

void ImportSerializationList(Channels& channels, const PassLimits& limits) {
  ChannelScope scope(channels, {1, 160, 6});
  RecordCache basey(scope.Records(6, "\\velmorin\\quorra\\basey", ProductRecord::kLength), limits.block_records);
  RecordCache baseext(scope.Records(160, "\\Velmorin\\quorra\\baseext", R::kLength), limits.block_records);
  // Opened before the pass: a missing list must not cost the dates already there.
  TextInput& list = scope.Input(1, "\\Velmorin\\bases\\serializacion.txt");
  SerializationPass(baseext, ReadList(list, basey, limits));
}

}  // namespace velmorin
