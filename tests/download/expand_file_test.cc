// ExpandFile on the in-memory file system: whole streams replace the destination, faulty
// ones leave it as it was and leave no temporary file behind.
#include "download/expand_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "common/runtime_error.h"
#include "support/memory_file_system.h"

namespace velmorin {
namespace {

std::string Gzip(const std::string& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Varied but compressible bytes, larger than one read block.
std::string Payload(size_t size) {
  std::string s(size, '\0');
  uint32_t x = 12345;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245 + 12345;
    s[i] = static_cast<char>((x >> 16) % 16 + 'a');
  }
  return s;
}

constexpr char kSource[] = "C:\\dir\\tool.exe.F_C";
constexpr char kDestination[] = "C:\\dir\\tool.exe";

class ExpandFileTest : public testing::Test {
 protected:
  ExpandFileTest() { fs_.AddFolder("C:\\dir"); }
  bool NoTemporaryLeft() {
    try {
      fs_.DeleteFiles("C:\\dir\\tool.exe.part-*");
      return false;
    } catch (const RuntimeError&) {
      return true;  // none to delete
    }
  }
  test_support::MemoryFileSystem fs_;
};

TEST_F(ExpandFileTest, ExpandsAStreamLargerThanOneBlockOverAnOldFile) {
  const std::string payload = Payload(900 * 1024);
  fs_.SetFile(kSource, Gzip(payload));
  fs_.SetFile(kDestination, "old program");
  EXPECT_TRUE(ExpandFile(fs_, kSource, kDestination));
  EXPECT_EQ(fs_.File(kDestination), payload);
  EXPECT_EQ(fs_.File(kSource), Gzip(payload));
  EXPECT_TRUE(NoTemporaryLeft());
}

TEST_F(ExpandFileTest, ConcatenatedMembersExpandOneAfterTheOther) {
  fs_.SetFile(kSource, Gzip("first part, ") + Gzip("second part"));
  EXPECT_TRUE(ExpandFile(fs_, kSource, kDestination));
  EXPECT_EQ(fs_.File(kDestination), "first part, second part");
}

TEST_F(ExpandFileTest, AnEmptyMemberGivesAnEmptyFile) {
  fs_.SetFile(kSource, Gzip(""));
  EXPECT_TRUE(ExpandFile(fs_, kSource, kDestination));
  EXPECT_EQ(fs_.File(kDestination), "");
}

struct BadSource {
  const char* name;
  std::string bytes;
};

void PrintTo(const BadSource& b, std::ostream* os) { *os << b.name; }

class ExpandFileFaultTest : public ExpandFileTest, public testing::WithParamInterface<BadSource> {};

TEST_P(ExpandFileFaultTest, LeavesTheOldFileAndNoTemporary) {
  fs_.SetFile(kSource, GetParam().bytes);
  fs_.SetFile(kDestination, "old program");
  EXPECT_FALSE(ExpandFile(fs_, kSource, kDestination));
  EXPECT_EQ(fs_.File(kDestination), "old program");
  EXPECT_TRUE(NoTemporaryLeft());
}

std::string Corrupt(std::string gz) {
  gz[gz.size() / 2] ^= 0x55;
  return gz;
}

std::string BadCrc(std::string gz) {
  gz[gz.size() - 8] ^= 0x01;  // the CRC-32 of the trailer
  return gz;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ExpandFileFaultTest,
    testing::Values(BadSource{"Empty", ""}, BadSource{"PlainText", "MZ this is not gzip"},
                    BadSource{"Truncated", Gzip(Payload(300000)).substr(0, 5000)},
                    BadSource{"TrailerCut", Gzip("short program").substr(0, Gzip("short program").size() - 3)},
                    BadSource{"CorruptMiddle", Corrupt(Gzip(Payload(300000)))},
                    BadSource{"WrongChecksum", BadCrc(Gzip("checked program"))},
                    BadSource{"TrailingGarbage", Gzip("program") + "garbage"}),
    [](const testing::TestParamInfo<BadSource>& param_info) { return std::string(param_info.param.name); });

TEST_F(ExpandFileTest, AStreamExpandingToMoreThan64TimesItsSizeIsRefused) {
  fs_.SetFile(kSource, Gzip(std::string(1 << 20, '\0')));  // about a thousand times
  fs_.SetFile(kDestination, "old program");
  EXPECT_FALSE(ExpandFile(fs_, kSource, kDestination));
  EXPECT_EQ(fs_.File(kDestination), "old program");
  EXPECT_TRUE(NoTemporaryLeft());
}

TEST_F(ExpandFileTest, AMissingSourceCreatesNothing) {
  EXPECT_FALSE(ExpandFile(fs_, kSource, kDestination));
  EXPECT_FALSE(fs_.FileExists(kDestination));
  EXPECT_TRUE(NoTemporaryLeft());
}

TEST_F(ExpandFileTest, AMissingDestinationFolderFails) {
  fs_.SetFile(kSource, Gzip("program"));
  EXPECT_FALSE(ExpandFile(fs_, kSource, "C:\\nowhere\\tool.exe"));
}

}  // namespace
}  // namespace velmorin
