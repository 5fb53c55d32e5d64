#include "common/val.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <string>

#include "common/runtime_error.h"

namespace velmorin {
namespace {

struct ValCase {
  const char* text;
  double expected;
};

class ValGrammar : public testing::TestWithParam<ValCase> {};

TEST_P(ValGrammar, ReadsTheLeadingNumber) {
  EXPECT_DOUBLE_EQ(Val(GetParam().text), GetParam().expected) << "'" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(Cases, ValGrammar,
                         testing::Values(
                             // no number
                             ValCase{"", 0}, ValCase{"abc", 0}, ValCase{"-", 0}, ValCase{".", 0}, ValCase{"E5", 0},
                             // signs
                             ValCase{"+7", 7}, ValCase{"-7", -7}, ValCase{"- 7", -7}, ValCase{"--7", 0},
                             // blanks, tabs and line feeds anywhere, even between digits
                             ValCase{"  12", 12}, ValCase{"1 2 3", 123}, ValCase{"\t1\n2", 12},
                             ValCase{" 00012.50", 12.5},
                             // a carriage return is not skipped
                             ValCase{"1\r2", 1},
                             // one period only; a comma ends the number
                             ValCase{"1.2.3", 1.2}, ValCase{".5", 0.5}, ValCase{"5.", 5}, ValCase{"12,5", 12},
                             // exponent: E or e, optional sign, digits
                             ValCase{"1E3", 1000}, ValCase{"1e3", 1000}, ValCase{"2.5E-1", 0.25}, ValCase{"1E+2x", 100},
                             ValCase{"1E", 1}, ValCase{"1E-", 1}, ValCase{"1 E 2", 100},
                             // stops at the first character that cannot continue
                             ValCase{"12ab34", 12}, ValCase{"0x10", 0}, ValCase{"123456 00012.50", 12345600012.5},
                             // tiny values underflow to zero without error
                             ValCase{"1E-400", 0}, ValCase{"0.000", 0}));

TEST(Val, OverflowIsRuntimeError6) {
  try {
    Val("1E400");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 6);
    EXPECT_EQ(e.description(), "Desbordamiento");
  }
  EXPECT_THROW(Val(std::string(400, '9')), RuntimeError);
  EXPECT_FALSE(TryVal("9E99999999999999999999").has_value());
  EXPECT_DOUBLE_EQ(Val("1.7E308"), 1.7e308);
}

// Plain decimals take a shortcut; it must give the nearest double, as reading the digits does.
TEST(Val, PlainDecimalsAreTheNearestDouble) {
  std::mt19937 rng(5);
  for (int i = 0; i < 50000; ++i) {
    std::string text, compact;
    const int digits = 1 + static_cast<int>(rng() % 15);
    const int point = static_cast<int>(rng() % (digits + 2));
    for (int k = 0; k < digits; ++k) {
      if (k == point) text += '.', compact += '.';
      if (rng() % 4 == 0) text += ' ';
      const char c = static_cast<char>('0' + rng() % 10);
      text += c, compact += c;
    }
    double expected = 0;
    std::from_chars(compact.data(), compact.data() + compact.size(), expected);
    ASSERT_EQ(Val(text), expected) << "'" << text << "'";
  }
}

TEST(Val, LongDigitStringsKeepTheirValue) {
  EXPECT_DOUBLE_EQ(Val("000000000000000000000000000042"), 42);
  EXPECT_DOUBLE_EQ(Val("0.1000000000000000000000000001"), 0.1);
}

}  // namespace
}  // namespace velmorin
