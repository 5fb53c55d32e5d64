#include "platform/posix/posix_download_files.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/posix/posix_error.h"

namespace velmorin::platform {
namespace {

namespace fs = std::filesystem;

constexpr off_t kWritebackStep = 8 * 1024 * 1024;

mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

class PosixTemporaryFile : public TemporaryFile {
 public:
  PosixTemporaryFile(int fd, std::string path, fs::path target, std::string windows_path)
      : fd_(fd), path_(std::move(path)), target_(std::move(target)), windows_path_(std::move(windows_path)) {}
  // The name goes first, while the lock still tells others the file is in use.
  ~PosixTemporaryFile() override {
    if (!path_.empty()) ::unlink(path_.c_str());
    ::close(fd_);
  }
  PosixTemporaryFile(const PosixTemporaryFile&) = delete;
  PosixTemporaryFile& operator=(const PosixTemporaryFile&) = delete;

  FileResult Write(const char* data, size_t size) override {
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return FileResultFor(n < 0 ? errno : ENOSPC);
      data += n;
      size -= static_cast<size_t>(n);
      written_ += n;
    }
    StartWriteback();
    return {};
  }

  FileResult Truncate() override {
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return FileResultFor(errno);
    written_ = flushed_ = 0;
    return {};
  }

  FileResult Flush() override { return FileResultFor(::fsync(fd_) == 0 ? 0 : errno); }

  FileResult Rename() override {
    if (::rename(path_.c_str(), target_.c_str()) != 0) return FileResultFor(errno);
    path_.clear();
    SyncFolder();
    return {};
  }

  // Linux lets a file in use be replaced: the other program keeps the old one.
  bool TargetHeldOpen() override { return false; }

  int64_t TargetSize() override {
    struct stat s {};
    return ::stat(target_.c_str(), &s) == 0 ? s.st_size : -1;
  }

  int64_t FreeSpace() override {
    struct statvfs v {};
    if (::statvfs(target_.parent_path().c_str(), &v) != 0) return -1;
    return static_cast<int64_t>(v.f_bavail) * static_cast<int64_t>(v.f_frsize);
  }

  FileResult CopyIntoTarget() override {
    const int out = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    if (out < 0) return FileResultFor(errno);
    int e = Copy(out);
    if (e == 0 && ::ftruncate(out, written_) != 0) e = errno;
    if (e == 0 && ::fsync(out) != 0) e = errno;
    ::close(out);
    return FileResultFor(e);
  }

  int64_t size() const override { return written_; }
  std::string Path() const override { return windows_path_; }

 private:
  int Copy(int out) const {
    std::vector<char> buffer(256 * 1024);
    for (off_t at = 0; at < written_;) {
      const ssize_t got = ::pread(fd_, buffer.data(), buffer.size(), at);
      if (got <= 0) return got < 0 ? errno : EIO;
      for (ssize_t put = 0; put < got;) {
        const ssize_t n = ::pwrite(out, buffer.data() + put, static_cast<size_t>(got - put), at + put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        put += n;
      }
      at += got;
    }
    return 0;
  }

  // Finished stretches start on their way to the disk while the transfer goes on, so that
  // the flush at the end has little left to wait for.
  void StartWriteback() {
    if (written_ - flushed_ < kWritebackStep) return;
    ::sync_file_range(fd_, flushed_, written_ - flushed_, SYNC_FILE_RANGE_WRITE);
    flushed_ = written_;
  }

  // The rename itself must survive a power cut too.
  void SyncFolder() const {
    const int dir = ::open(target_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
  }

  int fd_;
  std::string path_;  // empty once it has become the target
  fs::path target_;
  std::string windows_path_;
  off_t written_ = 0;
  off_t flushed_ = 0;
};

// Removes `path` unless a live transfer holds its lock; the lock and the name are checked to
// be the same file, so that a new file under that name is never taken for the old one. Only a
// regular file, opened without waiting and without following a link: a FIFO or a device
// planted under such a name must neither hold the run nor be touched.
void RemoveIfStale(const fs::path& path) {
  struct stat held {
  }, named{};
  if (::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return;
  if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
    ::unlink(path.c_str());
  }
  ::close(fd);
}

class PosixDownloadFiles : public DownloadFiles {
 public:
  explicit PosixDownloadFiles(PosixFileSystem& fs) : fs_(fs) {}

  FileResult CheckTarget(const std::string& target) override {
    const fs::path host = fs_.HostPath(target);
    std::error_code ec;
    if (!fs::is_directory(host.parent_path(), ec)) return {FileError::kFolderMissing, ENOENT};
    if (fs::is_directory(host, ec)) return {FileError::kIsFolder, EISDIR};
    return {};
  }

  void RemoveStaleTemporaries(const std::string& target) override {
    const fs::path host = fs_.HostPath(target);
    const std::string prefix = host.filename().string() + kTemporaryMark;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(host.parent_path(), ec)) {
      const std::string name = entry.path().filename().string();
      if (name.size() > prefix.size() && strncasecmp(name.c_str(), prefix.c_str(), prefix.size()) == 0) {
        RemoveIfStale(entry.path());
      }
    }
  }

  std::unique_ptr<TemporaryFile> CreateTemporary(const std::string& target, FileResult& error) override {
    const fs::path host = fs_.HostPath(target);
    std::string name = host.string() + kTemporaryMark + "XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      error = FileResultFor(errno);
      return nullptr;
    }
    // Another transfer cannot have it yet: the name is new.
    ::flock(fd, LOCK_EX | LOCK_NB);
    ::fchmod(fd, NewFileMode());
    std::string windows_path = target + name.substr(host.string().size());
    return std::make_unique<PosixTemporaryFile>(fd, std::move(name), host, std::move(windows_path));
  }

 private:
  PosixFileSystem& fs_;
};

}  // namespace

std::unique_ptr<DownloadFiles> MakePosixDownloadFiles(PosixFileSystem& fs) {
  return std::make_unique<PosixDownloadFiles>(fs);
}

}  // namespace velmorin::platform
