#include "convert/import_visado_list.h"

#include <gtest/gtest.h>

#include "conversion_fixture.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using P = ProductRecord;

class ImportVisadoListTest : public ConversionTest {
 protected:
  std::string Mark(int64_t n) const { return Field(data::kBasey, P::kLength, n, P::kVisadoMark); }
  void SetMark(int64_t n, const std::string& mark) { SetField(data::kBasey, P::kLength, n, P::kVisadoMark, mark); }
  void Run(const std::vector<std::string>& lines) {
    fs_.SetFile(data::kVisado, TextLines(lines));
    ImportVisadoList(channels_);
  }
};

TEST_F(ImportVisadoListTest, ExactlyTheListedProductsEndWithTheMark) {
  Index("654321", 812);
  Index("700002", 40);
  Index("500001", 41);
  Index("500000", 42);
  SetMark(812, "7");  // listed again: keeps its mark
  SetMark(900, "7");  // no longer listed
  SetMark(901, "A");  // another mark survives the clearing
  SetMark(99999, "7");
  SetMark(100000, "7");  // beyond the cleared range
  Run({"654321 anything after the code", "700002", "700002", "500001", "500000", "654329", "12"});
  EXPECT_EQ(Mark(812), "7");
  EXPECT_EQ(Mark(40), "7");
  EXPECT_EQ(Mark(41), "7");
  EXPECT_EQ(Mark(42), std::string(1, '\0'));  // 500000 is not above the threshold
  EXPECT_EQ(Mark(900), " ");
  EXPECT_EQ(Mark(901), "A");
  EXPECT_EQ(Mark(99999), " ");
  EXPECT_EQ(Mark(100000), "7");
  ExpectAllClosed();
}

TEST_F(ImportVisadoListTest, RewritesOnlyRecordsWhoseMarkChanges) {
  Index("654321", 812);
  Index("654322", 813);
  SetMark(812, "7");
  SetMark(900, "7");
  SetRecord(data::kBasey, P::kLength, 2000, std::string(P::kLength, 'b'));
  const size_t size = fs_.File(data::kBasey).size();
  ClearCalls();
  Run({"654321", "654322"});
  EXPECT_EQ(WrittenRecords(data::kBasey, P::kLength), (std::vector<int64_t>{813, 900}));
  EXPECT_EQ(fs_.File(data::kBasey).size(), size);  // not extended by the pass
  EXPECT_FALSE(AnyCallTo(data::kBasea));
  EXPECT_TRUE(fs_.FileExists(data::kBasea));
}

TEST_F(ImportVisadoListTest, AnEmptyListLeavesNoMark) {
  SetMark(3, "7");
  SetMark(50000, "7");
  Run({});
  EXPECT_EQ(Mark(3), " ");
  EXPECT_EQ(Mark(50000), " ");
}

TEST_F(ImportVisadoListTest, AMissingListIsError53BeforeAnyMarkIsLost) {
  SetMark(3, "7");
  const std::string before = fs_.File(data::kBasey);
  EXPECT_EQ(ErrorNumberOf([&] { ImportVisadoList(channels_); }), err::kFileNotFound);
  EXPECT_EQ(fs_.File(data::kBasey), before);
  ExpectAllClosed();
}

TEST_F(ImportVisadoListTest, ProductsBeyondAnyRecordArePassedOver) {
  Index(65432, 1, "9E10");
  Index(65432, 2, "1E999");
  Index(65432, 3, "     0");
  SetMark(5, "7");
  Run({"654321", "654322", "654323", "9E9999"});
  EXPECT_EQ(Mark(5), " ");  // the list was read whole, the pass ran
  EXPECT_EQ(fs_.File(data::kBasey).size(), 65432u * P::kLength);
}

}  // namespace
}  // namespace velmorin
