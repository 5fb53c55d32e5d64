// Val, parsed by hand into a normalized decimal and converted with from_chars.
#include "common/val.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

#include "common/runtime_error.h"

namespace velmorin {
namespace {

bool Skipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

// Walks the text, skipping blanks wherever they stand.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) { Skip(); }
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  bool AtEnd() const { return pos_ >= text_.size(); }
  void Advance() {
    ++pos_;
    Skip();
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && Skipped(text_[pos_])) ++pos_;
  }
  std::string_view text_;
  size_t pos_ = 0;
};

struct Decimal {
  bool negative = false;
  std::string digits;       // significant digits, leading zeros dropped
  int64_t point_shift = 0;  // value = 0.digits x 10^point_shift before the exponent
  int64_t exponent = 0;
};

constexpr int64_t kExponentCap = 1'000'000'000;

void ReadMantissa(Cursor& in, Decimal& d) {
  bool seen_point = false;
  for (;; in.Advance()) {
    const char c = in.Peek();
    if (c == '.' && !seen_point) {
      seen_point = true;
    } else if (Digit(c)) {
      if (d.digits.empty() && c == '0') {
        if (seen_point) --d.point_shift;
      } else {
        d.digits += c;
        if (!seen_point) ++d.point_shift;
      }
    } else {
      return;
    }
  }
}

void ReadExponent(Cursor& in, Decimal& d) {
  if (in.Peek() != 'E' && in.Peek() != 'e') return;
  in.Advance();
  bool negative = false;
  if (in.Peek() == '+' || in.Peek() == '-') {
    negative = in.Peek() == '-';
    in.Advance();
  }
  int64_t value = 0;
  for (; Digit(in.Peek()); in.Advance()) {
    value = std::min<int64_t>(value * 10 + (in.Peek() - '0'), kExponentCap);
  }
  d.exponent = negative ? -value : value;
}

std::optional<double> ToDouble(const Decimal& d) {
  if (d.digits.empty()) return 0.0;
  const int64_t magnitude = d.point_shift + d.exponent;  // value lies in [10^(m-1), 10^m)
  if (magnitude > 309) return std::nullopt;
  if (magnitude < -400) return 0.0;
  const std::string text = "0." + d.digits + "e" + std::to_string(magnitude);
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (magnitude > 0) return std::nullopt;
    value = 0.0;
  }
  return d.negative ? -value : value;
}

// Most texts are plain unsigned decimals ("  812", "00012.50"). With at most 15 digits the
// digits are exact in a double, and so is the power of ten, so one division rounds correctly:
// the same value the general path gives, without building a text for from_chars.
std::optional<double> PlainDecimal(std::string_view text) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  uint64_t value = 0;
  int digits = 0;
  int decimals = -1;  // digits after the point; -1 before it
  for (const char c : text) {
    if (Digit(c)) {
      if (++digits > 15) return std::nullopt;
      value = value * 10 + static_cast<uint64_t>(c - '0');
      if (decimals >= 0) ++decimals;
    } else if (c == '.' && decimals < 0) {
      decimals = 0;
    } else if (!Skipped(c)) {
      return std::nullopt;
    }
  }
  return static_cast<double>(value) / kPowersOfTen[std::max(decimals, 0)];
}

}  // namespace

double Val(std::string_view text) {
  const auto value = TryVal(text);
  if (!value) throw RuntimeError(err::kOverflow, "Val");
  return *value;
}

std::optional<double> TryVal(std::string_view text) {
  if (const auto plain = PlainDecimal(text)) return plain;
  Cursor in(text);
  Decimal d;
  if (in.Peek() == '+' || in.Peek() == '-') {
    d.negative = in.Peek() == '-';
    in.Advance();
  }
  ReadMantissa(in, d);
  ReadExponent(in, d);
  return ToDouble(d);
}

}  // namespace velmorin
