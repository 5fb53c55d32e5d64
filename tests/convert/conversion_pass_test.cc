#include "convert/conversion_pass.h"

#include <gtest/gtest.h>

#include "conversion_fixture.h"
#include "convert/records.h"

namespace velmorin {
namespace {

class ConversionPassTest : public ConversionTest {
 protected:
  std::optional<int64_t> Lookup(std::string_view code, CodeThreshold threshold = CodeThreshold::kNone) {
    RecordFile file(fs_.Open(data::kBasey, platform::OpenMode::kRandom), ProductRecord::kLength,
                    ProductRecord::kLength, data::kBasey);
    RecordCache basey(file);
    return LookupListedCode(basey, code, threshold);
  }
};

TEST_F(ConversionPassTest, AListedCodeTakesItsCheckDigitFromItsLastCharacter) {
  Index(12345, 5, "    55");
  Index(12345, 0, "    50");
  Index(123, 3, "     3");
  Index(65432, 1, "   812");
  EXPECT_EQ(Lookup("654321"), 812);
  EXPECT_EQ(Lookup("12345"), 55);              // cut short: its fifth character is the check digit
  EXPECT_EQ(Lookup("123"), 3);
  EXPECT_EQ(Lookup(""), std::nullopt);
  EXPECT_EQ(Lookup("654321", CodeThreshold::kAbove500000), 812);
  EXPECT_EQ(Lookup("12345", CodeThreshold::kAbove500000), std::nullopt);
}

TEST_F(ConversionPassTest, AScopeClosesOnlyTheChannelsItOpened) {
  channels_.OpenRecords(7, data::kBasea, 62);
  fs_.SetFile(data::kBasey, "");
  EXPECT_EQ(ErrorNumberOf([&] {
              ChannelScope scope(channels_, {1, 6, 7});
              scope.Records(6, data::kBasey, ProductRecord::kLength);
              scope.Input(1, "\\missing.txt");
            }),
            err::kFileNotFound);
  EXPECT_FALSE(channels_.IsOpen(6));
  EXPECT_FALSE(channels_.IsOpen(1));
  EXPECT_TRUE(channels_.IsOpen(7));
}

}  // namespace
}  // namespace velmorin
