#include "convert/record_file.h"

#include <gtest/gtest.h>

#include "common/runtime_error.h"
#include "convert/channels.h"
#include "support/memory_file_system.h"

namespace velmorin {
namespace {

using test_support::MemoryFileSystem;

class RecordFileTest : public testing::Test {
 protected:
  RecordFile Open(const std::string& path, size_t slot, size_t data = 0) {
    return RecordFile(fs_.Open(path, platform::OpenMode::kRandom), slot, data == 0 ? slot : data, path);
  }
  MemoryFileSystem fs_;
};

TEST_F(RecordFileTest, MissingFileIsCreatedEmptyAndReadsZerosPastTheEnd) {
  fs_.AddFolder("C:\\velmorin\\quorra");
  RecordFile f = Open("\\velmorin\\quorra\\basey", 128);
  EXPECT_TRUE(fs_.FileExists("C:\\VELMORIN\\QUORRA\\BASEY"));
  std::string rec(128, 'x');
  f.Read(5, rec);
  EXPECT_EQ(rec, std::string(128, '\0'));
  EXPECT_EQ(f.Size(), 0u);
}

TEST_F(RecordFileTest, WriteExtendsAndLeavesNeverWrittenRecordsZero) {
  fs_.AddFolder("C:\\d");
  RecordFile f = Open("\\d\\f", 4);
  f.Write(3, std::string("abcd"));
  EXPECT_EQ(fs_.File("\\d\\f"), std::string(8, '\0') + "abcd");
  std::string rec(4, '\0');
  f.Read(3, rec);
  EXPECT_EQ(rec, "abcd");
}

TEST_F(RecordFileTest, PartialLastRecordReadsWithZeroTail) {
  fs_.SetFile("C:\\d\\f", "abcdef");
  RecordFile f = Open("\\d\\f", 4);
  std::string rec(4, 'x');
  f.Read(2, rec);
  EXPECT_EQ(rec, std::string("ef\0\0", 4));
}

TEST_F(RecordFileTest, ShortDataLengthNeverWritesTheSlotTail) {
  fs_.SetFile("C:\\d\\lab", std::string(17, '\x7F'));
  RecordFile f = Open("\\d\\lab", 17, 16);
  f.Write(1, std::string(17, 'A'));
  f.Write(2, std::string(17, 'B'));
  EXPECT_EQ(fs_.File("\\d\\lab"), std::string(16, 'A') + "\x7F" + std::string(16, 'B'));
}

TEST_F(RecordFileTest, BadRecordNumbersAreError63) {
  fs_.AddFolder("C:\\d");
  RecordFile f = Open("\\d\\f", 128);
  std::string rec(128, '\0');
  for (int64_t n : {int64_t{0}, int64_t{-1}, f.MaxRecord() + 1}) {
    try {
      f.Read(n, rec);
      FAIL() << n;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), 63);
    }
  }
  EXPECT_EQ(f.MaxRecord(), 16777215);
}

TEST(RecordNumber, RoundsHalvesToEvenAndRejectsWhatCannotAddressARecord) {
  EXPECT_EQ(RecordNumber(2.5, 128), 2);
  EXPECT_EQ(RecordNumber(3.5, 128), 4);
  EXPECT_EQ(RecordNumber(1.4, 128), 1);
  EXPECT_THROW(RecordNumber(0.5, 128), RuntimeError);
  EXPECT_THROW(RecordNumber(1e300, 128), RuntimeError);
  EXPECT_EQ(AddressableRecord(0.4, 128), std::nullopt);
  EXPECT_EQ(AddressableRecord(16777215, 128), 16777215);
  EXPECT_EQ(AddressableRecord(16777216, 128), std::nullopt);
}

}  // namespace
}  // namespace velmorin
