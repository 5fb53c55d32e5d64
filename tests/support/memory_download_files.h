// The files of a download on the in-memory disk: the temporary file lives on that disk under
// its own name until it is put in place, so a test sees what a transfer left behind.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/download_files.h"
#include "support/memory_file_system.h"

namespace velmorin::test_support {

class MemoryDownloadFiles : public platform::DownloadFiles {
 public:
  explicit MemoryDownloadFiles(MemoryFileSystem& fs) : fs_(fs) {}

  platform::FileResult CheckTarget(const std::string& target) override;
  void RemoveStaleTemporaries(const std::string& target) override;
  std::unique_ptr<platform::TemporaryFile> CreateTemporary(const std::string& target,
                                                           platform::FileResult& error) override;

  // The temporary files still on the disk.
  std::vector<std::string> Temporaries() const;
  // Whether any temporary file made so far, so any target written, has `part` in its name.
  bool AnyNamed(const std::string& part) const;

 private:
  friend class MemoryTemporaryFile;
  MemoryFileSystem& fs_;
  std::set<std::string> made_;  // every temporary file's name
  std::set<std::string> live_;  // those a TemporaryFile still holds
  int count_ = 0;
};

}  // namespace velmorin::test_support
