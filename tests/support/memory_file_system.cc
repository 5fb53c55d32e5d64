// MemoryFileSystem: upper-cased Windows paths mapped to byte strings.
#include "support/memory_file_system.h"

#include <algorithm>
#include <cstring>

#include "common/cp1252.h"
#include "common/runtime_error.h"

namespace velmorin::test_support {
namespace {

// Files on a share are used from several threads at once: one lock serialises every call.
class MemoryFile : public platform::RandomFile {
 public:
  MemoryFile(std::shared_ptr<SharedBytes> bytes, std::string path, bool writable,
             std::shared_ptr<std::vector<IoCall>> calls, std::shared_ptr<std::mutex> lock, bool remote)
      : bytes_(std::move(bytes)),
        path_(std::move(path)),
        writable_(writable),
        calls_(std::move(calls)),
        lock_(std::move(lock)),
        remote_(remote) {}

  size_t ReadAt(uint64_t offset, std::span<char> out) override {
    std::lock_guard guard(*lock_);
    calls_->push_back({IoCall::kRead, path_, offset, out.size()});
    const std::string& bytes = bytes_->Read();
    if (offset >= bytes.size()) return 0;
    const size_t n = std::min<size_t>(out.size(), bytes.size() - offset);
    std::memcpy(out.data(), bytes.data() + offset, n);
    return n;
  }

  void WriteAt(uint64_t offset, std::span<const char> data) override {
    std::lock_guard guard(*lock_);
    if (!writable_) throw RuntimeError(err::kBadFileMode, path_);
    calls_->push_back({IoCall::kWrite, path_, offset, data.size()});
    std::string& bytes = bytes_->Write();
    if (bytes.size() < offset + data.size()) bytes.resize(offset + data.size(), '\0');
    std::memcpy(bytes.data() + offset, data.data(), data.size());
  }

  uint64_t Size() override {
    std::lock_guard guard(*lock_);
    return bytes_->Read().size();
  }

  bool Remote() override { return remote_; }

  std::unique_ptr<platform::RandomFile> Reopen() override {
    return std::make_unique<MemoryFile>(bytes_, path_, writable_, calls_, lock_, remote_);
  }

 private:
  std::shared_ptr<SharedBytes> bytes_;
  std::string path_;
  bool writable_;
  std::shared_ptr<std::vector<IoCall>> calls_;
  std::shared_ptr<std::mutex> lock_;
  bool remote_;
};

std::string Parent(const std::string& normalized) {
  const size_t cut = normalized.find_last_of('\\');
  return cut <= 2 ? normalized.substr(0, 3) : normalized.substr(0, cut);
}

bool Matches(std::string_view mask, std::string_view name) {
  if (mask.empty()) return name.empty();
  if (mask[0] == '*') {
    for (size_t i = 0; i <= name.size(); ++i) {
      if (Matches(mask.substr(1), name.substr(i))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  return (mask[0] == '?' || mask[0] == name[0]) && Matches(mask.substr(1), name.substr(1));
}

std::shared_ptr<SharedBytes> NoBytes() { return std::make_shared<SharedBytes>(std::string()); }

}  // namespace

SharedBytes::SharedBytes(std::string bytes) {
  auto own = std::make_shared<std::string>(std::move(bytes));
  own_ = own.get();
  view_ = std::move(own);
}

std::string& SharedBytes::Write() {
  if (own_ == nullptr || view_.use_count() > 1) {
    auto copy = std::make_shared<std::string>(*view_);
    own_ = copy.get();
    view_ = std::move(copy);
  }
  return *own_;
}

MemoryFileSystem::MemoryFileSystem()
    : calls_(std::make_shared<std::vector<IoCall>>()), lock_(std::make_shared<std::mutex>()) {
  folders_.insert("C:\\");
}

std::string MemoryFileSystem::Normalize(const std::string& path) const {
  char drive = drive_;
  std::string rest = path;
  if (rest.size() >= 2 && rest[1] == ':') {
    drive = UpperCp1252(rest[0]);
    rest = rest.substr(2);
  }
  std::vector<std::string> parts;
  auto split = [&parts](const std::string& text) {
    std::string part;
    for (char c : text + "\\") {
      if (c != '\\' && c != '/') {
        part += c;
        continue;
      }
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(UpperCp1252(part));
      }
      part.clear();
    }
  };
  if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) {
    const auto it = current_.find(drive);
    if (it != current_.end()) split(it->second);
  }
  split(rest);
  std::string out = std::string(1, drive) + ":";
  for (const auto& p : parts) out += "\\" + p;
  return parts.empty() ? out + "\\" : out;
}

std::unique_ptr<platform::RandomFile> MemoryFileSystem::Open(const std::string& path, platform::OpenMode mode) {
  const std::string key = Normalize(path);
  if (!HasFolder(Parent(key))) throw RuntimeError(err::kPathNotFound, path);
  if (folders_.count(key)) throw RuntimeError(err::kPathFileAccessError, path);
  auto it = files_.find(key);
  if (it != files_.end() && mode == platform::OpenMode::kNew) throw RuntimeError(err::kPathFileAccessError, path);
  if (it == files_.end()) {
    if (mode == platform::OpenMode::kInput) throw RuntimeError(err::kFileNotFound, path);
    it = files_.emplace(key, NoBytes()).first;
  }
  if (mode != platform::OpenMode::kInput && read_only_.count(key)) {
    throw RuntimeError(err::kPathFileAccessError, path);
  }
  if (mode == platform::OpenMode::kOutput) *it->second = SharedBytes(std::string());
  return std::make_unique<MemoryFile>(it->second, key, mode != platform::OpenMode::kInput, calls_, lock_, remote_);
}

void MemoryFileSystem::MakeFolder(const std::string& path) {
  const std::string key = Normalize(path);
  if (folders_.count(key) || files_.count(key)) throw RuntimeError(err::kPathFileAccessError, path);
  if (!HasFolder(Parent(key))) throw RuntimeError(err::kPathNotFound, path);
  folders_.insert(key);
}

void MemoryFileSystem::DeleteFiles(const std::string& pattern) {
  const std::string key = Normalize(pattern);
  const std::string folder = Parent(key);
  const std::string mask = key.substr(key.find_last_of('\\') + 1);
  if (!HasFolder(folder)) throw RuntimeError(err::kPathNotFound, pattern);
  bool any = false;
  for (auto it = files_.begin(); it != files_.end();) {
    const std::string name = it->first.substr(it->first.find_last_of('\\') + 1);
    const bool match = Parent(it->first) == folder && (mask == "*.*" || Matches(mask, name));
    it = match ? files_.erase(it) : std::next(it);
    any = any || match;
  }
  if (!any) throw RuntimeError(err::kFileNotFound, pattern);
}

void MemoryFileSystem::ChangeDrive(const std::string& drive) {
  const char letter = drive.empty() ? '\0' : UpperCp1252(drive[0]);
  if (!HasFolder(std::string(1, letter) + ":\\")) throw RuntimeError(err::kDeviceUnavailable, drive);
  drive_ = letter;
}

void MemoryFileSystem::ChangeFolder(const std::string& path) {
  const std::string key = Normalize(path);
  if (!HasFolder(key)) throw RuntimeError(err::kPathNotFound, path);
  current_[key[0]] = key.substr(2);
}

uint64_t MemoryFileSystem::FileLength(const std::string& path) {
  const auto it = files_.find(Normalize(path));
  if (it == files_.end()) throw RuntimeError(err::kFileNotFound, path);
  return it->second->Read().size();
}

bool MemoryFileSystem::FileExists(const std::string& path) { return files_.count(Normalize(path)) != 0; }

void MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  const auto it = files_.find(Normalize(from));
  if (it == files_.end()) throw RuntimeError(err::kFileNotFound, from);
  if (!HasFolder(Parent(Normalize(to)))) throw RuntimeError(err::kPathNotFound, to);
  auto bytes = it->second;
  files_.erase(it);
  files_[Normalize(to)] = bytes;
}

void MemoryFileSystem::RemoveFile(const std::string& path) {
  if (files_.erase(Normalize(path)) == 0) throw RuntimeError(err::kFileNotFound, path);
}

void MemoryFileSystem::SetFile(const std::string& path, std::string bytes) { Put(path, SharedBytes(std::move(bytes))); }

void MemoryFileSystem::SetFile(const std::string& path, std::shared_ptr<const std::string> bytes) {
  Put(path, SharedBytes(std::move(bytes)));
}

void MemoryFileSystem::Put(const std::string& path, SharedBytes bytes) {
  const std::string key = Normalize(path);
  AddFolder(Parent(key));
  std::lock_guard guard(*lock_);
  auto& slot = files_[key];
  if (!slot) slot = NoBytes();
  *slot = std::move(bytes);  // handles already open see the new bytes
}

std::string MemoryFileSystem::File(const std::string& path) const { return *Snapshot(path); }

std::shared_ptr<const std::string> MemoryFileSystem::Snapshot(const std::string& path) const {
  const auto it = files_.find(Normalize(path));
  if (it == files_.end()) return std::make_shared<const std::string>();
  std::lock_guard guard(*lock_);  // a writer checks for sharing under it
  return it->second->view();
}

bool MemoryFileSystem::HasFolder(const std::string& path) const { return folders_.count(Normalize(path)) != 0; }

void MemoryFileSystem::AddFolder(const std::string& path) {
  std::string key = Normalize(path);
  while (true) {
    folders_.insert(key);
    const std::string parent = Parent(key);
    if (parent == key) break;
    key = parent;
  }
}

void MemoryFileSystem::SetReadOnly(const std::string& path) { read_only_.insert(Normalize(path)); }

}  // namespace velmorin::test_support
