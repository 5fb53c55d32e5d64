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
  double rename_retry_s = 30;       // a refused rename is tried again for this long (a scanner on the new file)
  // A transient failure is tried again: at most `attempts` in all, after waits of
  // first_retry_wait_s and then second_retry_wait_s, or the server's Retry-After up to
  // retry_after_cap_s; all the waits of one transfer together stay within retry_wait_budget_s.
  int attempts = 3;
  double first_retry_wait_s = 1;
  double second_retry_wait_s = 4;
  double retry_after_cap_s = 10;
  double retry_wait_budget_s = 15;
  std::string ca_file;  // extra trusted certificates (PEM, Linux); empty: the system's
};

// The defaults, with VELMORIN_CONNECT_TIMEOUT and VELMORIN_STALL_TIMEOUT (seconds) and
// VELMORIN_CA_FILE taken from the environment: tests of faults need not wait half a minute.
DownloadOptions ReadDownloadOptions(const Environment& env);

}  // namespace velmorin
