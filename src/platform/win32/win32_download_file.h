// The download control on Windows: WinINet, HTTP and HTTPS, with the system's proxy settings,
// into a temporary file beside the target that replaces it only after a complete,
// successful transfer.
#pragma once

#include <memory>

#include "platform/download_file.h"

namespace velmorin::platform {

struct DownloadOptions {
  double connect_timeout_s = 15;    // resolving and connecting
  double stall_timeout_s = 30;      // no byte received for this long once connected
  int max_redirects = 5;
  double report_interval_s = 0.05;  // at most this often while bytes arrive
  double idle_report_s = 0.25;      // at least this often when nothing arrives, so a cancel lands
};

std::unique_ptr<DownloadFile> MakeWinInetDownloadFile(DownloadOptions options = {});

// Defaults overridden by VELMORIN_CONNECT_TIMEOUT and VELMORIN_STALL_TIMEOUT (seconds), so
// that end-to-end tests of faults need not wait half a minute.
DownloadOptions DownloadOptionsFromEnvironment();

}  // namespace velmorin::platform
