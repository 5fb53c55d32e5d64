// LineReader: CR LF / CR line ends over a buffered byte source.
#include "common/text_lines.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace velmorin {

LineReader::LineReader(ByteSource source, size_t buffer_size)
    : source_(std::move(source)), buffer_(std::max<size_t>(buffer_size, 1)) {}

bool LineReader::Fill() {
  if (pos_ < end_) return true;
  if (exhausted_) return false;
  pos_ = 0;
  end_ = source_(std::span<char>(buffer_.data(), buffer_.size()));
  if (end_ == 0) exhausted_ = true;
  return end_ > 0;
}

bool LineReader::AtEnd() { return !Fill(); }

std::optional<std::string> LineReader::Next() {
  if (!Fill()) return std::nullopt;
  std::string line;
  while (Fill()) {
    const char* start = buffer_.data() + pos_;
    const void* cr = std::memchr(start, '\r', end_ - pos_);
    if (cr == nullptr) {
      line.append(start, end_ - pos_);
      pos_ = end_;
      continue;
    }
    const auto length = static_cast<size_t>(static_cast<const char*>(cr) - start);
    line.append(start, length);
    pos_ += length + 1;
    if (Fill() && buffer_[pos_] == '\n') ++pos_;
    return line;
  }
  return line;
}

LineReader LinesOf(std::string_view bytes) {
  auto offset = std::make_shared<size_t>(0);
  return LineReader([bytes, offset](std::span<char> buffer) {
    const size_t n = std::min(buffer.size(), bytes.size() - *offset);
    std::memcpy(buffer.data(), bytes.data() + *offset, n);
    *offset += n;
    return n;
  });
}

std::vector<std::string> SplitLines(std::string_view bytes) {
  std::vector<std::string> lines;
  LineReader reader = LinesOf(bytes);
  while (auto line = reader.Next()) lines.push_back(std::move(*line));
  return lines;
}

}  // namespace velmorin
