// FindFault: the directives of the front relay, how they combine, and the path wildcards.
#include "faults.h"

#include <gtest/gtest.h>

namespace velmorin::test_server {
namespace {

bool Matches(const std::string& pattern, const std::string& path) {
  return FindFault(pattern + " status 404\n", "s", path).fault.has_value();
}

TEST(FindFault, RelayDirectivesCombineWithTheOthers) {
  const std::string text =
      "/r header-rate 1 redirect /final.txt extra-length 90 stall-after 5 60\n"
      "/q silence 2.5\n"
      "/now silence 0\n";
  const auto r = FindFault(text, "s", "/r").fault;
  ASSERT_TRUE(r);
  EXPECT_EQ(r->header_rate, 1);
  EXPECT_EQ(r->status, 302);
  EXPECT_EQ(r->redirect, "/final.txt");
  EXPECT_EQ(r->extra_length, 90);
  EXPECT_EQ(r->stall_after, 5);
  EXPECT_EQ(r->stall_s, 60);
  EXPECT_LT(r->silence_s, 0);
  EXPECT_EQ(FindFault(text, "s", "/q").fault->silence_s, 2.5);
  EXPECT_EQ(FindFault(text, "s", "/q").fault->header_rate, 0);
  EXPECT_EQ(FindFault(text, "s", "/now").fault->silence_s, 0);  // silent, unlike no rule
}

TEST(FindFault, MalformedRelayDirectivesAreReported) {
  EXPECT_EQ(FindFault("/a header-rate\n", "s", "/a").error, "faults line 1: missing value after header-rate");
  EXPECT_EQ(FindFault("\n/a silence soon\n", "s", "/a").error, "faults line 2: bad number after silence");
  EXPECT_EQ(FindFault("/a silence -1\n", "s", "/a").error, "faults line 1: bad number after silence");
}

TEST(FindFault, WildcardsMatchWholePaths) {
  EXPECT_TRUE(Matches("/exact.txt", "/exact.txt"));
  EXPECT_FALSE(Matches("/exact.txt", "/exact.txt2"));
  EXPECT_FALSE(Matches("/exact.txt", "/exact.tx"));
  EXPECT_TRUE(Matches("/docs/*", "/docs/a/b.txt"));  // '*' crosses folders
  EXPECT_TRUE(Matches("/docs/*", "/docs/"));
  EXPECT_FALSE(Matches("/docs/*", "/docs"));
  EXPECT_TRUE(Matches("/*.bin", "/a/big.bin"));
  EXPECT_TRUE(Matches("/?.txt", "/x.txt"));
  EXPECT_FALSE(Matches("/?.txt", "/.txt"));
  EXPECT_FALSE(Matches("/?.txt", "/xy.txt"));
  EXPECT_TRUE(Matches("/a*bc", "/abcbc"));  // the first "bc" is not the end
  EXPECT_FALSE(Matches("/a*bc", "/abcbd"));
  EXPECT_TRUE(Matches("/a*b*c", "/aXbYbZc"));
  EXPECT_TRUE(Matches("/**", "/"));
}

}  // namespace
}  // namespace velmorin::test_server
