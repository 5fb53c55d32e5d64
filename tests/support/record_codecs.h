// The shared files' records decoded field by field, for the reference implementation and the
// tests. Decoding keeps every byte of the record, so that encoding without changes gives back
// the same bytes (the fields that belong to the back-office program included).
#pragma once

#include <array>
#include <span>
#include <string>

#include "convert/records.h"

namespace velmorin::test_support {

struct ProductFields : ProductRecord {
  std::string code;
  std::array<std::string, 10> indexSlots;
  std::string amountText;
  std::string endMarkText;
  std::string visadoMark;
  std::string col17Code;
  std::string genericMark;
  std::string col20Code;
  std::string regionFlag;
  std::string col16Flag;
  std::array<char, kLength> bytes{};

  static ProductFields Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

struct ProductDetailFields : ProductDetailRecord {
  std::string code;
  std::string col36Code;
  std::string col10Flag;
  std::string col11Flag;
  std::string col12Flag;
  std::string col13Flag;
  std::string col41Code;
  std::string col9Flag;
  std::string col14Flag;
  std::string amountText;
  std::string col7Code;
  std::array<char, kLength> bytes{};

  static ProductDetailFields Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

struct CostFields : CostRecord {
  std::string amountLock;
  std::array<char, kLength> bytes{};

  static CostFields Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

struct LabGtFields : LabGtRecord {
  std::string code;
  std::string col36Code;
  std::string col41Code;
  std::array<char, kSlotLength> bytes{};

  static LabGtFields Decode(std::span<const char> slot);
  // Writes the 16 record bytes; the slot's last byte is copied from what was decoded.
  void Encode(std::span<char> slot) const;
};

struct ProductExtFields : ProductExtRecord {
  std::string serializationDate;
  std::string serializationFlag;
  std::array<char, kLength> bytes{};

  static ProductExtFields Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

struct PreferencePriceFields : PreferencePriceRecord {
  float firstValue = 0;
  float secondValue = 0;
  float thirdValue = 0;
  float fourthValue = 0;
  std::string priceMark;
  std::array<char, kLength> bytes{};

  static PreferencePriceFields Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

struct SpecFields : SpecRecord {
  std::string firstValue;
  std::string secondValue;
  std::string thirdValue;
  std::string fourthValue;
  std::string code;
  std::array<char, kLength> bytes{};

  static SpecFields Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

struct NotifiedPriceFields : NotifiedPriceRecord {
  float firstPrice = 0;
  float secondPrice = 0;
  std::string extraText;
  std::array<char, kLength> bytes{};

  static NotifiedPriceFields Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

}  // namespace velmorin::test_support
