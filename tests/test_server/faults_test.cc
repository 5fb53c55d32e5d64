// FindFault: the path wildcards.
#include "faults.h"

#include <gtest/gtest.h>

namespace velmorin::test_server {
namespace {

bool Matches(const std::string& pattern, const std::string& path) {
  return FindFault(pattern + " status 404\n", "s", path).fault.has_value();
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
