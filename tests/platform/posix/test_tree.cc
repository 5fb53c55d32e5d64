// DriveTree and the arj archive maker.
#include "test_tree.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace velmorin::test_support {
namespace fs = std::filesystem;

fs::path DriveTree::Write(const std::string& relative, const std::string& bytes, int mode) const {
  const fs::path p = drives_ / relative;
  fs::create_directories(p.parent_path());
  WriteFileBytes(p, bytes);
  ::chmod(p.c_str(), static_cast<mode_t>(mode));
  return p;
}

fs::path DriveTree::Folder(const std::string& relative) const {
  fs::create_directories(drives_ / relative);
  return drives_ / relative;
}

std::string DriveTree::Read(const std::string& relative) const { return ReadFileBytes(drives_ / relative); }

bool DriveTree::Exists(const std::string& relative) const { return fs::exists(drives_ / relative); }

int DriveTree::Mode(const std::string& relative) const {
  struct stat st {};
  if (::stat((drives_ / relative).c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

bool MakeArjArchive(const fs::path& archive, const std::initializer_list<std::pair<std::string, std::string>>& files) {
  if (std::system("command -v arj >/dev/null 2>&1") != 0) return false;
  TempDir source;
  std::string names;
  for (const auto& [name, bytes] : files) {
    source.Write(name, bytes);
    names += " " + name;
  }
  fs::create_directories(archive.parent_path());
  const std::string command =
      "cd '" + source.path().string() + "' && arj a '" + archive.string() + "'" + names + " </dev/null >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && fs::exists(archive);
}

bool WaitForFile(const fs::path& file, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!fs::exists(file)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace velmorin::test_support
