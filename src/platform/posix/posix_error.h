// Linux error codes (errno) turned into the program's error kinds, in one table, as
// win32_error.h does for Windows error codes: the run-time errors of the file system, the
// results of a download's files, and the connection errors of the transport.
#pragma once

#include <string>

#include "platform/download_files.h"
#include "platform/http_transport.h"

namespace velmorin::platform {

// The run-time error number for an errno value. `not_found` is what ENOENT means for the
// call (53 for a file, 76 for a folder).
int RuntimeErrorNumberFor(int errno_value, int not_found);
// What an errno value (0: none) means to a download's files.
FileResult FileResultFor(int errno_value);
// What an errno value means to a connection that could not be made.
TransportError ConnectErrorFor(int errno_value);

// Throws the RuntimeError for `errno_value`; `what` names the call and path for developers.
[[noreturn]] void FailErrno(int errno_value, int not_found, const std::string& what);
// FailErrno with errno.
[[noreturn]] void FailLastErrno(int not_found, const std::string& what);

}  // namespace velmorin::platform
