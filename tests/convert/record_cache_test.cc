#include "convert/record_cache.h"

#include <gtest/gtest.h>

#include <random>

#include "support/memory_file_system.h"

namespace velmorin {
namespace {

using test_support::IoCall;
using test_support::MemoryFileSystem;

class RecordCacheTest : public testing::Test {
 protected:
  RecordFile Open(const std::string& path, size_t slot, size_t data = 0) {
    return RecordFile(fs_.Open(path, platform::OpenMode::kRandom), slot, data == 0 ? slot : data, path);
  }
  size_t Writes() const {
    size_t n = 0;
    for (const auto& c : fs_calls()) n += c.kind == IoCall::kWrite;
    return n;
  }
  const std::vector<IoCall>& fs_calls() const { return const_cast<MemoryFileSystem&>(fs_).calls(); }
  MemoryFileSystem fs_;
};

// The same random edits applied record by record and through the cache leave the same bytes.
TEST_F(RecordCacheTest, BlockWritesEqualRecordByRecordWrites) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    const size_t slot = 1 + rng() % 40;
    const size_t data = round % 4 == 0 ? slot - (slot > 1) : slot;
    std::string initial(rng() % 3000, '\0');
    for (char& c : initial) c = static_cast<char>(rng() % 4);
    fs_.SetFile("C:\\a", initial);
    fs_.SetFile("C:\\b", initial);
    RecordFile direct = Open("\\a", slot, data);
    RecordFile blocked = Open("\\b", slot, data);
    RecordCache cache(blocked, 1 + rng() % 16);
    std::string rec(slot, '\0');
    for (int edit = 0; edit < 200; ++edit) {
      const int64_t n = 1 + rng() % (initial.size() / slot + 20);
      direct.Read(n, rec);
      ASSERT_EQ(std::string(cache.Get(n).begin(), cache.Get(n).end()), rec) << "round " << round;
      if (rng() % 3 == 0) rec[rng() % slot] = static_cast<char>(rng() % 4);
      direct.Write(n, rec);
      cache.Put(n, rec);
    }
    cache.Flush();
    ASSERT_EQ(fs_.File("\\b"), fs_.File("\\a")) << "round " << round << " slot " << slot;
  }
}

TEST_F(RecordCacheTest, UnchangedRecordsAreNeverRewrittenAndRunsAreCoalesced) {
  fs_.SetFile("C:\\f", std::string(100 * 10, 'x'));
  RecordFile file = Open("\\f", 10);
  RecordCache cache(file, 32);
  for (int64_t n = 1; n <= 100; ++n) {
    std::string rec(cache.Get(n).begin(), cache.Get(n).end());
    if (n >= 40 && n <= 50) rec[0] = 'y';  // one run that straddles a block boundary
    if (n == 90) rec[9] = 'z';
    cache.Put(n, rec);
  }
  fs_.calls().clear();
  cache.Flush();
  // Whole records put: a run goes from the first changed byte to the last across the bytes set
  // between them, and no further.
  std::vector<std::pair<uint64_t, size_t>> writes;
  for (const auto& c : fs_.calls()) {
    if (c.kind == IoCall::kWrite) writes.emplace_back(c.offset, c.length);
  }
  EXPECT_EQ(writes, (std::vector<std::pair<uint64_t, size_t>>{{390, 101}, {899, 1}}));
}

TEST_F(RecordCacheTest, APassPastTheEndDoesNotExtendTheFile) {
  fs_.SetFile("C:\\f", std::string(5 * 8, 'x'));
  RecordFile file = Open("\\f", 8);
  RecordCache cache(file);
  for (int64_t n = 1; n <= 99999; ++n) (void)cache.Get(n);
  cache.Flush();
  EXPECT_EQ(fs_.FileLength("\\f"), 40u);
  EXPECT_EQ(Writes(), 0u);
}

TEST_F(RecordCacheTest, AZeroRecordPutPastTheEndStillExtendsTheFile) {
  fs_.SetFile("C:\\f", "");
  RecordFile file = Open("\\f", 8);
  RecordCache cache(file);
  cache.Put(3, std::string(8, '\0'));
  cache.Flush();
  EXPECT_EQ(fs_.File("\\f"), std::string(24, '\0'));
}

TEST_F(RecordCacheTest, ShortRecordsNeverWriteTheLastSlotTail) {
  fs_.SetFile("C:\\lab", std::string(17, 'q'));
  RecordFile file = Open("\\lab", 17, 16);
  RecordCache cache(file);
  cache.Put(2, std::string(17, 'B'));
  cache.Put(3, std::string(17, 'C'));
  cache.Flush();
  EXPECT_EQ(fs_.File("\\lab"), std::string(17, 'q') + std::string(16, 'B') + '\0' + std::string(16, 'C'));
}

// The byte after each LabGT record belongs to no record: the back-office program may write it
// between our read and our flush, and its byte must stay.
TEST_F(RecordCacheTest, AdjacentShortRecordsLeaveTheBytesBetweenThemAlone) {
  fs_.SetFile("C:\\lab", std::string(4 * 17, 'q'));
  RecordFile file = Open("\\lab", 17, 16);
  RecordCache cache(file);
  for (int64_t n = 1; n <= 4; ++n) (void)cache.Get(n);
  RecordFile other = Open("\\lab", 17);
  std::string slot(17, '\0');
  for (int64_t n = 1; n <= 4; ++n) {
    other.Read(n, slot);
    slot[16] = 'G';
    other.Write(n, slot);
  }
  for (int64_t n = 1; n <= 4; ++n) cache.Put(n, std::string(16, static_cast<char>('a' + n)) + 'x');
  cache.Flush();
  std::string expected;
  for (int n = 1; n <= 4; ++n) expected += std::string(16, static_cast<char>('a' + n)) + 'G';
  EXPECT_EQ(fs_.File("\\lab"), expected);
}

// Only the set bytes that changed are written: a run goes on across set bytes, from one record
// into the next, and stops at a byte not set (here the back-office program's 4 and 5).
TEST_F(RecordCacheTest, MaskedPutsWriteChangedSetBytesInRunsThatStopAtBytesNotSet) {
  fs_.SetFile("C:\\f", std::string(4 * 10, 'x'));
  RecordFile file = Open("\\f", 10);
  RecordCache cache(file);
  const bool set[10] = {true, true, true, true, false, false, true, true, true, true};
  const auto put = [&](int64_t n, std::initializer_list<size_t> changed) {
    std::string rec(cache.Get(n).begin(), cache.Get(n).end());
    for (const size_t at : changed) rec[at] = 'y';
    rec[4] = rec[5] = 'b';
    cache.Put(n, rec, set);
  };
  put(1, {2, 7});
  put(2, {1});
  put(3, {1, 2});
  put(4, {});
  fs_.calls().clear();
  cache.Flush();
  std::vector<std::pair<uint64_t, size_t>> writes;
  for (const auto& c : fs_.calls()) {
    if (c.kind == IoCall::kWrite) writes.emplace_back(c.offset, c.length);
  }
  EXPECT_EQ(writes, (std::vector<std::pair<uint64_t, size_t>>{{2, 1}, {7, 5}, {21, 2}}));
  EXPECT_EQ(fs_.File("\\f"),
            "xxyxxxxyxx"
            "xyxxxxxxxx"
            "xyyxxxxxxx"
            "xxxxxxxxxx");
}

}  // namespace
}  // namespace velmorin
