// Field helpers; Float32 bytes are assembled explicitly so the layout never depends on the host.
#include "convert/fields.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace velmorin {

std::string GetText(std::span<const char> record, TextField field) {
  return std::string(record.data() + field.offset, field.width);
}

void SetText(std::span<char> record, TextField field, std::string_view value) {
  const size_t n = std::min(value.size(), field.width);
  if (n > 0) std::memcpy(record.data() + field.offset, value.data(), n);  // an empty view may have no data
  std::memset(record.data() + field.offset + n, ' ', field.width - n);
}

bool TextEquals(std::span<const char> record, TextField field, std::string_view value) {
  return value.size() == field.width && std::memcmp(record.data() + field.offset, value.data(), field.width) == 0;
}

float GetFloat32(std::span<const char> record, size_t offset) {
  uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(record[offset + i]);
  return std::bit_cast<float>(bits);
}

void SetFloat32(std::span<char> record, size_t offset, float value) {
  uint32_t bits = std::bit_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) {
    record[offset + i] = static_cast<char>(bits & 0xFF);
    bits >>= 8;
  }
}

}  // namespace velmorin
