// Fuzzes the rebuild of BaseP over an arbitrary notified-price list and small sparse record
// files, with the start-up bar checked on the way.
#include "convert/notified_prices.h"

#include "common/numbers.h"
#include "common/text.h"
#include "common/text_lines.h"
#include "common/val.h"
#include "convert/records.h"
#include "fuzz/fuzz_support.h"

namespace velmorin::fuzz {
namespace {

using N = NotifiedPriceRecord;

const std::string kBasey = "C:\\velmorin\\quorra\\basey";
const std::string kBaseP = "C:\\velmorin\\quorra\\BaseP";
const std::string kList = "C:\\velmorin\\quorra\\pvpnotificados.txt";

std::optional<float> Price(std::string_view text) {
  const auto value = TryVal(text);
  return value ? RoundToCents(*value) : std::nullopt;
}

// The cleared records blanked, then each line's product given its two prices rounded to cents.
std::optional<std::string> ExpectedBaseP(const std::optional<std::string>& before, const std::string& basey,
                                         const std::string& list) {
  if (list.empty()) return before;
  std::string basep = before.value_or("");
  for (int64_t k = 1; k <= kLastCleared; ++k) {
    const auto record = RecordSpan(basep, N::kLength, k, N::kLength);
    SetFloat32(record, N::kFirstPrice, 0);
    SetFloat32(record, N::kSecondPrice, 0);
    SetText(record, N::kExtraText, "");
  }
  for (const std::string& line : SplitLines(list)) {
    const auto product = ReferenceProduct(basey, Left(line, 6), line.size() >= 6 ? line[5] : ' ', false);
    const auto second = product ? Price(Mid(line, 8, 8)) : std::nullopt;
    const auto first = product ? Price(Right(line, 8)) : std::nullopt;
    if (!first || !second) continue;
    const auto record = RecordSpan(basep, N::kLength, *product, N::kLength);
    SetFloat32(record, N::kFirstPrice, *first);
    SetFloat32(record, N::kSecondPrice, *second);
  }
  return basep;
}

void Rebuild(Channels& channels, bool list_empty) {
  CheckedProgress progress;
  RebuildNotifiedPrices(channels, progress, kLimits);
  Check(progress.startup() == (list_empty ? 0 : kLastCleared / 1000),
        "the start-up bar does not end at the thousands of the cleared records (0 for an empty list)");
  Check(progress.dialog() == 0, "the rebuild moved the dialog's bar");
}

void CheckCase(const Files& before) {
  const bool empty = before.at(kList)->empty();
  const auto after = RunTwice(
      before, [empty](Channels& c) { Rebuild(c, empty); }, "RebuildNotifiedPrices");
  if (!after) return;
  // basey is opened (so created when missing) only for a list with something in it.
  const auto& basey = before.at(kBasey);
  Check(after->at(kBasey) == (empty || basey ? basey : std::optional<std::string>("")), "basey changed");
  Check(after->at(kList) == before.at(kList), "the list changed");
  const auto expected = ExpectedBaseP(before.at(kBaseP), BytesOf(before.at(kBasey)), *before.at(kList));
  Check(after->at(kBaseP) == expected, "BaseP is not what blanking and then writing the listed prices gives");
  if (empty) return;
  // Every byte of a NotifiedPriceRecord is one of its fields.
  CheckRecordFile(kBaseP, before.at(kBaseP), after->at(kBaseP),
                  {.slot_length = N::kLength,
                   .data_length = N::kLength,
                   .writable = {{0, N::kLength}},
                   .min_records = kLastCleared});
}

}  // namespace
}  // namespace velmorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmorin::fuzz;
  FuzzReader in(data, size);
  CheckCase(ReadFiles(
      in, {{kBasey, velmorin::ProductRecord::kLength}, {kBaseP, velmorin::NotifiedPriceRecord::kLength}}, kList));
  return 0;
}
