// errno values -> run-time error numbers, download file results, connection errors.
#include "platform/posix/posix_error.h"

#include <cerrno>
#include <system_error>

#include "common/runtime_error.h"

namespace velmorin::platform {
namespace {

// The run-time error of an errno value that the call gives its own meaning (ENOENT).
constexpr int kCallsNotFound = 0;

struct ErrnoKinds {
  int code;
  int runtime_error;
  FileError file_error;
};

constexpr ErrnoKinds kErrnoKinds[] = {
    {ENOENT, kCallsNotFound, FileError::kFolderMissing},
    {ENOTDIR, err::kPathNotFound, FileError::kFolderMissing},
    {ENAMETOOLONG, err::kPathNotFound, FileError::kOther},
    {ELOOP, err::kPathNotFound, FileError::kOther},
    {EACCES, err::kPathFileAccessError, FileError::kAccessDenied},
    {EPERM, err::kPathFileAccessError, FileError::kAccessDenied},
    {EROFS, err::kPathFileAccessError, FileError::kAccessDenied},
    {EISDIR, err::kPathFileAccessError, FileError::kIsFolder},
    {EEXIST, err::kPathFileAccessError, FileError::kOther},
    {ENOTEMPTY, err::kPathFileAccessError, FileError::kOther},
    {EBUSY, err::kPathFileAccessError, FileError::kInUse},
    {ETXTBSY, err::kPathFileAccessError, FileError::kInUse},
    {ENOSPC, err::kDiskFull, FileError::kDiskFull},
    {EDQUOT, err::kDiskFull, FileError::kDiskFull},
    {EMFILE, err::kTooManyFiles, FileError::kOther},
    {ENFILE, err::kTooManyFiles, FileError::kOther},
    {ENOMEM, err::kOutOfMemory, FileError::kOther},
    {EAGAIN, err::kOutOfMemory, FileError::kOther},
    {ENOEXEC, err::kInvalidCall, FileError::kOther},
};
constexpr ErrnoKinds kOtherErrno = {0, err::kDeviceIoError, FileError::kOther};

const ErrnoKinds& KindsOf(int errno_value) {
  for (const ErrnoKinds& kinds : kErrnoKinds) {
    if (kinds.code == errno_value) return kinds;
  }
  return kOtherErrno;
}

}  // namespace

int RuntimeErrorNumberFor(int errno_value, int not_found) {
  const int number = KindsOf(errno_value).runtime_error;
  return number == kCallsNotFound ? not_found : number;
}

FileResult FileResultFor(int errno_value) {
  if (errno_value == 0) return {};
  return {KindsOf(errno_value).file_error, errno_value};
}

TransportError ConnectErrorFor(int errno_value) {
  switch (errno_value) {
    case ECONNREFUSED: return TransportError::kRefused;
    case ETIMEDOUT: return TransportError::kConnectTimeout;
    case ECONNRESET: return TransportError::kConnectionLost;
    default: return TransportError::kUnreachable;
  }
}

void FailErrno(int errno_value, int not_found, const std::string& what) {
  throw RuntimeError(RuntimeErrorNumberFor(errno_value, not_found),
                     what + " (" + std::generic_category().message(errno_value) + ")");
}

void FailLastErrno(int not_found, const std::string& what) { FailErrno(errno, not_found, what); }

}  // namespace velmorin::platform
