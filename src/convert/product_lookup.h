// The parts of the product lookup: a national code (five-digit stem + check digit) and the
// product record number held in the index slots of basey. The routines look codes up a whole
// list at a time, through ListedCodeKey and ResolveProducts (product_keys.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "convert/record_cache.h"

namespace velmorin {

enum class CodeThreshold {
  kNone,         // every code is looked up
  kAbove500000,  // only codes whose value is greater than 500000
};

struct CodeParts {
  double stem = 0;  // Val of the first five characters
  int digit = 0;    // Val of the sixth character: 0 to 9
};
// Nothing when the stem's value is too large for a double.
std::optional<CodeParts> SplitNationalCode(std::string_view code);

// A product record number addresses the same product in basey and every companion file, so
// it must fit the file with the longest records (coste).
inline constexpr size_t kLongestProductRecord = 136;

// The product record number in slot `digit` of an index record, when it is a positive number
// that addresses a record (never an error: a number no file could hold gives nothing).
std::optional<int64_t> ProductInSlot(std::span<const char> stem_record, int digit);

}  // namespace velmorin
