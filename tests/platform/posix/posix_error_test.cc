// One errno value means the same to the file system, a download's files and the transport.
#include "platform/posix/posix_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace velmorin::platform {
namespace {

TEST(PosixErrorTable, AFileAndADownloadReadAnErrnoAlike) {
  const struct {
    int code;
    int runtime_error;
    FileError file_error;
  } rows[] = {{ENOENT, 53, FileError::kFolderMissing},
              {ENOTDIR, 76, FileError::kFolderMissing},
              {EACCES, 75, FileError::kAccessDenied},
              {EROFS, 75, FileError::kAccessDenied},
              {EISDIR, 75, FileError::kIsFolder},
              {ETXTBSY, 75, FileError::kInUse},
              {ENOSPC, 61, FileError::kDiskFull},
              {EMFILE, 67, FileError::kOther},
              {EIO, 57, FileError::kOther}};
  for (const auto& row : rows) {
    EXPECT_EQ(RuntimeErrorNumberFor(row.code, 53), row.runtime_error) << row.code;
    EXPECT_EQ(FileResultFor(row.code).error, row.file_error) << row.code;
    EXPECT_EQ(FileResultFor(row.code).code, row.code);
  }
  EXPECT_EQ(RuntimeErrorNumberFor(ENOENT, 76), 76);
  EXPECT_TRUE(FileResultFor(0).ok());
  EXPECT_EQ(ConnectErrorFor(ECONNREFUSED), TransportError::kRefused);
  EXPECT_EQ(ConnectErrorFor(ETIMEDOUT), TransportError::kConnectTimeout);
  EXPECT_EQ(ConnectErrorFor(ECONNRESET), TransportError::kConnectionLost);
  EXPECT_EQ(ConnectErrorFor(ENETUNREACH), TransportError::kUnreachable);
}

}  // namespace
}  // namespace velmorin::platform
