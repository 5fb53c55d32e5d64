// What the run report says of a file a download put in place: what a technician compares with
// what the maker published.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace velmorin {

// "1234 bytes, SHA-256 9f86d081...", the size alone without a Sha256, or why it cannot be read.
std::string FileFacts(platform::Platform& platform, const std::string& path);

// Lower-case hexadecimal.
std::string Hex(const std::array<uint8_t, 32>& digest);

}  // namespace velmorin
