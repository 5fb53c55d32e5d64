// Val: the numeric value a text begins with.
#pragma once

#include <optional>
#include <string_view>

namespace velmorin {

// Blanks, tabs and line feeds are skipped anywhere (also between digits); then an optional
// sign, digits with at most one period, and an optional exponent (E or e, optional sign,
// digits). Reading stops at the first character that cannot continue the number; a comma
// ends it. No number gives 0. A value too large for a double is run-time error 6.
double Val(std::string_view text);
// Val without the error: nothing when the value is too large for a double.
std::optional<double> TryVal(std::string_view text);

}  // namespace velmorin
