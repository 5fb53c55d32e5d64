#include "download/file_facts.h"

#include <vector>

#include "common/runtime_error.h"

namespace velmorin {

std::string Hex(const std::array<uint8_t, 32>& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::string FileFacts(platform::Platform& platform, const std::string& path) {
  constexpr size_t kBlock = 256 * 1024;
  try {
    auto file = platform.fs.Open(path, platform::OpenMode::kInput);
    std::vector<char> block(kBlock);
    uint64_t size = 0;
    while (const size_t got = file->ReadAt(size, block)) {
      if (platform.sha256 != nullptr) platform.sha256->Update(std::span<const char>(block.data(), got));
      size += got;
    }
    const std::string bytes = std::to_string(size) + " bytes";
    return platform.sha256 == nullptr ? bytes : bytes + ", SHA-256 " + Hex(platform.sha256->Finish());
  } catch (const RuntimeError& e) {
    if (platform.sha256 != nullptr) platform.sha256->Finish();  // the next file starts afresh
    return "no se pudo leer (error " + std::to_string(e.number()) + ")";
  }
}

}  // namespace velmorin
