#include "convert/product_keys.h"

#include <gtest/gtest.h>

#include "conversion_fixture.h"
#include "convert/channel_scope.h"
#include "convert/records.h"

namespace velmorin {
namespace {

class ProductKeysTest : public ConversionTest {
 protected:
  std::vector<std::optional<int64_t>> Resolve(const std::vector<std::optional<IndexKey>>& keys) {
    RecordFile file(fs_.Open(data::kBasey, platform::OpenMode::kRandom), ProductRecord::kLength, ProductRecord::kLength,
                    data::kBasey);
    RecordCache basey(file, 4);
    return ResolveProducts(basey, keys);
  }
  std::optional<int64_t> Lookup(std::string_view code, CodeThreshold threshold = CodeThreshold::kNone) {
    return Resolve({ListedCodeKey(code, threshold)})[0];
  }
};

TEST_F(ProductKeysTest, AListedCodeTakesItsCheckDigitFromItsLastCharacter) {
  Index(12345, 5, "    55");
  Index(12345, 0, "    50");
  Index(123, 3, "     3");
  Index(65432, 1, "   812");
  EXPECT_EQ(Lookup("654321"), 812);
  EXPECT_EQ(Lookup("12345"), 55);  // cut short: its fifth character is the check digit
  EXPECT_EQ(Lookup("123"), 3);
  EXPECT_EQ(Lookup(""), std::nullopt);
  EXPECT_EQ(Lookup("654321", CodeThreshold::kAbove500000), 812);
  EXPECT_EQ(Lookup("12345", CodeThreshold::kAbove500000), std::nullopt);
  // A line's code takes character 6 as the check digit, a blank there meaning slot 0.
  EXPECT_EQ(Resolve({LineCodeKey("12345")})[0], 50);
}

TEST_F(ProductKeysTest, KeysThatCanAddressNoRecordAreNothing) {
  for (const char* code : {"000001", "-12341", "9E9991", "1E99 1", "ABCDE1", "0.4  1"}) {
    EXPECT_EQ(ListedCodeKey(code, CodeThreshold::kNone).has_value(), false) << code;
  }
  const auto key = ListedCodeKey("2.5  7", CodeThreshold::kNone);  // halves go to even
  ASSERT_TRUE(key);
  EXPECT_EQ(key->stem, 2);
  EXPECT_EQ(key->digit, 7);
}

TEST_F(ProductKeysTest, ResolvingAListInOneSweepKeepsEachEntrysAnswer) {
  Index(99000, 1, "     7");
  Index(5, 2, "     8");
  Index(70000, 3, "  9E10");
  const auto products = Resolve({IndexKey{99000, 1}, std::nullopt, IndexKey{5, 2}, IndexKey{70000, 3}, IndexKey{5, 2},
                                 IndexKey{200000, 0}, IndexKey{99000, 1}});
  EXPECT_EQ(products, (std::vector<std::optional<int64_t>>{7, std::nullopt, 8, std::nullopt, 8, std::nullopt, 7}));
}

TEST_F(ProductKeysTest, AScopeClosesOnlyTheChannelsItOpened) {
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

// Releasing blocks behind a pass writes their changes and reloads them from the file when the
// pass comes back; the bytes are those of a cache that keeps everything.
TEST_F(ProductKeysTest, ReleasedBlocksWriteTheirChangesAndReloadFromTheFile) {
  fs_.SetFile("C:\\f", std::string(50 * 4, 'x'));
  fs_.SetFile("C:\\g", std::string(50 * 4, 'x'));
  RecordFile released(fs_.Open("\\f", platform::OpenMode::kRandom), 4, 4, "f");
  RecordFile kept(fs_.Open("\\g", platform::OpenMode::kRandom), 4, 4, "g");
  RecordCache a(released, 8), b(kept, 8);
  for (int64_t n : {3, 9, 17, 40, 5, 60, 61, 2, 33}) {
    a.Release(n);
    std::string record(a.Get(n).begin(), a.Get(n).end());
    ASSERT_EQ(record, std::string(b.Get(n).begin(), b.Get(n).end())) << n;
    record[n % 4] = static_cast<char>('a' + n % 26);
    a.Put(n, record);
    b.Put(n, record);
  }
  ClearCalls();
  a.Release(60);
  EXPECT_FALSE(WrittenRecords("C:\\f", 4).empty());  // blocks before record 57 were written
  a.Flush();
  b.Flush();
  EXPECT_EQ(fs_.File("C:\\f"), fs_.File("C:\\g"));
}

}  // namespace
}  // namespace velmorin
