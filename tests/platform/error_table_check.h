// The check every platform's error map passes: each system code of a table gives the same
// run-time error and the same download-file error, and the file result keeps the code.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/download_files.h"

namespace velmorin::platform {

template <class Code>
struct ErrorRow {
  Code code;
  int runtime_error;  // where a missing file is error 53
  FileError file_error;
};

// `runtime_error_for(code, not_found)` and `file_result_for(code)`: the platform's map.
template <class Code, class RuntimeErrorFor, class FileResultOf>
void ExpectErrorTable(const std::vector<ErrorRow<Code>>& rows, RuntimeErrorFor runtime_error_for,
                      FileResultOf file_result_for) {
  for (const ErrorRow<Code>& row : rows) {
    SCOPED_TRACE(testing::Message() << "code " << row.code);
    EXPECT_EQ(runtime_error_for(row.code, 53), row.runtime_error);
    EXPECT_EQ(file_result_for(row.code).error, row.file_error);
    EXPECT_EQ(file_result_for(row.code).code, static_cast<long>(row.code));
  }
  EXPECT_TRUE(file_result_for(Code{}).ok());
}

}  // namespace velmorin::platform
