// The download control's settings, the same on every build.
#pragma once

#include <cstdint>
#include <string>

#include "common/environment.h"

namespace velmorin {

struct DownloadOptions {
  double connect_timeout_s = 15;  // with the stall timeout: the most a transfer may take to its first body byte
  double stall_timeout_s = 30;    // a window this long that brings fewer than stall_bytes is a stall
  int64_t stall_bytes = 1024;
  int max_redirects = 5;
  double report_interval_s = 0.05;  // at most this often while bytes arrive
  double idle_report_s = 0.25;      // at least this often when nothing arrives, so that a cancel lands
  double rename_retry_s = 2;        // a refused rename is tried again for this long (a scanner on the new file)
  std::string ca_file;              // extra trusted certificates (PEM, Linux); empty: the system's
};

// The defaults, with VELMORIN_CONNECT_TIMEOUT and VELMORIN_STALL_TIMEOUT (seconds) and
// VELMORIN_CA_FILE taken from the environment: tests of faults need not wait half a minute.
DownloadOptions ReadDownloadOptions(const Environment& env);

}  // namespace velmorin
