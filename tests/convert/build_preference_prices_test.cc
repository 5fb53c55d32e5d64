#include "convert/build_preference_prices.h"

#include <gtest/gtest.h>

#include "conversion_fixture.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using PP = PreferencePriceRecord;
using S = SpecRecord;

std::string Spec(const std::string& code, const std::string& first, const std::string& second, const std::string& third,
                 const std::string& fourth) {
  std::string record(S::kLength, '|');
  SetText(record, S::kFirstValue, first);
  SetText(record, S::kSecondValue, second);
  SetText(record, S::kThirdValue, third);
  SetText(record, S::kFourthValue, fourth);
  SetText(record, S::kCode, code);
  return record;
}

class BuildPreferencePricesTest : public ConversionTest {
 protected:
  void Run(const std::string& espec) {
    fs_.SetFile(data::kEspec, espec);
    BuildPreferencePrices(channels_);
  }
  std::string Price(int64_t n) const { return Record(data::kPrecios, PP::kLength, n); }
  static std::string Expected(float a, float b, float c, float d, char mark) {
    std::string record(PP::kLength, mark);
    SetFloat32(record, PP::kFirstValue, a);
    SetFloat32(record, PP::kSecondValue, b);
    SetFloat32(record, PP::kThirdValue, c);
    SetFloat32(record, PP::kFourthValue, d);
    return record;
  }
};

TEST_F(BuildPreferencePricesTest, EachResolvedSpecSetsItsFourValues) {
  Index("654321", 812);
  Index("700002", 40);
  SetRecord(data::kPrecios, PP::kLength, 812, std::string(PP::kLength, 'm'));
  SetRecord(data::kPrecios, PP::kLength, 9, std::string(PP::kLength, 'm'));
  Run(Spec("654321", "1.5", " 12.5  ", "        ", "abc") + Spec("700002", "1", "2", "3", "4") +
      Spec("700002", "5", "6", "7", "-8E2"));
  EXPECT_EQ(Price(812), Expected(1.5f, 12.5f, 0, 0, ' '));
  EXPECT_EQ(Price(40), Expected(5, 6, 7, -800, ' '));  // the later record wins
  EXPECT_EQ(Price(9), Expected(0, 0, 0, 0, ' '));
  EXPECT_EQ(fs_.File(data::kPrecios).size(), 99999u * PP::kLength);
  ExpectAllClosed();
}

TEST_F(BuildPreferencePricesTest, ValuesAreRoundedToTheNearestSingle) {
  Index("654321", 1);
  Run(Spec("654321", "0.1", "1E-50", "16777217", "3.4E38"));
  EXPECT_EQ(Price(1), Expected(0.1f, 0.0f, 16777216.0f, 3.4E38f, ' '));
}

TEST_F(BuildPreferencePricesTest, OnlyWholeRecordsAreRead) {
  Index("654321", 1);
  Index("654322", 2);
  Run(Spec("654321", "1", "1", "1", "1") + Spec("654322", "2", "2", "2", "2").substr(0, 42));
  EXPECT_EQ(Price(1), Expected(1, 1, 1, 1, ' '));
  EXPECT_EQ(Price(2), Expected(0, 0, 0, 0, ' '));
}

TEST_F(BuildPreferencePricesTest, SpecsThatCannotBeStoredArePassedOver) {
  Index("654321", 1);
  Index("654322", 2);
  Index("500000", 3);
  Index(65432, 3, "9E10");
  Run(Spec("654321", "1", "9E99", "1", "1") + Spec("654322", "1", "1", "1", "1E999") +
      Spec("500000", "1", "1", "1", "1") + Spec("654323", "1", "1", "1", "1"));
  for (int64_t n : {1, 2, 3}) EXPECT_EQ(Price(n), Expected(0, 0, 0, 0, ' ')) << n;
}

TEST_F(BuildPreferencePricesTest, AMissingEspecIsCreatedAndEveryRecordIsZero) {
  SetRecord(data::kPrecios, PP::kLength, 100000, std::string(PP::kLength, 'm'));
  Index("654321", 100000);
  BuildPreferencePrices(channels_);
  EXPECT_TRUE(fs_.FileExists(data::kEspec));
  EXPECT_EQ(Price(5), Expected(0, 0, 0, 0, ' '));
  EXPECT_EQ(Price(100000), std::string(PP::kLength, 'm'));
  // A product beyond the cleared range keeps its mark.
  Run(Spec("654321", "1", "2", "3", "4"));
  EXPECT_EQ(Price(100000), Expected(1, 2, 3, 4, 'm'));
}

}  // namespace
}  // namespace velmorin
