#include "common/text_lines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "common/text.h"

namespace velmorin {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

TEST(TextLines, LineEnds) {
  EXPECT_THAT(SplitLines(""), IsEmpty());
  EXPECT_THAT(SplitLines("a\r\nb\r\n"), ElementsAre("a", "b"));
  EXPECT_THAT(SplitLines("a\rb"), ElementsAre("a", "b"));    // lone CR, last line unterminated
  EXPECT_THAT(SplitLines("a\nb\r\n"), ElementsAre("a\nb"));  // LF alone stays in the line
  EXPECT_THAT(SplitLines("\r\n\r\n"), ElementsAre("", ""));
  EXPECT_THAT(SplitLines("a\r\r\nb"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitLines("\n"), ElementsAre("\n"));
  EXPECT_THAT(SplitLines(std::string("x\0y\r\n", 5)), ElementsAre(std::string("x\0y", 3)));
}

TEST(TextLines, CrLfSplitAcrossBuffersIsOneEnd) {
  const std::string bytes = "ab\r\ncd\r\nef";
  for (size_t buffer = 1; buffer <= 4; ++buffer) {
    size_t offset = 0;
    LineReader reader(
        [&](std::span<char> out) {
          const size_t n = std::min(out.size(), bytes.size() - offset);
          std::memcpy(out.data(), bytes.data() + offset, n);
          offset += n;
          return n;
        },
        buffer);
    std::vector<std::string> lines;
    while (auto line = reader.Next()) lines.push_back(*line);
    EXPECT_THAT(lines, ElementsAre("ab", "cd", "ef")) << "buffer " << buffer;
  }
}

TEST(TextLines, AtEndBeforeAndAfterTheLastLine) {
  LineReader reader = LinesOf("only");
  EXPECT_FALSE(reader.AtEnd());
  EXPECT_EQ(reader.Next(), "only");
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(reader.Next(), std::nullopt);
}

TEST(Substrings, NeverFailPastTheEnd) {
  EXPECT_EQ(Mid("123456 00012.50", 8, 8), "00012.50");
  EXPECT_EQ(Mid("abc", 3, 5), "c");
  EXPECT_EQ(Mid("abc", 4, 1), "");
  EXPECT_EQ(Mid("abc", 99), "");
  EXPECT_EQ(Mid("abc", 2), "bc");
  EXPECT_EQ(Left("abc", 5), "abc");
  EXPECT_EQ(Left("abc", 0), "");
  EXPECT_EQ(Right("abcdefgh", 3), "fgh");
  EXPECT_EQ(Right("ab", 8), "ab");
}

}  // namespace
}  // namespace velmorin
