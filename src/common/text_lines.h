// Reading text input one line at a time, as the program's text files are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmorin {

// Where a LineReader gets its bytes: returns how many bytes it put into `buffer`, 0 at the end.
using ByteSource = std::function<size_t(std::span<char> buffer)>;

// A line ends at CR LF or at a CR alone; a line feed alone stays inside the line. The
// terminator is not part of the line; a last line without terminator is still read; an
// empty input has no lines. Lines are bytes (CP1252).
class LineReader {
 public:
  explicit LineReader(ByteSource source, size_t buffer_size = 64 * 1024);

  // The next line, or nothing at the end of the input.
  std::optional<std::string> Next();
  bool AtEnd();

 private:
  bool Fill();

  ByteSource source_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool exhausted_ = false;
};

// Reads lines from bytes in memory.
LineReader LinesOf(std::string_view bytes);
std::vector<std::string> SplitLines(std::string_view bytes);

}  // namespace velmorin
