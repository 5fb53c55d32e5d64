// Linux error codes (errno) turned into the program's run-time errors, in one place, as
// win32_error.h does for Windows error codes.
#pragma once

#include <string>

namespace velmorin::platform {

// The run-time error number for an errno value. `not_found` is what ENOENT means for the
// call (53 for a file, 76 for a folder).
int RuntimeErrorNumberFor(int errno_value, int not_found);

// Throws the RuntimeError for `errno_value`; `what` names the call and path for developers.
[[noreturn]] void FailErrno(int errno_value, int not_found, const std::string& what);
// FailErrno with errno.
[[noreturn]] void FailLastErrno(int not_found, const std::string& what);

}  // namespace velmorin::platform
