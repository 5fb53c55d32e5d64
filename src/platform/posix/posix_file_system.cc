// PosixFileSystem: drive map, case-insensitive resolution, shared files with pread/pwrite.
#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "common/cp1252.h"
#include "common/runtime_error.h"
#include "platform/posix/posix_error.h"

namespace velmorin::platform {
namespace fs = std::filesystem;
namespace {

[[noreturn]] void Fail(int number, const std::string& what) { throw RuntimeError(number, what); }

// File systems whose every call goes to another machine (statfs magic numbers).
bool OnShare(int fd) {
  struct statfs st {};
  if (::fstatfs(fd, &st) != 0) return false;
  switch (static_cast<uint32_t>(st.f_type)) {
    case 0x6969u:      // NFS
    case 0x517Bu:      // SMB
    case 0xFF534D42u:  // CIFS
    case 0xFE534D42u:  // SMB2
    case 0x65735546u:  // FUSE (sshfs and the like)
      return true;
    default: return false;
  }
}

class PosixRandomFile : public RandomFile {
 public:
  PosixRandomFile(int fd, std::string name, fs::path host, int flags)
      : fd_(fd), name_(std::move(name)), host_(std::move(host)), flags_(flags & ~(O_CREAT | O_TRUNC)) {}
  ~PosixRandomFile() override { ::close(fd_); }
  PosixRandomFile(const PosixRandomFile&) = delete;
  PosixRandomFile& operator=(const PosixRandomFile&) = delete;

  size_t ReadAt(uint64_t offset, std::span<char> out) override {
    size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) FailLastErrno(err::kDeviceIoError, "read " + name_);
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

  void WriteAt(uint64_t offset, std::span<const char> data) override {
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) FailErrno(n < 0 ? errno : ENOSPC, err::kDeviceIoError, "write " + name_);
      done += static_cast<size_t>(n);
    }
  }

  uint64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) FailLastErrno(err::kDeviceIoError, "stat " + name_);
    return static_cast<uint64_t>(st.st_size);
  }

  bool Remote() override { return OnShare(fd_); }

  std::unique_ptr<RandomFile> Reopen() override {
    const int fd = ::open(host_.c_str(), flags_);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixRandomFile>(fd, name_, host_, flags_);
  }

 private:
  int fd_;
  std::string name_;
  fs::path host_;
  int flags_;
};

std::vector<std::string> SplitParts(std::string_view path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool SameName(const std::string& host_utf8, const std::string& cp1252) {
  return UpperCp1252(Cp1252FromUtf8(host_utf8)) == UpperCp1252(cp1252);
}

// The entry of `folder` that matches `name` ignoring case, if any.
std::optional<std::string> FindEntry(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  if (fs::exists(folder / Utf8FromCp1252(name), ec)) return Utf8FromCp1252(name);
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string host_name = entry.path().filename().string();
    if (SameName(host_name, name)) return host_name;
  }
  return std::nullopt;
}

bool IsFolder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// A name the system cannot even look up (too long, say) is no file: never an exception.
bool IsFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

}  // namespace

PosixFileSystem::PosixFileSystem(fs::path drives_root) : root_(std::move(drives_root)) {}

PosixFileSystem::Resolved PosixFileSystem::Resolve(const std::string& windows_path) const {
  char drive = current_drive_;
  std::string_view rest = windows_path;
  if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
    drive = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
    rest.remove_prefix(2);
  }
  std::vector<std::string> parts;
  if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) {
    const auto it = current_folders_.find(drive);
    if (it != current_folders_.end()) parts = SplitParts(it->second);
  }
  for (auto& part : SplitParts(rest)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  Resolved r;
  r.host = root_ / std::string(1, drive);
  r.drive_exists = IsFolder(r.host);
  bool exists = r.drive_exists;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i + 1 == parts.size()) r.parent_exists = exists && IsFolder(r.host);
    const auto found = exists ? FindEntry(r.host, parts[i]) : std::nullopt;
    exists = found.has_value();
    r.host /= found ? *found : Utf8FromCp1252(parts[i]);
  }
  if (parts.empty()) r.parent_exists = r.drive_exists;
  return r;
}

fs::path PosixFileSystem::HostPath(const std::string& windows_path) const { return Resolve(windows_path).host; }

std::string PosixFileSystem::CurrentFolder() const {
  const auto it = current_folders_.find(current_drive_);
  return std::string(1, current_drive_) + ":" +
         (it == current_folders_.end() || it->second.empty() ? "\\" : it->second);
}

std::unique_ptr<RandomFile> PosixFileSystem::Open(const std::string& path, OpenMode mode) {
  const Resolved r = Resolve(path);
  if (!r.parent_exists) Fail(err::kPathNotFound, "open " + path);
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kRandom: flags |= O_RDWR | O_CREAT; break;
    case OpenMode::kInput: flags |= O_RDONLY; break;
    case OpenMode::kOutput: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case OpenMode::kNew: flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW; break;
  }
  if (IsFolder(r.host)) Fail(err::kPathFileAccessError, "open " + path);
  const int fd = ::open(r.host.c_str(), flags, 0666);
  if (fd < 0) FailLastErrno(err::kFileNotFound, "open " + path);
  return std::make_unique<PosixRandomFile>(fd, path, r.host, flags);
}

void PosixFileSystem::MakeFolder(const std::string& path) {
  const Resolved r = Resolve(path);
  if (!r.parent_exists) Fail(err::kPathNotFound, "mkdir " + path);
  if (::mkdir(r.host.c_str(), 0777) != 0) FailLastErrno(err::kPathNotFound, "mkdir " + path);
}

void PosixFileSystem::DeleteFiles(const std::string& pattern) {
  const size_t cut = pattern.find_last_of("\\/");
  const std::string folder = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
  const std::string mask = UpperCp1252(cut == std::string::npos ? pattern : pattern.substr(cut + 1));
  const fs::path host_folder = HostPath(folder.empty() ? "." : folder);
  if (!IsFolder(host_folder)) Fail(err::kPathNotFound, "kill " + pattern);
  // "*.*" matches every name on Windows, names without a period included.
  const std::string glob = mask == "*.*" ? "*" : mask;
  bool any = false;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(host_folder, ec)) {
    if (!entry.is_regular_file(ec) && !entry.is_symlink(ec)) continue;
    const std::string name = UpperCp1252(Cp1252FromUtf8(entry.path().filename().string()));
    if (::fnmatch(glob.c_str(), name.c_str(), 0) != 0) continue;
    if (::unlink(entry.path().c_str()) != 0) FailLastErrno(err::kFileNotFound, "kill " + pattern);
    any = true;
  }
  if (!any) Fail(err::kFileNotFound, "kill " + pattern);
}

void PosixFileSystem::ChangeDrive(const std::string& drive) {
  const char letter = drive.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
  if (letter < 'A' || letter > 'Z' || !IsFolder(root_ / std::string(1, letter))) {
    Fail(err::kDeviceUnavailable, "chdrive " + drive);
  }
  current_drive_ = letter;
}

void PosixFileSystem::ChangeFolder(const std::string& path) {
  const Resolved r = Resolve(path);
  if (!IsFolder(r.host)) Fail(err::kPathNotFound, "chdir " + path);
  char drive = current_drive_;
  if (path.size() >= 2 && path[1] == ':') drive = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  const fs::path relative = r.host.lexically_relative(root_ / std::string(1, drive));
  std::string folder;
  for (const auto& part : relative) {
    if (part == ".") continue;
    folder += '\\';
    folder += Cp1252FromUtf8(part.string());
  }
  current_folders_[drive] = folder;
}

uint64_t PosixFileSystem::FileLength(const std::string& path) {
  const Resolved r = Resolve(path);
  struct stat st {};
  if (::stat(r.host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) Fail(err::kFileNotFound, "filelen " + path);
  return static_cast<uint64_t>(st.st_size);
}

bool PosixFileSystem::FileExists(const std::string& path) { return IsFile(Resolve(path).host); }

void PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  const fs::path source = HostPath(from);
  if (!IsFile(source)) Fail(err::kFileNotFound, "rename " + from);
  if (::rename(source.c_str(), HostPath(to).c_str()) != 0) FailLastErrno(err::kPathNotFound, "rename " + to);
}

void PosixFileSystem::RemoveFile(const std::string& path) {
  const fs::path host = HostPath(path);
  if (!IsFile(host)) Fail(err::kFileNotFound, "kill " + path);
  if (::unlink(host.c_str()) != 0) FailLastErrno(err::kFileNotFound, "kill " + path);
}

fs::path DrivesRoot(const Environment& env) {
  const std::string value = env.Get("VELMORIN_DRIVES");
  return fs::absolute(value.empty() ? "drives" : value);
}

}  // namespace velmorin::platform
