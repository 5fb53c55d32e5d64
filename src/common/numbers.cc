// Rounding and formatting by decimal digits, not by binary approximations.
#include "common/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace velmorin {
namespace {

// The value's decimal digits as printf gives them with 15 significant digits: sign, integer
// part and fraction, so that decimal rounding sees 1.005 as 1.005 and not 1.00499999...
struct DecimalForm {
  bool negative = false;
  std::string integer;   // at least "0"
  std::string fraction;  // may be empty
};

DecimalForm Decompose(double value) {
  DecimalForm form;
  if (!std::isfinite(value)) {
    form.integer.assign(1, '0');
    return form;
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14e", value);  // [-]d.dddddddddddddde[+-]X
  const std::string text(buffer);
  size_t i = 0;
  if (text[i] == '-') {
    form.negative = true;
    ++i;
  }
  const size_t e = text.find('e');
  const std::string digits = text.substr(i, 1) + text.substr(i + 2, e - i - 2);
  const int point = std::stoi(text.substr(e + 1)) + 1;  // digits before the decimal point
  if (point <= 0) {
    form.integer.assign(1, '0');
    form.fraction = std::string(-point, '0') + digits;
  } else if (point >= static_cast<int>(digits.size())) {
    form.integer = digits + std::string(point - digits.size(), '0');
  } else {
    form.integer = digits.substr(0, point);
    form.fraction = digits.substr(point);
  }
  return form;
}

// Rounds a decimal form to `places` decimals, a half away from zero.
void RoundDecimal(DecimalForm& form, size_t places) {
  const bool up = form.fraction.size() > places && form.fraction[places] >= '5';
  form.fraction.resize(places, '0');
  if (!up) return;
  std::string all = form.integer + form.fraction;
  int k = static_cast<int>(all.size()) - 1;
  while (k >= 0 && all[k] == '9') all[k--] = '0';
  if (k < 0) {
    all.insert(all.begin(), '1');
  } else {
    ++all[k];
  }
  form.integer = all.substr(0, all.size() - places);
  form.fraction = all.substr(all.size() - places);
}

void StripLeadingZeros(std::string& integer) {
  const size_t first = integer.find_first_not_of('0');
  integer = first == std::string::npos ? "0" : integer.substr(first);
}

bool AllZero(const std::string& text) { return text.find_first_not_of('0') == std::string::npos; }

}  // namespace

double RoundHalfEven(double value) { return std::nearbyint(value); }

std::string FormatFixed2(double value) {
  DecimalForm form = Decompose(value);
  RoundDecimal(form, 2);
  StripLeadingZeros(form.integer);
  const bool zero = form.integer == "0" && AllZero(form.fraction);
  return (form.negative && !zero ? "-" : "") + form.integer + "." + form.fraction;
}

std::string FormatHashes(double value) {
  DecimalForm form = Decompose(value);
  RoundDecimal(form, 0);
  StripLeadingZeros(form.integer);
  if (form.integer == "0") return "";
  return (form.negative ? "-" : "") + form.integer;
}

std::optional<float> ToFloat32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // Values that round to FLT_MAX still fit; the limit is half an ulp above it.
  constexpr double kLimit = 3.4028235677973366e38;
  if (std::fabs(value) >= kLimit) return std::nullopt;
  return static_cast<float>(value);
}

std::optional<float> Float32FromDecimalText(const std::string& text) {
  float value = 0.0f;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // from_chars reports underflow the same way; only a large magnitude is an overflow.
    double wide = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), wide);
    if (std::fabs(wide) >= 1.0 || !std::isfinite(wide)) return std::nullopt;
    return 0.0f;
  }
  return value;
}

std::optional<float> RoundToCents(double value) { return Float32FromDecimalText(FormatFixed2(value)); }

}  // namespace velmorin
