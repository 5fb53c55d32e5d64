// MemoryDownloadFiles: temporary files and their put-in-place on MemoryFileSystem.
#include "support/memory_download_files.h"

namespace velmorin::test_support {

using platform::FileError;
using platform::FileResult;

namespace {

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

}  // namespace

class MemoryTemporaryFile : public platform::TemporaryFile {
 public:
  MemoryTemporaryFile(MemoryDownloadFiles& owner, std::string target, std::string name)
      : owner_(owner), target_(std::move(target)), name_(std::move(name)) {
    owner_.fs_.SetFile(name_, "");
    owner_.live_.insert(name_);
  }
  ~MemoryTemporaryFile() override {
    owner_.live_.erase(name_);
    if (!placed_) owner_.fs_.RemoveFile(name_);
  }

  FileResult Write(const char* data, size_t size) override {
    bytes_.append(data, size);
    return {};
  }
  FileResult Truncate() override {
    bytes_.clear();
    return {};
  }
  FileResult Flush() override {
    owner_.fs_.SetFile(name_, bytes_);
    return {};
  }
  FileResult Rename() override {
    Flush();
    if (owner_.fs_.HasFolder(target_)) return {FileError::kIsFolder, 0};
    if (owner_.fs_.FileExists(target_)) owner_.fs_.RemoveFile(target_);
    owner_.fs_.Rename(name_, target_);
    placed_ = true;
    return {};
  }
  bool TargetHeldOpen() override { return false; }
  int64_t TargetSize() override {
    return owner_.fs_.FileExists(target_) ? static_cast<int64_t>(owner_.fs_.FileLength(target_)) : -1;
  }
  int64_t FreeSpace() override { return -1; }
  FileResult CopyIntoTarget() override {
    owner_.fs_.SetFile(target_, bytes_);
    return {};
  }
  int64_t size() const override { return static_cast<int64_t>(bytes_.size()); }

 private:
  MemoryDownloadFiles& owner_;
  std::string target_;
  std::string name_;
  std::string bytes_;
  bool placed_ = false;
};

FileResult MemoryDownloadFiles::CheckTarget(const std::string& target) {
  if (!fs_.HasFolder(Folder(target))) return {FileError::kFolderMissing, 0};
  if (fs_.HasFolder(target)) return {FileError::kIsFolder, 0};
  return {};
}

void MemoryDownloadFiles::RemoveStaleTemporaries(const std::string& target) {
  const std::string prefix = target + platform::kTemporaryMark;
  for (const std::string& name : made_) {
    if (name.rfind(prefix, 0) == 0 && !live_.count(name) && fs_.FileExists(name)) fs_.RemoveFile(name);
  }
}

std::unique_ptr<platform::TemporaryFile> MemoryDownloadFiles::CreateTemporary(const std::string& target,
                                                                              FileResult& error) {
  error = CheckTarget(target);
  if (!error.ok()) return nullptr;
  const std::string name = target + platform::kTemporaryMark + std::to_string(++count_);
  made_.insert(name);
  return std::make_unique<MemoryTemporaryFile>(*this, target, name);
}

std::vector<std::string> MemoryDownloadFiles::Temporaries() const {
  std::vector<std::string> left;
  for (const std::string& name : made_) {
    if (fs_.FileExists(name)) left.push_back(name);
  }
  return left;
}

bool MemoryDownloadFiles::AnyNamed(const std::string& part) const {
  for (const std::string& name : made_) {
    if (name.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace velmorin::test_support
