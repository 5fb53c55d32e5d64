// Field encodings of the record files: Text (ANSI, blank-padded), little-endian Float32.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace velmorin {

struct TextField {
  size_t offset;
  size_t width;
};

// Exactly `width` characters, trailing blanks included.
std::string GetText(std::span<const char> record, TextField field);
// The first `width` characters of value, padded on the right with blanks.
void SetText(std::span<char> record, TextField field, std::string_view value);
bool TextEquals(std::span<const char> record, TextField field, std::string_view value);

float GetFloat32(std::span<const char> record, size_t offset);
void SetFloat32(std::span<char> record, size_t offset, float value);

}  // namespace velmorin
