// Record codecs, driven by one table of (member, field) per record type.
#include "support/record_codecs.h"

#include <algorithm>

namespace velmorin::test_support {
namespace {

template <class R>
struct TextBinding {
  std::string R::*member;
  TextField field;
};

template <class R>
struct FloatBinding {
  float R::*member;
  size_t offset;
};

template <class R, size_t N>
R DecodeText(std::span<const char> in, const TextBinding<R> (&texts)[N]) {
  R r;
  std::copy_n(in.begin(), r.bytes.size(), r.bytes.begin());
  for (const auto& b : texts) r.*b.member = GetText(in, b.field);
  return r;
}

template <class R, size_t N>
void EncodeText(const R& r, std::span<char> out, const TextBinding<R> (&texts)[N]) {
  std::copy(r.bytes.begin(), r.bytes.end(), out.begin());
  for (const auto& b : texts) SetText(out, b.field, r.*b.member);
}

template <class R, size_t N>
void DecodeFloats(std::span<const char> in, R& r, const FloatBinding<R> (&floats)[N]) {
  for (const auto& b : floats) r.*b.member = GetFloat32(in, b.offset);
}

template <class R, size_t N>
void EncodeFloats(const R& r, std::span<char> out, const FloatBinding<R> (&floats)[N]) {
  for (const auto& b : floats) SetFloat32(out, b.offset, r.*b.member);
}

using PR = ProductFields;
const TextBinding<PR> kProductTexts[] = {
    {&PR::code, PR::kCode},
    {&PR::amountText, PR::kAmountText},
    {&PR::endMarkText, PR::kEndMarkText},
    {&PR::visadoMark, PR::kVisadoMark},
    {&PR::col17Code, PR::kCol17Code},
    {&PR::genericMark, PR::kGenericMark},
    {&PR::col20Code, PR::kCol20Code},
    {&PR::regionFlag, PR::kRegionFlag},
    {&PR::col16Flag, PR::kCol16Flag},
};

using DR = ProductDetailFields;
const TextBinding<DR> kDetailTexts[] = {
    {&DR::code, DR::kCode},           {&DR::col36Code, DR::kCol36Code},
    {&DR::col10Flag, DR::kCol10Flag}, {&DR::col11Flag, DR::kCol11Flag},
    {&DR::col12Flag, DR::kCol12Flag}, {&DR::col13Flag, DR::kCol13Flag},
    {&DR::col41Code, DR::kCol41Code}, {&DR::col9Flag, DR::kCol9Flag},
    {&DR::col14Flag, DR::kCol14Flag}, {&DR::amountText, DR::kAmountText},
    {&DR::col7Code, DR::kCol7Code},
};

const TextBinding<CostFields> kCostTexts[] = {{&CostFields::amountLock, CostFields::kAmountLock}};

using LR = LabGtFields;
const TextBinding<LR> kLabGtTexts[] = {
    {&LR::code, LR::kCode}, {&LR::col36Code, LR::kCol36Code}, {&LR::col41Code, LR::kCol41Code}};

using ER = ProductExtFields;
const TextBinding<ER> kExtTexts[] = {{&ER::serializationDate, ER::kSerializationDate},
                                     {&ER::serializationFlag, ER::kSerializationFlag}};

using PP = PreferencePriceFields;
const TextBinding<PP> kPreferenceTexts[] = {{&PP::priceMark, PP::kPriceMark}};
const FloatBinding<PP> kPreferenceFloats[] = {{&PP::firstValue, PP::kFirstValue},
                                              {&PP::secondValue, PP::kSecondValue},
                                              {&PP::thirdValue, PP::kThirdValue},
                                              {&PP::fourthValue, PP::kFourthValue}};

using SR = SpecFields;
const TextBinding<SR> kSpecTexts[] = {{&SR::firstValue, SR::kFirstValue},
                                      {&SR::secondValue, SR::kSecondValue},
                                      {&SR::thirdValue, SR::kThirdValue},
                                      {&SR::fourthValue, SR::kFourthValue},
                                      {&SR::code, SR::kCode}};

using NR = NotifiedPriceFields;
const TextBinding<NR> kNotifiedTexts[] = {{&NR::extraText, NR::kExtraText}};
const FloatBinding<NR> kNotifiedFloats[] = {{&NR::firstPrice, NR::kFirstPrice}, {&NR::secondPrice, NR::kSecondPrice}};

}  // namespace

ProductFields ProductFields::Decode(std::span<const char> record) {
  ProductFields r = DecodeText(record, kProductTexts);
  for (int d = 0; d < 10; ++d) r.indexSlots[d] = GetText(record, IndexSlot(d));
  return r;
}

void ProductFields::Encode(std::span<char> out) const {
  EncodeText(*this, out, kProductTexts);
  for (int d = 0; d < 10; ++d) SetText(out, IndexSlot(d), indexSlots[d]);
}

ProductDetailFields ProductDetailFields::Decode(std::span<const char> record) {
  return DecodeText(record, kDetailTexts);
}
void ProductDetailFields::Encode(std::span<char> out) const { EncodeText(*this, out, kDetailTexts); }

CostFields CostFields::Decode(std::span<const char> record) { return DecodeText(record, kCostTexts); }
void CostFields::Encode(std::span<char> out) const { EncodeText(*this, out, kCostTexts); }

LabGtFields LabGtFields::Decode(std::span<const char> slot) { return DecodeText(slot, kLabGtTexts); }
void LabGtFields::Encode(std::span<char> slot) const { EncodeText(*this, slot, kLabGtTexts); }

ProductExtFields ProductExtFields::Decode(std::span<const char> record) { return DecodeText(record, kExtTexts); }
void ProductExtFields::Encode(std::span<char> out) const { EncodeText(*this, out, kExtTexts); }

PreferencePriceFields PreferencePriceFields::Decode(std::span<const char> record) {
  PreferencePriceFields r = DecodeText(record, kPreferenceTexts);
  DecodeFloats(record, r, kPreferenceFloats);
  return r;
}
void PreferencePriceFields::Encode(std::span<char> out) const {
  EncodeText(*this, out, kPreferenceTexts);
  EncodeFloats(*this, out, kPreferenceFloats);
}

SpecFields SpecFields::Decode(std::span<const char> record) { return DecodeText(record, kSpecTexts); }
void SpecFields::Encode(std::span<char> out) const { EncodeText(*this, out, kSpecTexts); }

NotifiedPriceFields NotifiedPriceFields::Decode(std::span<const char> record) {
  NotifiedPriceFields r = DecodeText(record, kNotifiedTexts);
  DecodeFloats(record, r, kNotifiedFloats);
  return r;
}
void NotifiedPriceFields::Encode(std::span<char> out) const {
  EncodeText(*this, out, kNotifiedTexts);
  EncodeFloats(*this, out, kNotifiedFloats);
}

}  // namespace velmorin::test_support
