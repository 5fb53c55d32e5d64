// One Win32 error code means the same to the file system and to a download's files.
#include "platform/win32/win32_error.h"

#include <gtest/gtest.h>

namespace velmorin::platform {
namespace {

TEST(Win32ErrorTable, AFileAndADownloadReadACodeAlike) {
  const struct {
    DWORD code;
    int runtime_error;
    FileError file_error;
  } rows[] = {{ERROR_FILE_NOT_FOUND, 53, FileError::kOther},
              {ERROR_PATH_NOT_FOUND, 76, FileError::kFolderMissing},
              {ERROR_INVALID_DRIVE, 76, FileError::kFolderMissing},
              {kNoSuchDevice, 76, FileError::kFolderMissing},
              {ERROR_NOT_READY, 71, FileError::kOther},
              {ERROR_ACCESS_DENIED, 75, FileError::kAccessDenied},
              {ERROR_WRITE_PROTECT, 70, FileError::kAccessDenied},
              {ERROR_SHARING_VIOLATION, 75, FileError::kInUse},
              {ERROR_DISK_FULL, 61, FileError::kDiskFull},
              {ERROR_GEN_FAILURE, 57, FileError::kOther}};
  for (const auto& row : rows) {
    EXPECT_EQ(RuntimeErrorNumberFor(row.code, 53), row.runtime_error) << row.code;
    EXPECT_EQ(FileResultFor(row.code).error, row.file_error) << row.code;
    EXPECT_EQ(FileResultFor(row.code).code, static_cast<long>(row.code));
  }
  EXPECT_EQ(RuntimeErrorNumberFor(ERROR_FILE_NOT_FOUND, 76), 76);
  EXPECT_TRUE(FileResultFor(ERROR_SUCCESS).ok());
}

}  // namespace
}  // namespace velmorin::platform
