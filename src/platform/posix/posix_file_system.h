// Windows paths on a Linux host: each drive letter is a folder under one root
// ($VELMORIN_DRIVES/C, .../F), and each path part matches an existing entry whatever its case.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "common/environment.h"
#include "platform/file_system.h"

namespace velmorin::platform {

class PosixFileSystem : public FileSystem {
 public:
  explicit PosixFileSystem(std::filesystem::path drives_root);

  std::unique_ptr<RandomFile> Open(const std::string& path, OpenMode mode) override;
  void MakeFolder(const std::string& path) override;
  void DeleteFiles(const std::string& pattern) override;
  void ChangeDrive(const std::string& drive) override;
  void ChangeFolder(const std::string& path) override;
  uint64_t FileLength(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;

  // The host path a Windows path names now: existing entries in their own spelling, new
  // ones as given. Used by the command-line stand-in and by tests.
  std::filesystem::path HostPath(const std::string& windows_path) const;
  // The current folder as a Windows path ("C:\velmorin\bdnet").
  std::string CurrentFolder() const;
  const std::filesystem::path& drives_root() const { return root_; }

 private:
  struct Resolved {
    std::filesystem::path host;
    bool parent_exists = false;
    bool drive_exists = false;
  };
  Resolved Resolve(const std::string& windows_path) const;

  std::filesystem::path root_;
  char current_drive_ = 'C';
  std::map<char, std::string> current_folders_;  // drive -> "\a\b" (empty: the root)
};

// The drive root from VELMORIN_DRIVES, or "drives" in the current folder.
std::filesystem::path DrivesRoot(const Environment& env);

}  // namespace velmorin::platform
