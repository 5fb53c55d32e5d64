#include "convert/import_serialization_list.h"

#include <gtest/gtest.h>

#include "conversion_fixture.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using E = ProductExtRecord;

// A list line: flag, code, and the date written "2024-03-15" from position 105 on.
std::string Line(const std::string& flag, const std::string& code, size_t length = 120) {
  std::string line = flag + code;
  line.resize(104, '.');
  line += "2024-03-15 trailing text";
  line.resize(length, '.');
  return line;
}

class ImportSerializationListTest : public ConversionTest {
 protected:
  std::string Date(int64_t n) const { return Field(data::kBaseext, E::kLength, n, E::kSerializationDate); }
  std::string Flag(int64_t n) const { return Field(data::kBaseext, E::kLength, n, E::kSerializationFlag); }
  void Run(const std::vector<std::string>& lines) {
    fs_.SetFile(data::kSerialization, TextLines(lines));
    ImportSerializationList(channels_);
  }
};

TEST_F(ImportSerializationListTest, ListedProductsGetFlagAndDateAllOthersAreCleared) {
  Index("654321", 812);
  Index("700002", 40);
  Index("500000", 41);
  SetRecord(data::kBaseext, E::kLength, 7, std::string(E::kLength, 'x'));
  SetRecord(data::kBaseext, E::kLength, 41, std::string(E::kLength, 'x'));
  SetRecord(data::kBaseext, E::kLength, 100001, std::string(E::kLength, 'x'));
  Run({Line("1", "654321"), Line("2", "700002"), Line("3", "700002"), Line("4", "500000")});
  EXPECT_EQ(Date(812), "20240315");
  EXPECT_EQ(Flag(812), "1");
  EXPECT_EQ(Flag(40), "3");  // the later line wins
  std::string cleared(E::kLength, 'x');
  SetText(cleared, E::kSerializationDate, "");
  SetText(cleared, E::kSerializationFlag, "0");
  EXPECT_EQ(Record(data::kBaseext, E::kLength, 7), cleared);
  EXPECT_EQ(Record(data::kBaseext, E::kLength, 41), cleared);  // 500000 is not looked up
  EXPECT_EQ(Record(data::kBaseext, E::kLength, 100001), std::string(E::kLength, 'x'));
  ExpectAllClosed();
}

TEST_F(ImportSerializationListTest, ShortLinesGiveBlanksForTheMissingDateCharacters) {
  Index("654321", 1);
  Index("654322", 2);
  Index("654323", 3);
  Index("654324", 4);
  Run({Line("A", "654321", 104), Line("B", "654322", 111), Line("C", "654323", 112), Line("D", "654324", 114)});
  EXPECT_EQ(Date(1), "        ");
  EXPECT_EQ(Flag(1), "A");
  EXPECT_EQ(Date(2), "202403  ");
  EXPECT_EQ(Date(3), "202403  ");
  EXPECT_EQ(Date(4), "20240315");
}

TEST_F(ImportSerializationListTest, EveryRecordOfThePassIsThereAfterwards) {
  Run({});
  EXPECT_EQ(fs_.File(data::kBaseext).size(), 99999u * E::kLength);
  std::string cleared(E::kLength, '\0');
  SetText(cleared, E::kSerializationDate, "");
  SetText(cleared, E::kSerializationFlag, "0");
  EXPECT_EQ(Record(data::kBaseext, E::kLength, 99999), cleared);
}

TEST_F(ImportSerializationListTest, RewritesOnlyRecordsThatEndDifferent) {
  Index("654321", 812);
  Index("654322", 813);
  Run({Line("1", "654321"), Line("1", "654322")});
  ClearCalls();
  Run({Line("1", "654321"), Line("2", "654322")});
  EXPECT_EQ(WrittenRecords(data::kBaseext, E::kLength), (std::vector<int64_t>{813}));
}

TEST_F(ImportSerializationListTest, AMissingListIsError53BeforeAnyRecordIsTouched) {
  Index("654321", 812);
  SetRecord(data::kBaseext, E::kLength, 812, std::string(E::kLength, 'x'));
  const std::string before = fs_.File(data::kBaseext);
  EXPECT_EQ(ErrorNumberOf([&] { ImportSerializationList(channels_); }), err::kFileNotFound);
  EXPECT_EQ(fs_.File(data::kBaseext), before);
  ExpectAllClosed();
}

TEST_F(ImportSerializationListTest, CodesWithoutAnAddressableProductArePassedOver) {
  Index(65432, 1, "9E10");
  Index(65432, 2, "1E999");
  Run({Line("1", "654321"), Line("1", "654322"), Line("1", "654325"), Line("1", "999999"), "1", ""});
  EXPECT_EQ(fs_.File(data::kBaseext).size(), 99999u * E::kLength);
}

}  // namespace
}  // namespace velmorin
