// Windows error codes turned into the program's error kinds, in one table (the run-time
// errors of the file system, the results of a download's files), and the text helpers that
// every Win32 file needs (CP1252 <-> UTF-16, system message texts).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/download_files.h"

namespace velmorin::platform {

// ERROR_NO_SUCH_DEVICE, missing from mingw's winerror.h: a drive letter that is not mapped
// (Wine).
inline constexpr DWORD kNoSuchDevice = 433;

// The run-time error number for a Win32 error code. `not_found` is what ERROR_FILE_NOT_FOUND
// means for the call (53 for a file, 76 for a folder).
int RuntimeErrorNumberFor(DWORD code, int not_found);
// What a Win32 error code (ERROR_SUCCESS: none) means to a download's files.
FileResult FileResultFor(DWORD code);

// Throws the RuntimeError for `code`; `what` names the call and path for developers.
[[noreturn]] void FailWin32(DWORD code, int not_found, const std::string& what);
// FailWin32 with GetLastError().
[[noreturn]] void FailLastError(int not_found, const std::string& what);

std::wstring Wide(std::string_view cp1252);
std::string Narrow(std::wstring_view utf16);

// The system's text for an error code, from `module`'s message table (nullptr: the
// system's own), without the trailing line break; empty when there is none.
std::string SystemMessage(DWORD code, HMODULE module = nullptr);

}  // namespace velmorin::platform
