// Win32 error codes -> run-time error numbers; UTF-16 conversions; message texts.
#include "platform/win32/win32_error.h"

#include "common/cp1252.h"
#include "common/runtime_error.h"

namespace velmorin::platform {
namespace {

// The run-time error of a code that the call gives its own meaning (ERROR_FILE_NOT_FOUND).
constexpr int kCallsNotFound = 0;

struct Win32Kinds {
  DWORD code;
  int runtime_error;
  FileError file_error;
};

// A drive letter that is not there (ERROR_INVALID_DRIVE, kNoSuchDevice) is a path that is not
// there, to a file and to a download alike; ChDrive reports its own "device unavailable".
// A drive that is not ready is "disk not ready" to a file, and an error of the disk, with its
// code, to a download.
constexpr Win32Kinds kWin32Kinds[] = {
    {ERROR_FILE_NOT_FOUND, kCallsNotFound, FileError::kOther},
    {ERROR_PATH_NOT_FOUND, err::kPathNotFound, FileError::kFolderMissing},
    {ERROR_BAD_PATHNAME, err::kPathNotFound, FileError::kFolderMissing},
    {ERROR_INVALID_NAME, err::kPathNotFound, FileError::kOther},
    {ERROR_DIRECTORY, err::kPathNotFound, FileError::kFolderMissing},
    {ERROR_BAD_NETPATH, err::kPathNotFound, FileError::kFolderMissing},
    {ERROR_INVALID_DRIVE, err::kPathNotFound, FileError::kFolderMissing},
    {kNoSuchDevice, err::kPathNotFound, FileError::kFolderMissing},
    {ERROR_ACCESS_DENIED, err::kPathFileAccessError, FileError::kAccessDenied},
    {ERROR_SHARING_VIOLATION, err::kPathFileAccessError, FileError::kInUse},
    {ERROR_LOCK_VIOLATION, err::kPathFileAccessError, FileError::kInUse},
    {ERROR_USER_MAPPED_FILE, err::kPathFileAccessError, FileError::kInUse},
    {ERROR_ALREADY_EXISTS, err::kPathFileAccessError, FileError::kOther},
    {ERROR_FILE_EXISTS, err::kPathFileAccessError, FileError::kOther},
    {ERROR_DIR_NOT_EMPTY, err::kPathFileAccessError, FileError::kOther},
    {ERROR_DISK_FULL, err::kDiskFull, FileError::kDiskFull},
    {ERROR_HANDLE_DISK_FULL, err::kDiskFull, FileError::kDiskFull},
    {ERROR_NOT_READY, err::kDiskNotReady, FileError::kOther},
    {ERROR_WRITE_PROTECT, err::kPermissionDenied, FileError::kAccessDenied},
    {ERROR_TOO_MANY_OPEN_FILES, err::kTooManyFiles, FileError::kOther},
    {ERROR_NOT_ENOUGH_MEMORY, err::kOutOfMemory, FileError::kOther},
    {ERROR_OUTOFMEMORY, err::kOutOfMemory, FileError::kOther},
    {ERROR_BAD_EXE_FORMAT, err::kInvalidCall, FileError::kOther},
    {ERROR_EXE_MACHINE_TYPE_MISMATCH, err::kInvalidCall, FileError::kOther},
};
constexpr Win32Kinds kOtherCode = {0, err::kDeviceIoError, FileError::kOther};

const Win32Kinds& KindsOf(DWORD code) {
  for (const Win32Kinds& kinds : kWin32Kinds) {
    if (kinds.code == code) return kinds;
  }
  return kOtherCode;
}

}  // namespace

int RuntimeErrorNumberFor(DWORD code, int not_found) {
  const int number = KindsOf(code).runtime_error;
  return number == kCallsNotFound ? not_found : number;
}

FileResult FileResultFor(DWORD code) {
  if (code == ERROR_SUCCESS) return {};
  return {KindsOf(code).file_error, static_cast<long>(code)};
}

void FailWin32(DWORD code, int not_found, const std::string& what) {
  throw RuntimeError(RuntimeErrorNumberFor(code, not_found), what + " (Windows error " + std::to_string(code) + ")");
}

void FailLastError(int not_found, const std::string& what) { FailWin32(::GetLastError(), not_found, what); }

std::wstring Wide(std::string_view cp1252) {
  const std::u16string utf16 = Utf16FromCp1252(cp1252);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Narrow(std::wstring_view utf16) { return Cp1252FromUtf16(std::u16string(utf16.begin(), utf16.end())); }

std::string SystemMessage(DWORD code, HMODULE module) {
  const DWORD source = module != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
  wchar_t buffer[1024];
  const DWORD n = ::FormatMessageW(source | FORMAT_MESSAGE_IGNORE_INSERTS, module, code, 0, buffer,
                                   static_cast<DWORD>(std::size(buffer)), nullptr);
  std::wstring text(buffer, n);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  return Narrow(text);
}

}  // namespace velmorin::platform
