#include "support/record_codecs.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace velmorin {
namespace {

std::vector<char> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<char> bytes(n);
  for (char& b : bytes) b = static_cast<char>(rng());
  return bytes;
}

template <class R>
void ExpectRoundTrip(size_t length) {
  for (unsigned seed = 0; seed < 50; ++seed) {
    const auto in = RandomBytes(length, seed);
    std::vector<char> out(length, '\x55');
    R::Decode(in).Encode(out);
    ASSERT_EQ(out, in) << "seed " << seed;
  }
}

TEST(Records, DecodeThenEncodeKeepsEveryByte) {
  ExpectRoundTrip<test_support::ProductFields>(128);
  ExpectRoundTrip<test_support::ProductDetailFields>(62);
  ExpectRoundTrip<test_support::CostFields>(136);
  ExpectRoundTrip<test_support::LabGtFields>(17);
  ExpectRoundTrip<test_support::ProductExtFields>(100);
  ExpectRoundTrip<test_support::PreferencePriceFields>(17);
  ExpectRoundTrip<test_support::SpecFields>(43);
  ExpectRoundTrip<test_support::NotifiedPriceFields>(64);
}

TEST(Records, TextFieldsArePaddedAndTruncated) {
  std::vector<char> bytes(128, '\0');
  test_support::ProductFields r = test_support::ProductFields::Decode(bytes);
  r.amountText = "00012.50";  // 8 characters into width 9
  r.endMarkText = "";
  r.col17Code = "ABCDE";  // 5 characters into width 3
  r.Encode(bytes);
  EXPECT_EQ(std::string(bytes.data() + 66, 9), "00012.50 ");
  EXPECT_EQ(std::string(bytes.data() + 89, 20), std::string(20, ' '));
  EXPECT_EQ(std::string(bytes.data() + 110, 3), "ABC");
  EXPECT_EQ(bytes[113], '\0');  // untouched neighbours
  EXPECT_EQ(bytes[81], '\0');   // the Raw field
}

TEST(Records, FieldsSitAtTheirOffsets) {
  std::string bytes(128, ' ');
  bytes.replace(0, 6, "654321");
  bytes.replace(6 + 6 * 3, 6, " 12340");
  bytes.replace(109, 1, "7");
  bytes.replace(122, 2, "RF");
  const test_support::ProductFields r = test_support::ProductFields::Decode(bytes);
  EXPECT_EQ(r.code, "654321");
  EXPECT_EQ(r.indexSlots[3], " 12340");
  EXPECT_EQ(r.visadoMark, "7");
  EXPECT_EQ(r.regionFlag, "R");
  EXPECT_EQ(r.col16Flag, "F");

  std::string detail(62, '.');
  detail.replace(51, 8, "12345678");
  detail.replace(60, 2, "XY");
  const test_support::ProductDetailFields d = test_support::ProductDetailFields::Decode(detail);
  EXPECT_EQ(d.amountText, "12345678");
  EXPECT_EQ(d.col7Code, "XY");

  std::string spec(43, ' ');
  spec.replace(35, 6, "712345");
  spec.replace(7, 8, " 12.5   ");
  const test_support::SpecFields s = test_support::SpecFields::Decode(spec);
  EXPECT_EQ(s.code, "712345");
  EXPECT_EQ(s.secondValue, " 12.5   ");
}

TEST(Records, FloatsAreLittleEndian) {
  std::vector<char> bytes(64, ' ');
  test_support::NotifiedPriceFields r = test_support::NotifiedPriceFields::Decode(bytes);
  r.firstPrice = 1.0f;    // 0x3F800000
  r.secondPrice = -2.0f;  // 0xC0000000
  r.Encode(bytes);
  EXPECT_EQ(std::string(bytes.data(), 8), std::string("\x00\x00\x80\x3F\x00\x00\x00\xC0", 8));
  EXPECT_EQ(test_support::NotifiedPriceFields::Decode(bytes).secondPrice, -2.0f);
}

TEST(Records, LabGtKeepsTheSlotsLastByte) {
  std::string slot = "111111AAAAABBBBB\x7F";
  test_support::LabGtFields r = test_support::LabGtFields::Decode(slot);
  EXPECT_EQ(r.col41Code, "BBBBB");
  r.col36Code = "XY";
  std::string out(17, '\0');
  r.Encode(out);
  EXPECT_EQ(out, "111111XY   BBBBB\x7F");
}

}  // namespace
}  // namespace velmorin
