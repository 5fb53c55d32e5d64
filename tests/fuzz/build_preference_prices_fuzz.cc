// Fuzzes BuildPreferencePrices over arbitrary espec bytes and small sparse record files.
#include "convert/build_preference_prices.h"

#include "common/numbers.h"
#include "common/val.h"
#include "convert/records.h"
#include "fuzz/fuzz_support.h"

namespace velmorin::fuzz {
namespace {

using P = PreferencePriceRecord;
using S = SpecRecord;

const std::string kBasey = "C:\\velmorin\\quorra\\basey";
const std::string kPrecios = "C:\\velmorin\\preferencia\\precios";
const std::string kEspec = "C:\\velmorin\\preferencia\\espec";

// The four values of a SpecRecord as 4-byte floats; nothing when one does not fit.
std::optional<std::array<float, 4>> Values(std::string_view spec) {
  std::array<float, 4> values{};
  const TextField fields[] = {S::kFirstValue, S::kSecondValue, S::kThirdValue, S::kFourthValue};
  for (size_t k = 0; k < 4; ++k) {
    const auto value = TryVal(spec.substr(fields[k].offset, fields[k].width));
    const auto single = value ? ToFloat32(*value) : std::nullopt;
    if (!single) return std::nullopt;
    values[k] = *single;
  }
  return values;
}

void SetValues(std::span<char> record, const std::array<float, 4>& values) {
  const size_t offsets[] = {P::kFirstValue, P::kSecondValue, P::kThirdValue, P::kFourthValue};
  for (size_t k = 0; k < 4; ++k) SetFloat32(record, offsets[k], values[k]);
}

// The cleared records zeroed with a blank mark, then each whole SpecRecord's product given its
// values.
std::string ExpectedPrecios(const std::string& before, const std::string& basey, const std::string& espec) {
  std::string precios = before;
  for (int64_t i = 1; i <= kLastCleared; ++i) {
    const auto record = RecordSpan(precios, P::kLength, i, P::kLength);
    SetValues(record, {});
    SetText(record, P::kPriceMark, "");
  }
  for (size_t offset = 0; offset + S::kLength <= espec.size(); offset += S::kLength) {
    const std::string_view spec = std::string_view(espec).substr(offset, S::kLength);
    const std::string_view code = spec.substr(S::kCode.offset, S::kCode.width);
    const auto product = ReferenceProduct(basey, code, code.back(), true);
    const auto values = product ? Values(spec) : std::nullopt;
    if (values) SetValues(RecordSpan(precios, P::kLength, *product, P::kLength), *values);
  }
  return precios;
}

void CheckCase(const Files& before) {
  const auto after = RunTwice(
      before, [](Channels& c) { BuildPreferencePrices(c, kLimits); }, "BuildPreferencePrices");
  if (!after) return;
  CheckImport(before, *after,
              {.read_only = kBasey,
               .list = kEspec,
               .target = kPrecios,
               // Every byte of a PreferencePriceRecord is one of its fields.
               .rule = {.slot_length = P::kLength,
                        .data_length = P::kLength,
                        .writable = {{0, P::kLength}},
                        .min_records = kLastCleared},
               .expected =
                   [](const Files& f) {
                     return ExpectedPrecios(BytesOf(f.at(kPrecios)), BytesOf(f.at(kBasey)), *f.at(kEspec));
                   },
               .mismatch = "precios is not what zeroing and then importing espec gives"});
}

}  // namespace
}  // namespace velmorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmorin::fuzz;
  FuzzReader in(data, size);
  CheckCase(ReadFiles(
      in, {{kBasey, velmorin::ProductRecord::kLength}, {kPrecios, velmorin::PreferencePriceRecord::kLength}}, kEspec));
  return 0;
}
