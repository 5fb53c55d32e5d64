// The download control: one HTTP transfer from a URL to a local path, synchronous, with
// progress reports raised on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmorin::platform {

struct TransferProgressArgs {
  int32_t State = 0;  // 1 resolving/connecting (nothing received), 2 receiving, 3 last report
  int32_t BytesReceived = 0;
  double Percent = 0;          // 100 x received / length; 0 while the length is unknown
  int32_t ElapsedSeconds = 0;  // whole seconds since StartTransfer
  bool Cancel = false;         // set by the handler to stop the transfer
};

class DownloadFile {
 public:
  virtual ~DownloadFile() = default;

  std::string SourceUrl;   // CP1252
  std::string TargetPath;  // Windows path, CP1252; empty: fetch and discard

  // Performs the whole transfer; returns when it has completed, failed or been cancelled.
  // The body goes to a temporary file beside the target, renamed over it only on success.
  virtual void StartTransfer() = 0;
  virtual bool TransferFailed() const = 0;
  // "OK" after success; "Descarga cancelada por el usuario." after a cancel; otherwise a
  // Spanish message naming the cause (CP1252).
  virtual std::string ResultText() const = 0;
  // The status of the final HTTP answer; 0 when none came. For the run report only.
  virtual int HttpStatus() const { return 0; }

  // Raised at most about 20 times a second, plus a last report (State 3).
  std::function<void(TransferProgressArgs&)> TransferProgress;
  // Asked once about a complete download, at `path` beside the target (a Windows path), before
  // it replaces the target: a reason (CP1252) fails the transfer and leaves the target as it
  // was. Unset: every complete download goes in place.
  std::function<std::optional<std::string>(const std::string& path)> CheckDownload;
  // A line for the run report as it happens (an attempt that failed and is tried again,
  // where a resumed attempt starts); CP1252.
  std::function<void(const std::string&)> ReportLine;
};

}  // namespace velmorin::platform
