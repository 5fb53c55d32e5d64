// Fuzzes ImportSerializationList over an arbitrary list and small sparse record files.
#include "convert/import_serialization_list.h"

#include "common/text.h"
#include "common/text_lines.h"
#include "convert/records.h"
#include "fuzz/fuzz_support.h"

namespace velmorin::fuzz {
namespace {

using R = ProductExtRecord;

const std::string kBasey = "C:\\velmorin\\quorra\\basey";
const std::string kBaseext = "C:\\velmorin\\quorra\\baseext";
const std::string kList = "C:\\velmorin\\bases\\serializacion.txt";

void SetSerialization(std::string& baseext, int64_t n, std::string_view date, std::string_view flag) {
  const auto record = RecordSpan(baseext, R::kLength, n, R::kLength);
  SetText(record, R::kSerializationDate, date);
  SetText(record, R::kSerializationFlag, flag);
}

// The cleared records reset, then each listed product given its flag and date.
std::string ExpectedBaseext(const std::string& before, const std::string& basey, const std::string& list) {
  std::string baseext = before;
  for (int64_t i = 1; i <= kLastCleared; ++i) SetSerialization(baseext, i, "", "0");
  for (const std::string& line : SplitLines(list)) {
    const std::string_view code = Mid(line, 2, 6);
    const auto product = ReferenceProduct(basey, code, code.empty() ? '0' : code.back(), true);
    if (!product) continue;
    const std::string date =
        std::string(Mid(line, 105, 4)) + std::string(Mid(line, 110, 2)) + std::string(Mid(line, 113, 2));
    SetSerialization(baseext, *product, date, Left(line, 1));
  }
  return baseext;
}

void CheckCase(const Files& before) {
  const auto after = RunTwice(
      before, [](Channels& c) { ImportSerializationList(c, kLimits); }, "ImportSerializationList");
  if (!after) return;
  CheckImport(
      before, *after,
      {.read_only = kBasey,
       .list = kList,
       .target = kBaseext,
       .rule = {.slot_length = R::kLength,
                .data_length = R::kLength,
                .writable = {R::kSerializationDate, R::kSerializationFlag},
                .min_records = kLastCleared},
       .expected =
           [](const Files& f) { return ExpectedBaseext(BytesOf(f.at(kBaseext)), BytesOf(f.at(kBasey)), *f.at(kList)); },
       .mismatch = "baseext is not what clearing and then importing the list gives"});
}

}  // namespace
}  // namespace velmorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmorin::fuzz;
  FuzzReader in(data, size);
  CheckCase(ReadFiles(in, {{kBasey, velmorin::ProductRecord::kLength}, {kBaseext, velmorin::ProductExtRecord::kLength}},
                      kList));
  return 0;
}
