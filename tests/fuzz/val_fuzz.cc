// Fuzzes Val against a plain reading of its grammar with strtod, and the number helpers built
// on it (the notified-price shortcut, rounding, record numbers).
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

#include "common/numbers.h"
#include "common/runtime_error.h"
#include "common/val.h"
#include "convert/notified_prices.h"
#include "convert/record_file.h"
#include "fuzz/fuzz_support.h"

namespace velmorin::fuzz {
namespace {

bool Skipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

// The text with blanks, tabs and line feeds removed, cut after the longest prefix of the form
// sign, digits with one period, E/e, sign, digits; then read by strtod. Nothing on overflow.
struct Reference {
  bool overflow = false;
  double value = 0;
};

Reference ReferenceVal(const std::string& text) {
  std::string s;
  for (const char c : text) {
    if (!Skipped(c)) s += c;
  }
  size_t i = 0;
  std::string number;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
  bool digits = false;
  bool point = false;
  for (; i < s.size() && (Digit(s[i]) || (s[i] == '.' && !point)); ++i) {
    point = point || s[i] == '.';
    digits = digits || Digit(s[i]);
    number += s[i];
  }
  if (!digits) return {};
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    std::string exponent = "e";
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) exponent += s[i++];
    bool exponent_digits = false;
    for (; i < s.size() && Digit(s[i]); ++i) {
      exponent += s[i];
      exponent_digits = true;
    }
    if (exponent_digits) number += exponent;
  }
  errno = 0;
  const double value = std::strtod(number.c_str(), nullptr);
  if (errno == ERANGE && std::isinf(value)) return {.overflow = true};
  return {.value = value};
}

void CheckVal(const std::string& text) {
  const auto value = TryVal(text);
  const Reference reference = ReferenceVal(text);
  FUZZ_CHECK(value.has_value() != reference.overflow, "TryVal and strtod disagree on overflow for '" + text + "'");
  bool threw = false;
  try {
    Check(Val(text) == *value, "Val differs from TryVal");
  } catch (const RuntimeError& e) {
    threw = true;
    FUZZ_CHECK(e.number() == err::kOverflow, "Val raised error " + std::to_string(e.number()));
  }
  Check(threw == !value.has_value(), "Val raises error 6 exactly when TryVal has no value");
  if (!value) return;
  Check(std::isfinite(*value), "Val gave a value that is not finite");
  // Below the normal range the two may differ in how they flush to zero.
  const bool tiny = std::fabs(reference.value) < DBL_MIN;
  FUZZ_CHECK(*value == reference.value || (tiny && *value == 0), "Val differs from strtod for '" + text + "'");
}

// The shortcut for plain prices must give what rounding Val's value to cents gives.
void CheckNotifiedPrice(const std::string& text) {
  const auto value = TryVal(text);
  const auto price = NotifiedPrice(text);
  const auto expected = value ? RoundToCents(*value) : std::nullopt;
  FUZZ_CHECK(price == expected, "NotifiedPrice differs from RoundToCents(Val) for '" + text + "'");
}

void CheckRounding(double value) {
  const double whole = RoundHalfEven(value);
  Check(std::fabs(whole - value) <= 0.5 && whole == std::trunc(whole), "RoundHalfEven is not the nearest whole number");
  FormatFixed2(value);
  FormatHashes(value);
  if (const auto n = AddressableRecord(value, 128)) {
    Check(*n >= 1 && *n <= RecordFile::MaxRecordFor(128) && std::fabs(static_cast<double>(*n) - value) <= 0.5,
          "AddressableRecord out of range");
  }
}

}  // namespace
}  // namespace velmorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmorin::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckVal(text);
  CheckNotifiedPrice(text.substr(0, 24));
  if (const auto value = velmorin::TryVal(text)) CheckRounding(*value);
  return 0;
}
