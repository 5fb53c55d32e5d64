// One errno value means the same to the file system, a download's files and the transport.
#include "platform/posix/posix_error.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/error_table_check.h"

namespace velmorin::platform {
namespace {

TEST(PosixErrorTable, AFileAndADownloadReadAnErrnoAlike) {
  ExpectErrorTable<int>({{ENOENT, 53, FileError::kFolderMissing},
                         {ENOTDIR, 76, FileError::kFolderMissing},
                         {EACCES, 75, FileError::kAccessDenied},
                         {EROFS, 75, FileError::kAccessDenied},
                         {EISDIR, 75, FileError::kIsFolder},
                         {ETXTBSY, 75, FileError::kInUse},
                         {ENOSPC, 61, FileError::kDiskFull},
                         {EMFILE, 67, FileError::kOther},
                         {EIO, 57, FileError::kOther}},
                        RuntimeErrorNumberFor, FileResultFor);
  EXPECT_EQ(RuntimeErrorNumberFor(ENOENT, 76), 76);
  EXPECT_EQ(ConnectErrorFor(ECONNREFUSED), TransportError::kRefused);
  EXPECT_EQ(ConnectErrorFor(ETIMEDOUT), TransportError::kConnectTimeout);
  EXPECT_EQ(ConnectErrorFor(ECONNRESET), TransportError::kConnectionLost);
  EXPECT_EQ(ConnectErrorFor(ENETUNREACH), TransportError::kUnreachable);
}

}  // namespace
}  // namespace velmorin::platform
