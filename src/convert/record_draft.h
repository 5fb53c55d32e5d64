// A record taken out of a cache to be changed and put back. It remembers which bytes were set
// through it, so that putting it back writes no other byte: the others belong to the
// back-office program, which may have written them since they were read, or to fields this
// routine leaves alone.
#pragma once

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "convert/fields.h"

namespace velmorin {

template <size_t N>
class RecordDraft {
 public:
  explicit RecordDraft(std::span<const char> record) { std::copy_n(record.begin(), N, bytes_.begin()); }

  std::span<const char, N> bytes() const { return bytes_; }
  std::span<const bool, N> set() const { return set_; }

  void SetText(TextField field, std::string_view value) {
    velmorin::SetText(bytes_, field, value);
    Mark(field.offset, field.width);
  }
  void SetFloat32(size_t offset, float value) {
    velmorin::SetFloat32(bytes_, offset, value);
    Mark(offset, 4);
  }
  void SetBytes(size_t offset, std::span<const char> value) {
    std::copy(value.begin(), value.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    Mark(offset, value.size());
  }

 private:
  void Mark(size_t offset, size_t width) {
    std::fill_n(set_.begin() + static_cast<std::ptrdiff_t>(offset), width, true);
  }

  std::array<char, N> bytes_;
  std::array<bool, N> set_{};
};

}  // namespace velmorin
