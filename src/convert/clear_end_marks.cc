// ClearEndMarks: one pass over basey through the block cache.
#include "convert/clear_end_marks.h"

#include <cstring>

#include "convert/channel_scope.h"
#include "convert/pass_limits.h"
#include "convert/record_draft.h"
#include "convert/records.h"

namespace velmorin {
namespace {

constexpr std::string_view kEndMark = "-FIN";

bool HasEndMark(std::span<const char> record) {
  return std::memcmp(record.data() + ProductRecord::kEndMarkText.offset, kEndMark.data(), kEndMark.size()) == 0;
}

void ClearPass(RecordCache& basey, ConversionProgress& progress) {
  for (int64_t i = 1; i <= kClearedRecords; ++i) {
    if (i % 1000 == 0) {
      progress.SetDialogBar(static_cast<int>(i / 1000));
      progress.SetStartupBar(static_cast<int>(i / 1000));
    }
    basey.Release(i);
    const auto record = basey.Get(i);
    if (!HasEndMark(record)) continue;
    RecordDraft<ProductRecord::kLength> cleared(record);
    cleared.SetText(ProductRecord::kEndMarkText, "");
    basey.Put(i, cleared);
  }
  basey.Flush();
}

}  // namespace

void ClearEndMarks(Channels& channels, ConversionProgress& progress) {
  ChannelScope scope(channels, {3, 6});
  scope.Records(3, "\\velmorin\\Quorra\\basea", ProductDetailRecord::kLength);
  RecordCache basey(scope.Records(6, "\\velmorin\\quorra\\basey", ProductRecord::kLength));
  ClearPass(basey, progress);
}

}  // namespace velmorin
