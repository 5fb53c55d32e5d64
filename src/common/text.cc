// Substring helpers.
#include "common/text.h"

#include <algorithm>

namespace velmorin {

std::string_view Mid(std::string_view text, int64_t start, int64_t length) {
  if (start < 1 || length <= 0) return {};
  const auto from = static_cast<uint64_t>(start - 1);
  if (from >= text.size()) return {};
  return text.substr(from, static_cast<uint64_t>(length));
}

std::string_view Mid(std::string_view text, int64_t start) {
  return Mid(text, start, static_cast<int64_t>(text.size()));
}

std::string_view Left(std::string_view text, int64_t length) { return Mid(text, 1, length); }

std::string_view Right(std::string_view text, int64_t length) {
  if (length <= 0) return {};
  const auto n = std::min<uint64_t>(static_cast<uint64_t>(length), text.size());
  return text.substr(text.size() - n);
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace velmorin
