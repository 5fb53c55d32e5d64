// A drive tree in a temporary folder, with helpers for the stand-in and process tests.
#pragma once

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace velmorin::test_support {

class DriveTree {
 public:
  const std::filesystem::path& drives() const { return drives_; }
  // Writes a file under the drive root ("F/velmorin/x") with a file mode.
  std::filesystem::path Write(const std::string& relative, const std::string& bytes, int mode = 0644) const;
  std::filesystem::path Folder(const std::string& relative) const;
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  int Mode(const std::string& relative) const;

 private:
  TempDir dir_;
  std::filesystem::path drives_ = dir_.path() / "drives";
};

// Builds a real arj archive holding `files` (name, bytes); false when arj is missing.
bool MakeArjArchive(const std::filesystem::path& archive,
                    const std::initializer_list<std::pair<std::string, std::string>>& files);

// Waits up to `seconds` for a file to appear.
bool WaitForFile(const std::filesystem::path& file, double seconds);

}  // namespace velmorin::test_support
