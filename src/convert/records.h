// The record types of the shared files, field by field. Decoding keeps every byte of the
// record, so that encoding without changes gives back the same bytes (the fields that belong
// to the back-office program included).
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>

#include "convert/fields.h"

namespace velmorin {

// basey, 128 bytes: index part (indexSlots, by code stem) and product part (the rest).
struct ProductRecord {
  static constexpr size_t kLength = 128;
  static constexpr TextField kCode{0, 6};
  static constexpr TextField IndexSlot(int digit) { return {6 + 6 * static_cast<size_t>(digit), 6}; }
  static constexpr TextField kAmountText{66, 9};
  static constexpr TextField kEndMarkText{89, 20};
  static constexpr TextField kVisadoMark{109, 1};
  static constexpr TextField kCol17Code{110, 3};
  static constexpr TextField kGenericMark{113, 3};
  static constexpr TextField kCol20Code{116, 2};
  static constexpr TextField kRegionFlag{122, 1};
  static constexpr TextField kCol16Flag{123, 1};

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

  static ProductRecord Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

// basea, 62 bytes.
struct ProductDetailRecord {
  static constexpr size_t kLength = 62;
  static constexpr TextField kCode{0, 6};
  static constexpr TextField kCol36Code{36, 4};
  static constexpr TextField kCol10Flag{40, 1};
  static constexpr TextField kCol11Flag{41, 1};
  static constexpr TextField kCol12Flag{42, 1};
  static constexpr TextField kCol13Flag{43, 1};
  static constexpr TextField kCol41Code{45, 3};
  static constexpr TextField kCol9Flag{48, 1};
  static constexpr TextField kCol14Flag{49, 1};
  static constexpr TextField kAmountText{51, 8};
  static constexpr TextField kCol7Code{60, 2};

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

  static ProductDetailRecord Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

// coste, 136 bytes; only the amount lock is used.
struct CostRecord {
  static constexpr size_t kLength = 136;
  static constexpr TextField kAmountLock{9, 1};

  std::string amountLock;
  std::array<char, kLength> bytes{};

  static CostRecord Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

// LabGT: a 17-byte slot holding a 16-byte record; the last byte is never written.
struct LabGtRecord {
  static constexpr size_t kSlotLength = 17;
  static constexpr size_t kLength = 16;
  static constexpr TextField kCode{0, 6};
  static constexpr TextField kCol36Code{6, 5};
  static constexpr TextField kCol41Code{11, 5};

  std::string code;
  std::string col36Code;
  std::string col41Code;
  std::array<char, kSlotLength> bytes{};

  static LabGtRecord Decode(std::span<const char> slot);
  // Writes the 16 record bytes; the slot's last byte is copied from what was decoded.
  void Encode(std::span<char> slot) const;
};

// baseext, 100 bytes.
struct ProductExtRecord {
  static constexpr size_t kLength = 100;
  static constexpr TextField kSerializationDate{90, 8};
  static constexpr TextField kSerializationFlag{98, 1};

  std::string serializationDate;
  std::string serializationFlag;
  std::array<char, kLength> bytes{};

  static ProductExtRecord Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

// precios, 17 bytes.
struct PreferencePriceRecord {
  static constexpr size_t kLength = 17;
  static constexpr size_t kFirstValue = 0;
  static constexpr size_t kSecondValue = 4;
  static constexpr size_t kThirdValue = 8;
  static constexpr size_t kFourthValue = 12;
  static constexpr TextField kPriceMark{16, 1};

  float firstValue = 0;
  float secondValue = 0;
  float thirdValue = 0;
  float fourthValue = 0;
  std::string priceMark;
  std::array<char, kLength> bytes{};

  static PreferencePriceRecord Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

// espec, 43 bytes; downloaded whole, only read.
struct SpecRecord {
  static constexpr size_t kLength = 43;
  static constexpr TextField kFirstValue{0, 6};
  static constexpr TextField kSecondValue{7, 8};
  static constexpr TextField kThirdValue{18, 8};
  static constexpr TextField kFourthValue{26, 8};
  static constexpr TextField kCode{35, 6};

  std::string firstValue;
  std::string secondValue;
  std::string thirdValue;
  std::string fourthValue;
  std::string code;
  std::array<char, kLength> bytes{};

  static SpecRecord Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

// BaseP, 64 bytes.
struct NotifiedPriceRecord {
  static constexpr size_t kLength = 64;
  static constexpr size_t kFirstPrice = 0;
  static constexpr size_t kSecondPrice = 4;
  static constexpr TextField kExtraText{8, 56};

  float firstPrice = 0;
  float secondPrice = 0;
  std::string extraText;
  std::array<char, kLength> bytes{};

  static NotifiedPriceRecord Decode(std::span<const char> record);
  void Encode(std::span<char> out) const;
};

}  // namespace velmorin
