// Fuzzes ImportVisadoList over an arbitrary visa list and small sparse record files.
#include "convert/import_visado_list.h"

#include "common/text.h"
#include "common/text_lines.h"
#include "convert/records.h"
#include "fuzz/fuzz_support.h"

namespace velmorin::fuzz {
namespace {

const std::string kBasey = "C:\\velmorin\\quorra\\basey";
const std::string kBasea = "C:\\velmorin\\quorra\\basea";
const std::string kList = "C:\\velmorin\\VISADO75.txt";
constexpr size_t kMark = ProductRecord::kVisadoMark.offset;
constexpr size_t kLength = ProductRecord::kLength;

void SetMark(std::string& basey, int64_t n, char mark) { RecordSpan(basey, kLength, n, kLength)[kMark] = mark; }

// Every "7" of the cleared records removed, then each listed product marked.
std::string ExpectedBasey(const std::string& before, const std::string& list) {
  std::string basey = before;
  for (int64_t i = 1; i <= kLastCleared && static_cast<size_t>(i - 1) * kLength + kMark < before.size(); ++i) {
    if (basey[static_cast<size_t>(i - 1) * kLength + kMark] == '7') SetMark(basey, i, ' ');
  }
  for (const std::string& line : SplitLines(list)) {
    const std::string_view code = Left(line, 6);
    const auto product = ReferenceProduct(before, code, code.empty() ? '0' : code.back(), true);
    if (product) SetMark(basey, *product, '7');
  }
  return basey;
}

void CheckCase(const Files& before) {
  const auto after = RunTwice(
      before, [](Channels& c) { ImportVisadoList(c, kLimits); }, "ImportVisadoList");
  if (!after) return;
  // basea is only opened (created when missing).
  CheckImport(before, *after,
              {.read_only = kBasea,
               .list = kList,
               .target = kBasey,
               .rule = {.slot_length = kLength,
                        .data_length = kLength,
                        .writable = {ProductRecord::kVisadoMark},
                        // Marked, or a cut record whose mark the clearing pass removed.
                        .written = [](int64_t, std::string_view r) { return r[kMark] == '7' || r[kMark] == ' '; }},
               .expected = [](const Files& f) { return ExpectedBasey(BytesOf(f.at(kBasey)), *f.at(kList)); },
               .mismatch = "basey is not what clearing the marks and marking the list gives"});
}

}  // namespace
}  // namespace velmorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmorin::fuzz;
  FuzzReader in(data, size);
  CheckCase(ReadFiles(
      in, {{kBasey, velmorin::ProductRecord::kLength}, {kBasea, velmorin::ProductDetailRecord::kLength}}, kList));
  return 0;
}
