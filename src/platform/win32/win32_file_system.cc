// Win32FileSystem: CP1252 Windows paths straight onto the W APIs.
#include "platform/win32/win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <optional>

#include "common/cp1252.h"
#include "common/runtime_error.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_handle.h"

namespace velmorin::platform {
namespace {

// ReadFile/WriteFile take a DWORD length: large spans go in pieces.
constexpr size_t kMaxChunk = 1u << 30;

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

std::wstring FullPath(const std::wstring& path);

// The back-office program keeps these files open: share both ways, never lock.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool OnShare(const std::wstring& full_path) {
  if (full_path.rfind(L"\\\\", 0) == 0) return true;  // \\server\share
  if (full_path.size() < 2 || full_path[1] != L':') return false;
  const wchar_t root[] = {full_path[0], L':', L'\\', L'\0'};
  return ::GetDriveTypeW(root) == DRIVE_REMOTE;
}

class Win32RandomFile : public RandomFile {
 public:
  Win32RandomFile(UniqueHandle file, std::string name, std::wstring full_path, DWORD access)
      : file_(std::move(file)), name_(std::move(name)), full_path_(std::move(full_path)), access_(access) {}

  size_t ReadAt(uint64_t offset, std::span<char> out) override {
    size_t done = 0;
    while (done < out.size()) {
      const DWORD want = static_cast<DWORD>(std::min(out.size() - done, kMaxChunk));
      OVERLAPPED o = At(offset + done);
      DWORD got = 0;
      if (!::ReadFile(file_.get(), out.data() + done, want, &got, &o)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) break;
        FailLastError(err::kDeviceIoError, "read " + name_);
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  void WriteAt(uint64_t offset, std::span<const char> data) override {
    size_t done = 0;
    while (done < data.size()) {
      const DWORD want = static_cast<DWORD>(std::min(data.size() - done, kMaxChunk));
      OVERLAPPED o = At(offset + done);
      DWORD put = 0;
      if (!::WriteFile(file_.get(), data.data() + done, want, &put, &o))
        FailLastError(err::kDeviceIoError, "write " + name_);
      if (put == 0) FailWin32(ERROR_DISK_FULL, err::kDeviceIoError, "write " + name_);
      done += put;
    }
  }

  uint64_t Size() override {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file_.get(), &size)) FailLastError(err::kDeviceIoError, "size " + name_);
    return static_cast<uint64_t>(size.QuadPart);
  }

  bool Remote() override { return OnShare(full_path_); }

  std::unique_ptr<RandomFile> Reopen() override {
    UniqueHandle file(
        ::CreateFileW(full_path_.c_str(), access_, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32RandomFile>(std::move(file), name_, full_path_, access_);
  }

 private:
  UniqueHandle file_;
  std::string name_;
  std::wstring full_path_;  // the current folder may change while the file is open
  DWORD access_;
};

std::optional<DWORD> Attributes(const std::string& path) {
  const DWORD a = ::GetFileAttributesW(Wide(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return a;
}

bool IsFile(const std::string& path) {
  const auto a = Attributes(path);
  return a && (*a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::wstring& path) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  const DWORD written = ::GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(written);
  return full;
}

std::wstring CurrentDirectory() {
  const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring dir(n, L'\0');
  dir.resize(::GetCurrentDirectoryW(n, dir.data()));
  return dir;
}

wchar_t DriveOf(const std::wstring& full_path) {
  return full_path.size() >= 2 && full_path[1] == L':' ? static_cast<wchar_t>(std::towupper(full_path[0])) : L'\0';
}

// The per-drive current folder lives in the hidden variable "=X:", which both the
// C runtime and the path resolution of drive-relative names ("F:x") read.
void RememberFolder(wchar_t drive, const std::wstring& folder) {
  const wchar_t name[] = {L'=', drive, L':', L'\0'};
  ::SetEnvironmentVariableW(name, folder.c_str());
}

class Win32FileSystem : public FileSystem {
 public:
  std::unique_ptr<RandomFile> Open(const std::string& path, OpenMode mode) override {
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_ALWAYS;
    if (mode == OpenMode::kInput) {
      access = GENERIC_READ;
      disposition = OPEN_EXISTING;
    } else if (mode == OpenMode::kOutput || mode == OpenMode::kNew) {
      access = GENERIC_WRITE;
      disposition = mode == OpenMode::kNew ? CREATE_NEW : CREATE_ALWAYS;
    }
    std::wstring full = FullPath(Wide(path));
    UniqueHandle file(
        ::CreateFileW(full.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) FailLastError(err::kFileNotFound, "open " + path);
    return std::make_unique<Win32RandomFile>(std::move(file), path, std::move(full), access);
  }

  void MakeFolder(const std::string& path) override {
    if (!::CreateDirectoryW(Wide(path).c_str(), nullptr)) FailLastError(err::kPathNotFound, "mkdir " + path);
  }

  void DeleteFiles(const std::string& pattern) override {
    const size_t cut = pattern.find_last_of("\\/:");
    const std::string folder = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
    WIN32_FIND_DATAW found{};
    const UniqueFind search(
        ::FindFirstFileExW(Wide(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (!search) FailLastError(err::kFileNotFound, "kill " + pattern);
    bool any = false;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::string name = folder + Narrow(found.cFileName);
      if (!::DeleteFileW(Wide(name).c_str())) FailLastError(err::kFileNotFound, "kill " + name);
      any = true;
    } while (::FindNextFileW(search.get(), &found));
    if (!any) FailWin32(ERROR_FILE_NOT_FOUND, err::kFileNotFound, "kill " + pattern);
  }

  void ChangeDrive(const std::string& drive) override {
    const char letter = drive.empty() ? '\0' : UpperCp1252(drive[0]);
    if (letter < 'A' || letter > 'Z') throw RuntimeError(err::kDeviceUnavailable, "chdrive " + drive);
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    if (::GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR) throw RuntimeError(err::kDeviceUnavailable, "chdrive " + drive);
    RememberFolder(DriveOf(CurrentDirectory()), CurrentDirectory());
    // "X:" alone resolves to the drive's remembered folder; its root when that is gone.
    std::wstring target = FullPath(std::wstring(root, 2));
    if (!IsFolder(target)) target = root;
    if (!::SetCurrentDirectoryW(target.c_str())) FailLastError(err::kDeviceUnavailable, "chdrive " + drive);
  }

  void ChangeFolder(const std::string& path) override {
    const std::wstring full = FullPath(Wide(path));
    if (!IsFolder(full)) FailWin32(ERROR_PATH_NOT_FOUND, err::kPathNotFound, "chdir " + path);
    const wchar_t drive = DriveOf(full);
    // A folder on another drive becomes that drive's current folder; the drive stays.
    if (drive != DriveOf(CurrentDirectory())) {
      RememberFolder(drive, full);
      return;
    }
    if (!::SetCurrentDirectoryW(full.c_str())) FailLastError(err::kPathNotFound, "chdir " + path);
    RememberFolder(drive, full);
  }

  uint64_t FileLength(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      FailWin32(ERROR_FILE_NOT_FOUND, err::kFileNotFound, "filelen " + path);
    }
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  bool FileExists(const std::string& path) override { return IsFile(path); }

  void Rename(const std::string& from, const std::string& to) override {
    if (!IsFile(from)) FailWin32(ERROR_FILE_NOT_FOUND, err::kFileNotFound, "rename " + from);
    if (!::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      FailLastError(err::kPathNotFound, "rename " + from + " -> " + to);
    }
  }

  void RemoveFile(const std::string& path) override {
    if (!IsFile(path)) FailWin32(ERROR_FILE_NOT_FOUND, err::kFileNotFound, "kill " + path);
    if (!::DeleteFileW(Wide(path).c_str())) FailLastError(err::kFileNotFound, "kill " + path);
  }
};

}  // namespace

std::unique_ptr<FileSystem> MakeWin32FileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace velmorin::platform
