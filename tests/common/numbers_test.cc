#include "common/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velmorin {
namespace {

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.51), 3);
  EXPECT_EQ(RoundHalfEven(99.6), 100);
  EXPECT_EQ(RoundHalfEven(0.025 * 20), 0);  // 0.5 -> 0: the bar's first value
}

TEST(FormatFixed2, RoundsHalfAwayFromZeroOnTheDecimalValue) {
  EXPECT_EQ(FormatFixed2(0.125), "0.13");
  EXPECT_EQ(FormatFixed2(1.005), "1.01");  // the binary value is below 1.005
  EXPECT_EQ(FormatFixed2(2.675), "2.68");
  EXPECT_EQ(FormatFixed2(7), "7.00");
  EXPECT_EQ(FormatFixed2(0), "0.00");
  EXPECT_EQ(FormatFixed2(0.004), "0.00");
  EXPECT_EQ(FormatFixed2(-0.004), "0.00");
  EXPECT_EQ(FormatFixed2(-1.125), "-1.13");
  EXPECT_EQ(FormatFixed2(9.995), "10.00");
  EXPECT_EQ(FormatFixed2(12345678.5), "12345678.50");
  EXPECT_EQ(FormatFixed2(1e20), "100000000000000000000.00");
}

TEST(RoundToCents, GivesTheFloatNearestTheRoundedText) {
  EXPECT_EQ(RoundToCents(0.125), 0.13f);
  EXPECT_EQ(RoundToCents(7), 7.0f);
  EXPECT_EQ(RoundToCents(12.5), 12.5f);
  EXPECT_FALSE(RoundToCents(1e39).has_value());
  EXPECT_EQ(RoundToCents(1e-9), 0.0f);
}

TEST(FormatHashes, NoDigitWhenItRoundsToZero) {
  EXPECT_EQ(FormatHashes(0), "");
  EXPECT_EQ(FormatHashes(0.4), "");
  EXPECT_EQ(FormatHashes(0.5), "1");
  EXPECT_EQ(FormatHashes(2.5), "3");
  EXPECT_EQ(FormatHashes(99.6), "100");
  EXPECT_EQ(FormatHashes(42), "42");
}

TEST(ToFloat32, RejectsValuesTooLargeForAFloat) {
  EXPECT_EQ(ToFloat32(12.5), 12.5f);
  EXPECT_EQ(ToFloat32(3.4028234e38), std::numeric_limits<float>::max());
  EXPECT_FALSE(ToFloat32(3.5e38).has_value());
  EXPECT_FALSE(ToFloat32(-1e300).has_value());
}

}  // namespace
}  // namespace velmorin
