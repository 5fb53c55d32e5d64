#include "convert/notified_prices.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "common/numbers.h"
#include "common/val.h"

#include "conversion_fixture.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using N = NotifiedPriceRecord;

class NotifiedPricesTest : public ConversionTest {
 protected:
  void Run(const std::vector<std::string>& lines) {
    fs_.SetFile(data::kNotified, TextLines(lines));
    RebuildNotifiedPrices(channels_, bars_);
  }
  std::string Price(int64_t n) const { return Record(data::kBaseP, N::kLength, n); }
  static std::string Expected(float first, float second, const std::string& extra = "") {
    std::string record(N::kLength, '\0');
    SetFloat32(record, N::kFirstPrice, first);
    SetFloat32(record, N::kSecondPrice, second);
    SetText(record, N::kExtraText, extra);
    return record;
  }
};

TEST_F(NotifiedPricesTest, ALineWritesItsTwoPricesIntoItsProduct) {
  Index("123456", 812);
  SetRecord(data::kBaseP, N::kLength, 812, std::string(N::kLength, 'o'));
  SetRecord(data::kBaseP, N::kLength, 5, std::string(N::kLength, 'o'));
  Run({"123456 00012.5000010.00"});
  EXPECT_EQ(Price(812), Expected(10.0f, 12.5f));
  EXPECT_EQ(Price(5), Expected(0, 0));
  EXPECT_EQ(fs_.File(data::kBaseP).size(), 99999u * N::kLength);
  ExpectAllClosed();
}

TEST_F(NotifiedPricesTest, PricesAreRoundedToCents) {
  const std::vector<std::tuple<std::string, float, float>> cases = {
      {"123456 0.125          7", 7.0f, 0.13f},
      {"123456 1.005      2.675", 2.68f, 1.01f},  // decimal halves, not binary ones
      {"123456 ", 123456.0f, 0.0f},               // the last eight characters are the whole line
      {"123456 abc     -0.004", 0.0f, 0.0f},
  };
  Index("123456", 3);
  for (const auto& [line, first, second] : cases) {
    Run({line});
    EXPECT_EQ(Price(3), Expected(first, second)) << line;
  }
}

TEST_F(NotifiedPricesTest, TheLaterLineWinsAndUnknownCodesArePassedOver) {
  Index("123456", 3);
  Index("654321", 3);
  Index(65432, 2, "9E10");
  Index(65432, 3, "     0");
  Run({"123456 00001.0000001.00", "654321 00002.0000002.00", "654322 00003.0000003.00", "654323 00003.0000003.00",
       "000001 00003.0000003.00", "123456 1E999   00001.00", ""});
  EXPECT_EQ(Price(3), Expected(2, 2));
}

TEST_F(NotifiedPricesTest, ProductsAboveTheClearedRangeKeepTheirText) {
  Index("123456", 100001);
  SetRecord(data::kBaseP, N::kLength, 100001, std::string(N::kLength, 't'));
  Run({"123456 00001.0000002.00"});
  std::string expected(N::kLength, 't');
  SetFloat32(expected, N::kFirstPrice, 2);
  SetFloat32(expected, N::kSecondPrice, 1);
  EXPECT_EQ(Price(100001), expected);
}

TEST_F(NotifiedPricesTest, AnEmptyListLeavesBasePAsItWas) {
  SetRecord(data::kBaseP, N::kLength, 4, Expected(9, 9));
  const std::string before = fs_.File(data::kBaseP);
  Run({});
  EXPECT_EQ(fs_.File(data::kBaseP), before);
  EXPECT_FALSE(fs_.FileExists(data::kBasey));  // not even opened
  EXPECT_TRUE(bars_.sets.empty());
}

TEST_F(NotifiedPricesTest, TheStartUpBarClimbsFrom1To99) {
  Run({"x"});
  ASSERT_EQ(bars_.sets.size(), 99u);
  for (int k = 1; k <= 99; ++k) EXPECT_EQ(bars_.sets[k - 1], std::make_pair('S', k));
}

TEST_F(NotifiedPricesTest, RewritesOnlyRecordsThatEndDifferent) {
  Index("123456", 812);
  Index("123457", 813);
  Run({"123456 00001.0000001.00", "123457 00001.0000001.00"});
  ClearCalls();
  Run({"123456 00001.0000001.00", "123457 00002.0000001.00"});
  EXPECT_EQ(WrittenRecords(data::kBaseP, N::kLength), (std::vector<int64_t>{813}));
}

TEST_F(NotifiedPricesTest, EmptyingTheListTruncatesIt) {
  fs_.SetFile(data::kNotified, "old list\r\n");
  channels_.OpenInput(1, data::kNotified);
  EmptyNotifiedPriceList(channels_);
  EXPECT_EQ(fs_.File(data::kNotified), "");
  EXPECT_FALSE(channels_.IsOpen(1));
  fs_.RemoveFile(data::kNotified);
  EmptyNotifiedPriceList(channels_);
  EXPECT_TRUE(fs_.FileExists(data::kNotified));
}

// Plain prices are read without formatting; every text must still give the bits that rounding
// its value to cents gives.
TEST(NotifiedPrice, EqualsTheValueRoundedToCents) {
  std::vector<std::string> texts = {
      "1.005", "0.125", "99999.99", "12 3.4",           "5.",  ".5", "", "   ", "1.2.3", "00000000", "2.675",
      "-1.25", "1E3",   "0.015",    "1234567890123456", "9E99"};
  std::mt19937 rng(11);
  const char alphabet[] = "0123456789 .-E5";
  for (int i = 0; i < 20000; ++i) {
    std::string text(rng() % 10, ' ');
    for (char& c : text) c = alphabet[rng() % (sizeof alphabet - 1)];
    texts.push_back(text);
  }
  for (const auto& text : texts) {
    const auto value = TryVal(text);
    const auto expected = value ? RoundToCents(*value) : std::nullopt;
    const auto got = NotifiedPrice(text);
    ASSERT_EQ(got.has_value(), expected.has_value()) << text;
    if (got) {
      ASSERT_EQ(std::bit_cast<uint32_t>(*got), std::bit_cast<uint32_t>(*expected)) << text;
    }
  }
}

}  // namespace
}  // namespace velmorin
