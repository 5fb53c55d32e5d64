// One Win32 error code means the same to the file system and to a download's files.
#include "platform/win32/win32_error.h"

#include <gtest/gtest.h>

#include "platform/error_table_check.h"

namespace velmorin::platform {
namespace {

TEST(Win32ErrorTable, AFileAndADownloadReadACodeAlike) {
  ExpectErrorTable<DWORD>({{ERROR_FILE_NOT_FOUND, 53, FileError::kOther},
                           {ERROR_PATH_NOT_FOUND, 76, FileError::kFolderMissing},
                           {ERROR_INVALID_DRIVE, 76, FileError::kFolderMissing},
                           {kNoSuchDevice, 76, FileError::kFolderMissing},
                           {ERROR_NOT_READY, 71, FileError::kOther},
                           {ERROR_ACCESS_DENIED, 75, FileError::kAccessDenied},
                           {ERROR_WRITE_PROTECT, 70, FileError::kAccessDenied},
                           {ERROR_SHARING_VIOLATION, 75, FileError::kInUse},
                           {ERROR_DISK_FULL, 61, FileError::kDiskFull},
                           {ERROR_GEN_FAILURE, 57, FileError::kOther}},
                          RuntimeErrorNumberFor, FileResultFor);
  EXPECT_EQ(RuntimeErrorNumberFor(ERROR_FILE_NOT_FOUND, 76), 76);
}

}  // namespace
}  // namespace velmorin::platform
