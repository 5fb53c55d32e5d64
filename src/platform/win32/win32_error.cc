// Win32 error codes -> run-time error numbers; UTF-16 conversions; message texts.
#include "platform/win32/win32_error.h"

#include "common/cp1252.h"
#include "common/runtime_error.h"

namespace velmorin::platform {
namespace {

// ERROR_NO_SUCH_DEVICE, missing from mingw's winerror.h.
constexpr DWORD kNoSuchDevice = 433;

}  // namespace

int RuntimeErrorNumberFor(DWORD code, int not_found) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return not_found;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
    case kNoSuchDevice:  // a drive letter that is not mapped (Wine)
      return err::kPathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
    case ERROR_DIR_NOT_EMPTY: return err::kPathFileAccessError;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return err::kDiskFull;
    case ERROR_INVALID_DRIVE: return err::kDeviceUnavailable;
    case ERROR_NOT_READY: return err::kDiskNotReady;
    case ERROR_WRITE_PROTECT: return err::kPermissionDenied;
    case ERROR_TOO_MANY_OPEN_FILES: return err::kTooManyFiles;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return err::kOutOfMemory;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH: return err::kInvalidCall;
    default: return err::kDeviceIoError;
  }
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
