// ImportVisadoList: the list is resolved first, then one pass over basey leaves each record
// as clearing every mark and then marking the listed products would, writing only the
// records whose mark really changes.
#include "convert/import_visado_list.h"

#include "common/text.h"
#include "convert/channel_scope.h"
#include "convert/product_updates.h"
#include "convert/record_draft.h"
#include "convert/records.h"

namespace velmorin {
namespace {

constexpr char kVisado = '7';
constexpr size_t kMark = ProductRecord::kVisadoMark.offset;

struct Listed {};

ProductUpdates<Listed> ReadList(TextInput& list, RecordCache& basey, const PassLimits& limits) {
  std::vector<std::optional<IndexKey>> keys;
  while (auto line = list.Next()) keys.push_back(ListedCodeKey(Left(*line, 6), CodeThreshold::kAbove500000));
  return ResolveUpdates(basey, keys, std::vector<std::optional<Listed>>(keys.size(), Listed{}), limits);
}

void SetMark(RecordCache& basey, int64_t n, char mark) {
  RecordDraft<ProductRecord::kLength> record(basey.Get(n));
  record.SetText(ProductRecord::kVisadoMark, std::string_view(&mark, 1));
  basey.Put(n, record);
}

void MarkPass(RecordCache& basey, const ProductUpdates<Listed>& listed) {
  for (int64_t i = 1; i <= listed.last_cleared(); ++i) {
    basey.Release(i);
    const char mark = basey.Get(i)[kMark];
    if (listed.Find(i)) {
      if (mark != kVisado) SetMark(basey, i, kVisado);
    } else if (mark == kVisado) {
      SetMark(basey, i, ' ');
    }
  }
  for (const auto& [product, unused] : listed.Beyond()) SetMark(basey, product, kVisado);
  basey.Flush();
}

}  // namespace

void ImportVisadoList(Channels& channels, const PassLimits& limits) {
  ChannelScope scope(channels, {1, 3, 6});
  scope.Records(3, "\\velmorin\\Quorra\\basea", ProductDetailRecord::kLength);
  RecordCache basey(scope.Records(6, "\\velmorin\\quorra\\basey", ProductRecord::kLength), limits.block_records);
  // Opened before the pass: a missing list must not cost the marks already there.
  TextInput& list = scope.Input(1, "\\VELMORIN\\VISADO75.TXT");
  MarkPass(basey, ReadList(list, basey, limits));
}

}  // namespace velmorin
