// An in-memory FileSystem that logs every read and write, for tests that must see how the
// code touches a file (which records were rewritten, how many calls a pass made).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace velmorin::test_support {

struct IoCall {
  enum Kind { kRead, kWrite } kind;
  std::string path;  // normalized
  uint64_t offset;
  size_t length;
};

// A file's bytes, shared until written: a snapshot or a file set from shared bytes costs no
// copy until one side changes it.
class SharedBytes {
 public:
  explicit SharedBytes(std::shared_ptr<const std::string> bytes) : view_(std::move(bytes)) {}
  explicit SharedBytes(std::string bytes);
  const std::string& Read() const { return *view_; }
  std::string& Write();
  const std::shared_ptr<const std::string>& view() const { return view_; }

 private:
  std::shared_ptr<const std::string> view_;
  std::string* own_ = nullptr;  // set while view_ holds bytes this object made
};

class MemoryFileSystem : public platform::FileSystem {
 public:
  MemoryFileSystem();

  std::unique_ptr<platform::RandomFile> Open(const std::string& path, platform::OpenMode mode) override;
  void MakeFolder(const std::string& path) override;
  void DeleteFiles(const std::string& pattern) override;
  void ChangeDrive(const std::string& drive) override;
  void ChangeFolder(const std::string& path) override;
  uint64_t FileLength(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;

  // Test access: paths are Windows paths, normalized the same way.
  void SetFile(const std::string& path, std::string bytes);
  // Shares `bytes` until either side writes.
  void SetFile(const std::string& path, std::shared_ptr<const std::string> bytes);
  std::string File(const std::string& path) const;
  // The file's bytes now, without copying them: later writes do not change what it returns.
  std::shared_ptr<const std::string> Snapshot(const std::string& path) const;
  bool HasFolder(const std::string& path) const;
  void AddFolder(const std::string& path);  // and its parents
  void SetReadOnly(const std::string& path);
  std::vector<IoCall>& calls() { return *calls_; }
  // Files opened from now on say they are on a share.
  void SetRemote(bool remote) { remote_ = remote; }
  std::string Normalize(const std::string& path) const;

 private:
  void Put(const std::string& path, SharedBytes bytes);

  std::map<std::string, std::shared_ptr<SharedBytes>> files_;
  std::set<std::string> folders_;
  std::set<std::string> read_only_;
  std::shared_ptr<std::vector<IoCall>> calls_;
  std::shared_ptr<std::mutex> lock_;
  bool remote_ = false;
  char drive_ = 'C';
  std::map<char, std::string> current_;
};

}  // namespace velmorin::test_support
