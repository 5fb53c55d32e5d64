// Plays the back-office program, which keeps writing its own fields of the record files while
// a routine runs: right after each read of such a file, and before the routine can write back
// what it read, it writes those fields of every record read through a handle of its own.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace velmorin {

class BackOfficeWriter : public platform::FileSystem {
 public:
  explicit BackOfficeWriter(platform::FileSystem& inner) : inner_(inner) {}

  std::unique_ptr<platform::RandomFile> Open(const std::string& path, platform::OpenMode mode) override;
  void MakeFolder(const std::string& path) override { inner_.MakeFolder(path); }
  void DeleteFiles(const std::string& pattern) override { inner_.DeleteFiles(pattern); }
  void ChangeDrive(const std::string& drive) override { inner_.ChangeDrive(drive); }
  void ChangeFolder(const std::string& path) override { inner_.ChangeFolder(path); }
  uint64_t FileLength(const std::string& path) override { return inner_.FileLength(path); }
  bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
  void Rename(const std::string& from, const std::string& to) override { inner_.Rename(from, to); }
  void RemoveFile(const std::string& path) override { inner_.RemoveFile(path); }

  // `file` (bytes of the record file at `path` after a run) as it is once the back-office
  // fields of the records this writer wrote hold what it wrote.
  std::string WithItsWrites(const std::string& path, std::string file) const;
  // Whether it wrote anything at all.
  bool Wrote() const;

  class File;

 private:
  void AfterRead(const std::string& path, uint64_t offset, size_t length);

  platform::FileSystem& inner_;
  mutable std::mutex mutex_;
  std::map<std::string, std::set<int64_t>> written_;  // records, by file name
};

}  // namespace velmorin
