// Rounding and the number patterns the program uses.
#pragma once

#include <optional>
#include <string>

namespace velmorin {

// Nearest whole number, a half going to the even neighbour.
double RoundHalfEven(double value);

// The pattern "#0.00": at least one integer digit, exactly two decimals, a half rounded away
// from zero on the value's decimal form (15 significant digits), so 0.125 gives "0.13".
std::string FormatFixed2(double value);

// The pattern "###": the value rounded (a half away from zero) without leading zeros, and
// no digit at all when it rounds to 0.
std::string FormatHashes(double value);

// A value converted to the nearest 4-byte float; nothing when it is too large for one.
std::optional<float> ToFloat32(double value);
// A decimal text converted to the nearest 4-byte float; nothing when it is too large.
std::optional<float> Float32FromDecimalText(const std::string& text);

// "#0.00" and back to a 4-byte float: a price rounded to two decimals.
std::optional<float> RoundToCents(double value);

}  // namespace velmorin
