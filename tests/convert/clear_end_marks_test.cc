#include "convert/clear_end_marks.h"

#include <gtest/gtest.h>

#include "conversion_fixture.h"
#include "convert/records.h"

namespace velmorin {
namespace {

using R = ProductRecord;

class ClearEndMarksTest : public ConversionTest {
 protected:
  std::string Mark(int64_t n) const { return Field(data::kBasey, R::kLength, n, R::kEndMarkText); }
  void SetMark(int64_t n, const std::string& mark) { SetField(data::kBasey, R::kLength, n, R::kEndMarkText, mark); }
};

TEST_F(ClearEndMarksTest, BlanksOnlyMarksThatBeginWithUpperCaseFin) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"-FIN de existencias.", true},
      {"-FIN", true},
      {"-FINAL", true},
      {"-fin de existencias", false},
      {" -FIN", false},
      {"-FI", false},
      {"FIN", false},
      {"--FIN", false},
  };
  std::string record(R::kLength, 'x');
  for (size_t i = 0; i < cases.size(); ++i) {
    SetRecord(data::kBasey, R::kLength, 10 + static_cast<int64_t>(i), record);
    SetMark(10 + static_cast<int64_t>(i), cases[i].first);
  }
  const std::string before = fs_.File(data::kBasey);
  ClearEndMarks(channels_, bars_);
  const std::string after = fs_.File(data::kBasey);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    const int64_t n = 10 + static_cast<int64_t>(i);
    std::string expected = before.substr(static_cast<size_t>(n - 1) * R::kLength, R::kLength);
    if (cases[i].second) SetText(expected, R::kEndMarkText, "");
    EXPECT_EQ(Record(data::kBasey, R::kLength, n), expected) << cases[i].first;
  }
}

TEST_F(ClearEndMarksTest, WritesOnlyTheRecordsItClearsAndNeverExtendsTheFile) {
  SetRecord(data::kBasey, R::kLength, 300, std::string(R::kLength, 'z'));
  SetMark(7, "-FIN");
  SetMark(8, "-FIN");
  SetMark(250, "-FIN x");
  const size_t size = fs_.File(data::kBasey).size();
  ClearCalls();
  ClearEndMarks(channels_, bars_);
  EXPECT_EQ(fs_.File(data::kBasey).size(), size);
  EXPECT_EQ(WrittenRecords(data::kBasey, R::kLength), (std::vector<int64_t>{7, 8, 250}));
  EXPECT_EQ(Mark(250), std::string(20, ' '));
  // basea is opened (so created) but neither read nor written.
  EXPECT_TRUE(fs_.FileExists(data::kBasea));
  EXPECT_FALSE(AnyCallTo(data::kBasea));
  ExpectAllClosed();
}

TEST_F(ClearEndMarksTest, MarksAbove99999AreLeftAlone) {
  SetMark(99999, "-FIN");
  SetMark(100000, "-FIN");
  ClearEndMarks(channels_, bars_);
  EXPECT_EQ(Mark(99999), std::string(20, ' '));
  EXPECT_EQ(Mark(100000), "-FIN" + std::string(16, ' '));
}

TEST_F(ClearEndMarksTest, MovesTheDialogBarThenTheStartUpBarEveryThousandRecords) {
  ClearEndMarks(channels_, bars_);
  ASSERT_EQ(bars_.sets.size(), 2u * 99);
  for (int k = 1; k <= 99; ++k) {
    EXPECT_EQ(bars_.sets[2 * (k - 1)], std::make_pair('D', k));
    EXPECT_EQ(bars_.sets[2 * (k - 1) + 1], std::make_pair('S', k));
  }
  EXPECT_EQ(fs_.File(data::kBasey), "");  // a missing basey is created and stays empty
}

TEST_F(ClearEndMarksTest, AFailureClosesTheChannels) {
  fs_.SetFile(data::kBasey, std::string(R::kLength, ' '));
  fs_.SetReadOnly(data::kBasey);
  EXPECT_EQ(ErrorNumberOf([&] { ClearEndMarks(channels_, bars_); }), err::kPathFileAccessError);
  ExpectAllClosed();
}

}  // namespace
}  // namespace velmorin
