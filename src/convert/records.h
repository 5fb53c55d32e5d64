// The layouts of the shared files' record types: where each field lies. The routines read and
// write the fields in place, so that the bytes that belong to the back-office program stay.
#pragma once

#include <cstddef>

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
};

// coste, 136 bytes; only the amount lock is used.
struct CostRecord {
  static constexpr size_t kLength = 136;
  static constexpr TextField kAmountLock{9, 1};
};

// LabGT: a 17-byte slot holding a 16-byte record; the last byte is never written.
struct LabGtRecord {
  static constexpr size_t kSlotLength = 17;
  static constexpr size_t kLength = 16;
  static constexpr TextField kCode{0, 6};
  static constexpr TextField kCol36Code{6, 5};
  static constexpr TextField kCol41Code{11, 5};
};

// baseext, 100 bytes.
struct ProductExtRecord {
  static constexpr size_t kLength = 100;
  static constexpr TextField kSerializationDate{90, 8};
  static constexpr TextField kSerializationFlag{98, 1};
};

// precios, 17 bytes.
struct PreferencePriceRecord {
  static constexpr size_t kLength = 17;
  static constexpr size_t kFirstValue = 0;
  static constexpr size_t kSecondValue = 4;
  static constexpr size_t kThirdValue = 8;
  static constexpr size_t kFourthValue = 12;
  static constexpr TextField kPriceMark{16, 1};
};

// espec, 43 bytes; downloaded whole, only read.
struct SpecRecord {
  static constexpr size_t kLength = 43;
  static constexpr TextField kFirstValue{0, 6};
  static constexpr TextField kSecondValue{7, 8};
  static constexpr TextField kThirdValue{18, 8};
  static constexpr TextField kFourthValue{26, 8};
  static constexpr TextField kCode{35, 6};
};

// BaseP, 64 bytes.
struct NotifiedPriceRecord {
  static constexpr size_t kLength = 64;
  static constexpr size_t kFirstPrice = 0;
  static constexpr size_t kSecondPrice = 4;
  static constexpr TextField kExtraText{8, 56};
};

}  // namespace velmorin
