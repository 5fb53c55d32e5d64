// errno values -> run-time error numbers.
#include "platform/posix/posix_error.h"

#include <cerrno>
#include <system_error>

#include "common/runtime_error.h"

namespace velmorin::platform {

int RuntimeErrorNumberFor(int errno_value, int not_found) {
  switch (errno_value) {
    case ENOENT: return not_found;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
    case ENOTEMPTY:
    case EBUSY:
    case ETXTBSY: return err::kPathFileAccessError;
    case ENOSPC:
    case EDQUOT: return err::kDiskFull;
    case EMFILE:
    case ENFILE: return err::kTooManyFiles;
    case ENOMEM:
    case EAGAIN: return err::kOutOfMemory;
    case ENOEXEC: return err::kInvalidCall;
    default: return err::kDeviceIoError;
  }
}

void FailErrno(int errno_value, int not_found, const std::string& what) {
  throw RuntimeError(RuntimeErrorNumberFor(errno_value, not_found),
                     what + " (" + std::generic_category().message(errno_value) + ")");
}

void FailLastErrno(int not_found, const std::string& what) { FailErrno(errno, not_found, what); }

}  // namespace velmorin::platform
