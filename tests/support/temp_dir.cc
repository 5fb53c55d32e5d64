// TempDir: a unique folder under the system's temporary folder.
#include "support/temp_dir.h"

#include <fstream>
#include <random>
#include <sstream>

namespace velmorin::test_support {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    path_ = fs::temp_directory_path() / ("velmorin-test-" + std::to_string(rd()));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path TempDir::Write(const std::string& relative, const std::string& bytes) const {
  const fs::path p = path_ / relative;
  fs::create_directories(p.parent_path());
  WriteFileBytes(p, bytes);
  return p;
}

std::string TempDir::Read(const std::string& relative) const { return ReadFileBytes(path_ / relative); }

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace velmorin::test_support
