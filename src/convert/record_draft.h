// A record taken out of a cache to be changed and put back.
#pragma once

#include <algorithm>
#include <array>
#include <span>

namespace velmorin {

template <size_t N>
std::array<char, N> CopyRecord(std::span<const char> record) {
  std::array<char, N> copy;
  std::copy_n(record.begin(), N, copy.begin());
  return copy;
}

}  // namespace velmorin
