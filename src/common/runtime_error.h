// The run-time error that stops the program: a number and the Spanish description the
// platform reports for it. Thrown at the platform boundary, caught once at the top.
#pragma once

#include <stdexcept>
#include <string>

namespace velmorin {

namespace err {
inline constexpr int kInvalidCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kInternalError = 51;  // what a failure that is not a run-time error becomes
inline constexpr int kBadFileNameOrNumber = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kBadFileMode = 54;
inline constexpr int kFileAlreadyOpen = 55;
inline constexpr int kDeviceIoError = 57;
inline constexpr int kFileAlreadyExists = 58;
inline constexpr int kDiskFull = 61;
inline constexpr int kInputPastEnd = 62;
inline constexpr int kBadRecordNumber = 63;
inline constexpr int kTooManyFiles = 67;
inline constexpr int kDeviceUnavailable = 68;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kDiskNotReady = 71;
inline constexpr int kPathFileAccessError = 75;
inline constexpr int kPathNotFound = 76;
}  // namespace err

// The Spanish description (CP1252) of a run-time error number.
std::string RuntimeErrorDescription(int number);

class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(int number);
  // `detail` is for developers (which path, which call); it is not part of the report.
  RuntimeError(int number, std::string detail);

  int number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& detail() const { return detail_; }

 private:
  int number_;
  std::string description_;
  std::string detail_;
};

// The text of the run-time error report, as the platform shows it (CP1252).
std::string RuntimeErrorReportText(const RuntimeError& error);

}  // namespace velmorin
