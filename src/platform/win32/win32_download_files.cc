#include "platform/win32/win32_download_files.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "platform/win32/win32_error.h"
#include "platform/win32/win32_handle.h"

namespace velmorin::platform {
namespace {

constexpr DWORD kCopyBuffer = 256 * 1024;

FileResult LastError() { return FileResultFor(::GetLastError()); }

std::wstring FolderOf(const std::wstring& path) {
  const size_t cut = path.find_last_of(L"\\/:");
  if (cut == std::wstring::npos) return L".";
  if (path[cut] == L':') return path.substr(0, cut + 1) + L"\\";
  return cut == 2 && path[1] == L':' ? path.substr(0, 3) : path.substr(0, cut);
}

// Six letters and digits that no other transfer of this or another process is likely to pick.
std::wstring RandomSuffix() {
  static std::atomic<unsigned> counter{0};
  unsigned long long x = ::GetTickCount64() * 0x9E3779B97F4A7C15ull ^
                         (::GetCurrentProcessId() * 0xBF58476D1CE4E5B9ull) ^ (++counter * 0x94D049BB133111EBull);
  x ^= x >> 31;
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::wstring suffix;
  for (int i = 0; i < 6; ++i, x /= 62) suffix += kDigits[x % 62];
  return suffix;
}

class Win32TemporaryFile : public TemporaryFile {
 public:
  Win32TemporaryFile(UniqueHandle file, std::wstring path, std::wstring target)
      : file_(std::move(file)), path_(std::move(path)), target_(std::move(target)) {}
  ~Win32TemporaryFile() override {
    file_.Reset();
    if (!renamed_) ::DeleteFileW(path_.c_str());
  }

  FileResult Write(const char* data, size_t size) override {
    while (size > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
      DWORD put = 0;
      if (!::WriteFile(file_.get(), data, chunk, &put, nullptr)) return LastError();
      if (put == 0) return FileResultFor(ERROR_DISK_FULL);
      data += put;
      size -= put;
      written_ += put;
    }
    return {};
  }

  FileResult Truncate() override {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_.get())) {
      return LastError();
    }
    written_ = 0;
    return {};
  }

  FileResult Flush() override { return ::FlushFileBuffers(file_.get()) ? FileResult{} : LastError(); }

  // Through the handle the body was written with, still open: nothing can delete or change
  // the file between the last write and the rename. A scanner holding the file makes the
  // rename fail for a while; the control tries again.
  FileResult Rename() override {
    const size_t bytes = target_.size() * sizeof(wchar_t);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(bytes);
    std::memcpy(info->FileName, target_.c_str(), bytes);
    if (!::SetFileInformationByHandle(file_.get(), FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) {
      return LastError();
    }
    renamed_ = true;
    file_.Reset();
    return {};
  }

  // Anyone holding the target with read, write or delete access refuses an exclusive open.
  bool TargetHeldOpen() override {
    UniqueHandle probe(::CreateFileW(target_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return !probe && ::GetLastError() == ERROR_SHARING_VIOLATION;
  }

  int64_t TargetSize() override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(target_.c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  }

  int64_t FreeSpace() override {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(FolderOf(target_).c_str(), &available, nullptr, nullptr)) return -1;
    return static_cast<int64_t>(available.QuadPart);
  }

  // Through a handle that shares everything, as the program holding the target does.
  FileResult CopyIntoTarget() override {
    file_.Reset();
    UniqueHandle source(
        ::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!source) return LastError();
    UniqueHandle target(::CreateFileW(target_.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    if (!target) return LastError();
    std::vector<char> buffer(kCopyBuffer);
    for (;;) {
      DWORD got = 0, put = 0;
      if (!::ReadFile(source.get(), buffer.data(), kCopyBuffer, &got, nullptr)) return LastError();
      if (got == 0) break;
      if (!::WriteFile(target.get(), buffer.data(), got, &put, nullptr)) return LastError();
      if (put != got) return FileResultFor(ERROR_DISK_FULL);
    }
    if (!::SetEndOfFile(target.get()) || !::FlushFileBuffers(target.get())) return LastError();
    return {};
  }

  int64_t size() const override { return written_; }
  std::string Path() const override { return Narrow(path_); }

 private:
  UniqueHandle file_;
  std::wstring path_;
  std::wstring target_;
  int64_t written_ = 0;
  bool renamed_ = false;
};

class Win32DownloadFiles : public DownloadFiles {
 public:
  FileResult CheckTarget(const std::string& target) override {
    const std::wstring path = Wide(target);
    const DWORD folder = ::GetFileAttributesW(FolderOf(path).c_str());
    if (folder == INVALID_FILE_ATTRIBUTES || (folder & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return {FileError::kFolderMissing, static_cast<long>(::GetLastError())};
    }
    const DWORD self = ::GetFileAttributesW(path.c_str());
    if (self != INVALID_FILE_ATTRIBUTES && (self & FILE_ATTRIBUTE_DIRECTORY) != 0) return {FileError::kIsFolder, 0};
    return {};
  }

  // A live transfer's file refuses deletion (no delete sharing); a stale one goes. Only plain
  // files: a link or a device planted under such a name is left alone.
  void RemoveStaleTemporaries(const std::string& target) override {
    const std::wstring path = Wide(target);
    const size_t cut = path.find_last_of(L"\\/:");
    const std::wstring prefix = cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
    WIN32_FIND_DATAW found{};
    UniqueFind find(::FindFirstFileW((path + Wide(kTemporaryMark) + L"*").c_str(), &found));
    if (!find) return;
    do {
      constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
      if ((found.dwFileAttributes & kNotPlain) == 0) ::DeleteFileW((prefix + found.cFileName).c_str());
    } while (::FindNextFileW(find.get(), &found));
  }

  std::unique_ptr<TemporaryFile> CreateTemporary(const std::string& target, FileResult& error) override {
    const std::wstring path = Wide(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::wstring name = path + Wide(kTemporaryMark) + RandomSuffix();
      // DELETE access: the rename goes through this handle.
      UniqueHandle file(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      // A device's name ("COM1.txt.part-..." opens COM1 on older Windows) gives no file on a disk.
      if (file && ::GetFileType(file.get()) != FILE_TYPE_DISK) {
        error = {FileError::kAccessDenied, ERROR_BAD_DEVICE};
        return nullptr;
      }
      if (file) return std::make_unique<Win32TemporaryFile>(std::move(file), std::move(name), path);
      if (::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    error = LastError();
    return nullptr;
  }
};

}  // namespace

std::unique_ptr<DownloadFiles> MakeWin32DownloadFiles() { return std::make_unique<Win32DownloadFiles>(); }

}  // namespace velmorin::platform
