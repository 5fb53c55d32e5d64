#include "convert/product_keys.h"

#include <gtest/gtest.h>

#include "convert/records.h"
#include "support/memory_file_system.h"

namespace velmorin {
namespace {

using test_support::MemoryFileSystem;

class ProductLookupTest : public testing::Test {
 protected:
  ProductLookupTest() {
    fs_.AddFolder("C:\\velmorin\\quorra");
    file_ = std::make_unique<RecordFile>(fs_.Open("\\velmorin\\quorra\\basey", platform::OpenMode::kRandom), 128, 128,
                                         "basey");
  }
  void SetSlot(int64_t stem, int digit, const std::string& text) {
    std::string rec(128, ' ');
    file_->Read(stem, rec);
    SetText(rec, ProductRecord::IndexSlot(digit), text);
    file_->Write(stem, rec);
  }
  // The lookup as the routines make it, for a list of one code.
  std::optional<int64_t> Lookup(std::string_view code, CodeThreshold t = CodeThreshold::kNone) {
    RecordCache cache(*file_);
    return ResolveProducts(cache, {ListedCodeKey(code, t)})[0];
  }
  MemoryFileSystem fs_;
  std::unique_ptr<RecordFile> file_;
};

TEST_F(ProductLookupTest, WorkedExample) {
  SetSlot(65432, 1, " 12340");
  const std::string bytes = fs_.File("\\velmorin\\quorra\\basey");
  ASSERT_EQ(bytes.size(), 8375168u + 128);
  EXPECT_EQ(bytes.substr(8375180, 6), " 12340");
  EXPECT_EQ(Lookup("654321"), 12340);
  EXPECT_EQ(12339 * LabGtRecord::kSlotLength, 209763u);
}

TEST_F(ProductLookupTest, CodesWithoutAProduct) {
  SetSlot(65432, 1, " 12340");
  SetSlot(65432, 2, "     0");
  SetSlot(65432, 3, "  -5  ");
  SetSlot(65432, 4, "1E300 ");
  EXPECT_EQ(Lookup("654322"), std::nullopt);  // slot 0
  EXPECT_EQ(Lookup("654323"), std::nullopt);  // negative
  EXPECT_EQ(Lookup("654324"), std::nullopt);  // beyond any record file
  EXPECT_EQ(Lookup("654325"), std::nullopt);  // blank slot
  EXPECT_EQ(Lookup("123451"), std::nullopt);  // stem record beyond the end: zero bytes
  EXPECT_EQ(Lookup("000001"), std::nullopt);  // stem 0
  EXPECT_EQ(Lookup("ABCDE1"), std::nullopt);  // not numeric
  EXPECT_EQ(Lookup("9E9991"), std::nullopt);  // stem overflows a double
  EXPECT_EQ(Lookup(""), std::nullopt);
}

// The check digit is the code's last character: a code cut short still has one.
TEST_F(ProductLookupTest, TheCheckDigitIsTheLastCharacterAndOneThatIsNoDigitMeansSlotZero) {
  SetSlot(65432, 0, "    77");
  SetSlot(65432, 2, "    78");
  SetSlot(6543, 2, "    79");
  EXPECT_EQ(Lookup("65432X"), 77);
  EXPECT_EQ(Lookup("65432"), 78);
  EXPECT_EQ(Lookup("6543 2"), 79);
}

TEST_F(ProductLookupTest, ThresholdIgnoresCodesUpTo500000) {
  SetSlot(50000, 0, "    11");
  SetSlot(50000, 1, "    12");
  EXPECT_EQ(Lookup("500000"), 11);
  EXPECT_EQ(Lookup("500000", CodeThreshold::kAbove500000), std::nullopt);
  EXPECT_EQ(Lookup("500001", CodeThreshold::kAbove500000), 12);
}

TEST_F(ProductLookupTest, StemsRoundHalvesToEven) {
  SetSlot(2, 0, "     5");
  EXPECT_EQ(Lookup("2.5  0"), 5);  // stem 2.5 -> record 2
  EXPECT_EQ(Lookup("0.4  0"), std::nullopt);
}

}  // namespace
}  // namespace velmorin
