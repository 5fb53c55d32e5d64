// Substrings by 1-based character position that never fail past the end of a text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmorin {

// Characters start..start+length-1 (1-based); fewer or none past the end.
std::string_view Mid(std::string_view text, int64_t start, int64_t length);
// Characters from start (1-based) to the end.
std::string_view Mid(std::string_view text, int64_t start);
std::string_view Left(std::string_view text, int64_t length);
std::string_view Right(std::string_view text, int64_t length);
bool Contains(std::string_view text, std::string_view part);

}  // namespace velmorin
