// Why a transfer did not complete, and the one Spanish text for each cause that the control
// puts in ResultText on every build.
#pragma once

#include <cstdint>
#include <string>

namespace velmorin {

enum class TransferFailureKind {
  kCancelled,
  kBadAddress,
  kHostNotFound,
  kRefused,
  kUnreachable,
  kNoConnectionInTime,
  kStall,
  kHttpStatus,
  kShortBody,
  kConnectionLost,
  kNoAnswer,
  kTooManyRedirects,
  kBadResponse,
  kProxyAuth,
  kCertificate,
  kSecureChannel,
  kUnknownCoding,  // the body came in a content coding this program cannot undo
  kCorruptCoding,  // its coded stream is damaged or cut short
  kBlockPage,      // a web page came in place of a file
  kDiskFull,
  kFolderMissing,
  kTargetIsFolder,
  kAccessDenied,
  kTargetInUse,
  kDiskError,
  kNetworkError,
  kProgramRefused,
  kInternal,  // the transfer's own thread failed (out of memory, say)
};

struct TransferFailure {
  TransferFailureKind kind = TransferFailureKind::kNetworkError;
  std::string url;     // the address that failed (after redirects), CP1252
  std::string file;    // the file name the user asked for
  std::string target;  // the destination path, CP1252
  int status = 0;      // HTTP status
  int64_t received = 0;
  int64_t length = -1;
  double seconds = 0;  // the limit that passed
  int max_redirects = 0;
  long code = 0;       // the system's own code, for support
  std::string detail;  // why a downloaded program was refused, CP1252
  int64_t needed = 0;  // the room a download needed on its drive, when that is why it failed
  std::string coding;  // the content coding the server named
};

// The ResultText of a failure: Spanish, CP1252, one sentence or two, naming what failed.
std::string FailureText(const TransferFailure& failure);

// "404 (archivo no encontrado)": a status and, when it is a common one, its meaning.
std::string HttpStatusText(int status);

}  // namespace velmorin
