#include "convert/import_product_file.h"

#include <gtest/gtest.h>

#include "conversion_fixture.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using P = ProductRecord;
using D = ProductDetailRecord;
using L = LabGtRecord;
using C = CostRecord;

constexpr int64_t kProduct = 812;
const std::string kCode = "654321";

// A line with a different character at every position that is read.
std::string FullLine(size_t length = 80) {
  std::string line(length, '.');
  auto put = [&line](size_t position, const std::string& text) {
    for (size_t i = 0; i < text.size() && position - 1 + i < line.size(); ++i) line[position - 1 + i] = text[i];
  };
  put(1, kCode);
  put(7, "ABcdefGhijKLMNO");
  put(27, "00012.50V");
  put(36, "LAB01GT002");
  put(75, "nxm");
  return line;
}

class ImportProductFileTest : public ConversionTest {
 protected:
  ImportProductFileTest() {
    Index(kCode, kProduct);
    SetRecord(data::kBasey, P::kLength, kProduct, std::string(P::kLength, 'y'));
    SetRecord(data::kBasea, D::kLength, kProduct, std::string(D::kLength, 'a'));
    SetRecord(data::kLabGt, L::kSlotLength, kProduct, std::string(L::kSlotLength, 'q'));
    SetRecord(data::kCoste, C::kLength, kProduct, std::string(C::kLength, 'c'));
    SetField(data::kBasey, P::kLength, kProduct, P::kCode, kCode);
    SetField(data::kBasea, D::kLength, kProduct, D::kCode, kCode);
    SetField(data::kLabGt, L::kSlotLength, kProduct, L::kCode, kCode);
    SetField(data::kCoste, C::kLength, kProduct, C::kAmountLock, " ");
  }
  void Run(const std::vector<std::string>& lines, const std::string& suffix = "NA") {
    fs_.SetFile(data::kProductText, TextLines(lines));
    ImportProductFile(channels_, "", suffix);
  }
  std::string Product() const { return Record(data::kBasey, P::kLength, kProduct); }
  std::string Detail() const { return Record(data::kBasea, D::kLength, kProduct); }
  std::string Lab() const { return Record(data::kLabGt, L::kSlotLength, kProduct); }
};

TEST_F(ImportProductFileTest, AFullLineUpdatesEveryFieldItNames) {
  std::string product = Product();
  std::string detail = Detail();
  Run({FullLine()}, "NA");

  EXPECT_EQ(Lab(), kCode + "LAB01GT002q");
  SetText(detail, D::kCol7Code, "AB");
  SetText(detail, D::kCol9Flag, "c");
  SetText(detail, D::kCol10Flag, "d");
  SetText(detail, D::kCol11Flag, "e");
  SetText(detail, D::kCol12Flag, "f");
  SetText(detail, D::kCol13Flag, "G");
  SetText(detail, D::kCol14Flag, "h");
  SetText(detail, D::kAmountText, "00012.50");
  SetText(detail, D::kCol36Code, "LAB0");
  SetText(detail, D::kCol41Code, "GT0");
  EXPECT_EQ(Detail(), detail);
  SetText(product, P::kGenericMark, "EFG");
  SetText(product, P::kAmountText, "00012.50 ");
  SetText(product, P::kCol16Flag, "j");
  SetText(product, P::kCol17Code, "KLM");
  SetText(product, P::kCol20Code, "NO");
  SetText(product, P::kRegionFlag, "n");
  SetText(product, P::kVisadoMark, "V");
  EXPECT_EQ(Product(), product);
  ExpectAllClosed();
}

TEST_F(ImportProductFileTest, TheRegionSuffixPicksTheRegionFlagColumn) {
  const std::vector<std::tuple<std::string, size_t, std::string>> cases = {
      {"MA", 80, "m"}, {"NA", 80, "n"}, {"EX", 80, "x"}, {"CM", 80, "i"}, {"XY", 80, "y"},
      {"MA", 45, " "}, {"NA", 45, " "}, {"EX", 45, " "}, {"CM", 45, "i"},
  };
  for (const auto& [suffix, length, flag] : cases) {
    SetField(data::kBasey, P::kLength, kProduct, P::kRegionFlag, "y");
    Run({FullLine(length)}, suffix);
    EXPECT_EQ(GetText(Product(), P::kRegionFlag), flag) << suffix << " " << length;
  }
}

TEST_F(ImportProductFileTest, TheThreeCodeChecksAreIndependent) {
  struct Case {
    bool lab, detail, product;
  };
  for (const Case c :
       {Case{true, false, true}, Case{false, true, true}, Case{true, true, false}, Case{false, false, false}}) {
    SetRecord(data::kLabGt, L::kSlotLength, kProduct, std::string(L::kSlotLength, 'q'));
    SetRecord(data::kBasea, D::kLength, kProduct, std::string(D::kLength, 'a'));
    SetRecord(data::kBasey, P::kLength, kProduct, std::string(P::kLength, 'y'));
    SetField(data::kLabGt, L::kSlotLength, kProduct, L::kCode, c.lab ? kCode : "111111");
    SetField(data::kBasea, D::kLength, kProduct, D::kCode, c.detail ? kCode : "654320");
    SetField(data::kBasey, P::kLength, kProduct, P::kCode, c.product ? kCode : "654329");
    const std::string lab = Lab(), detail = Detail(), product = Product();
    Run({FullLine()});
    EXPECT_EQ(Lab() != lab, c.lab);
    EXPECT_EQ(Detail() != detail, c.detail);
    // basey follows only when basea matched too.
    EXPECT_EQ(Product() != product, c.detail && c.product);
  }
}

TEST_F(ImportProductFileTest, OnlyAnUpperCaseGSetsTheGenericMarkAndNothingClearsIt) {
  std::string line = FullLine();
  line[12] = 'g';
  Run({line});
  EXPECT_EQ(GetText(Product(), P::kGenericMark), "yyy");
  line[12] = 'G';
  Run({line});
  EXPECT_EQ(GetText(Product(), P::kGenericMark), "EFG");
  line[12] = 'N';
  Run({line});
  EXPECT_EQ(GetText(Product(), P::kGenericMark), "EFG");
}

TEST_F(ImportProductFileTest, TheAmountNeedsABlankLockAndAPositiveValue) {
  const std::vector<std::tuple<std::string, std::string, bool>> cases = {
      {" ", "00012.50", true},  {" ", "00000000", false}, {" ", "        ", false},
      {" ", "-0001.00", false}, {"X", "00012.50", false}, {std::string(1, '\0'), "00012.50", false},
      {" ", "  7     ", true},
  };
  for (const auto& [lock, amount, stored] : cases) {
    SetField(data::kCoste, C::kLength, kProduct, C::kAmountLock, lock);
    SetField(data::kBasea, D::kLength, kProduct, D::kAmountText, "old");
    SetField(data::kBasey, P::kLength, kProduct, P::kAmountText, "old");
    std::string line = FullLine();
    line.replace(26, 8, amount);
    Run({line});
    EXPECT_EQ(GetText(Detail(), D::kAmountText), stored ? amount : "old     ") << amount;
    EXPECT_EQ(GetText(Product(), P::kAmountText), stored ? amount + " " : "old      ") << amount;
    // The lock keeps the amounts only: the rest is updated.
    EXPECT_EQ(GetText(Product(), P::kVisadoMark), "V");
  }
}

TEST_F(ImportProductFileTest, ReadsTheTextFromTheDataDrive) {
  fs_.AddFolder("F:\\velmorin\\bases");
  fs_.SetFile("F:\\velmorin\\bases\\dolvek.txt", TextLines({FullLine()}));
  std::string stale = FullLine();
  stale[34] = 'S';
  fs_.SetFile(data::kProductText, TextLines({stale}));
  ImportProductFile(channels_, "F:", "NA");
  EXPECT_EQ(GetText(Product(), P::kVisadoMark), "V");
  // Without a prefix the text is on the current drive.
  ImportProductFile(channels_, "", "NA");
  EXPECT_EQ(GetText(Product(), P::kVisadoMark), "S");
}

TEST_F(ImportProductFileTest, AMissingTextIsError53WithEveryChannelClosed) {
  ClearCalls();
  EXPECT_EQ(ErrorNumberOf([&] { ImportProductFile(channels_, "", "NA"); }), err::kFileNotFound);
  ExpectAllClosed();
  EXPECT_TRUE(WrittenRecords(data::kBasey, P::kLength).empty());
}

TEST_F(ImportProductFileTest, LinesThatAddressNoRecordChangeNothing) {
  Index(12345, 1, "9E10");    // no file can hold that record
  Index(12345, 2, "9E9999");  // not even a number
  Index(12345, 3, "    -5");
  auto with_code = [](const std::string& code) { return code + FullLine().substr(6); };
  const std::string lab = Lab(), detail = Detail(), product = Product();
  ClearCalls();
  Run({"", "6543", with_code("123451"), with_code("123452"), with_code("123453"), with_code("000001"),
       with_code("ABCDE1"), with_code("999991")});
  EXPECT_EQ(Lab(), lab);
  EXPECT_EQ(Detail(), detail);
  EXPECT_EQ(Product(), product);
  EXPECT_TRUE(WrittenRecords(data::kBasey, P::kLength).empty());
  EXPECT_TRUE(WrittenRecords(data::kBasea, D::kLength).empty());
  EXPECT_TRUE(WrittenRecords(data::kLabGt, L::kSlotLength).empty());
  EXPECT_TRUE(WrittenRecords(data::kCoste, C::kLength).empty());
}

// LabGT is updated before the amount is ever looked at; an amount too large for a number then
// passes over the rest of its line, so neither basea nor basey is written.
TEST_F(ImportProductFileTest, AnAmountTooLargeForANumberStillLetsLabGtBeUpdated) {
  std::string overflow = FullLine();
  overflow.replace(26, 8, "1E999   ");
  const std::string detail = Detail(), product = Product();
  Run({overflow});
  EXPECT_EQ(Lab(), kCode + "LAB01GT002q");
  EXPECT_EQ(Detail(), detail);
  EXPECT_EQ(Product(), product);
}

}  // namespace
}  // namespace velmorin
