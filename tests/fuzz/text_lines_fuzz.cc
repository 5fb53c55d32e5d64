// Fuzzes the text-line reader: every buffer size, and a text file read through its channel,
// must give the lines a plain scan for CR LF and lone CR gives.
#include <string>
#include <vector>

#include "common/runtime_error.h"
#include "common/text_lines.h"
#include "convert/channels.h"
#include "fuzz/fuzz_support.h"
#include "support/memory_file_system.h"

namespace velmorin::fuzz {
namespace {

std::vector<std::string> ReferenceLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r') {
      line += bytes[i];
      continue;
    }
    lines.push_back(line);
    line.clear();
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> ReadAll(const std::string& bytes, size_t buffer_size) {
  size_t offset = 0;
  LineReader reader(
      [&](std::span<char> buffer) {
        const size_t n = std::min(buffer.size(), bytes.size() - offset);
        std::copy_n(bytes.data() + offset, n, buffer.data());
        offset += n;
        return n;
      },
      buffer_size);
  std::vector<std::string> lines;
  while (auto line = reader.Next()) lines.push_back(*line);
  Check(reader.AtEnd() && !reader.Next(), "the reader gave a line after its end");
  return lines;
}

// Through a channel, as the routines read their lists: LineInput past the last line is 62.
void CheckChannel(const std::string& bytes, const std::vector<std::string>& expected) {
  test_support::MemoryFileSystem fs;
  fs.SetFile("C:\\velmorin\\list.txt", bytes);
  Channels channels(fs);
  TextInput& input = channels.OpenInput(1, "\\velmorin\\list.txt");
  for (const auto& line : expected) {
    Check(!input.AtEnd(), "the channel ended before its last line");
    Check(input.LineInput() == line, "the channel read another line");
  }
  Check(input.AtEnd(), "the channel has lines after the last one");
  try {
    input.LineInput();
    Fail("reading past the end was not an error");
  } catch (const RuntimeError& e) {
    Check(e.number() == err::kInputPastEnd, "reading past the end was not error 62");
  }
  channels.CloseAll();
}

}  // namespace
}  // namespace velmorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmorin::fuzz;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const auto expected = ReferenceLines(bytes);
  for (const size_t buffer_size : {1, 2, 3, 7, 64 * 1024}) {
    FUZZ_CHECK(ReadAll(bytes, buffer_size) == expected, "lines differ with a buffer of " + std::to_string(buffer_size));
  }
  Check(velmorin::SplitLines(bytes) == expected, "SplitLines differs");
  CheckChannel(bytes, expected);
  return 0;
}
