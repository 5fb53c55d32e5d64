// Which failures of a transfer are tried again, and how long to wait before the next attempt.
#pragma once

#include <ctime>
#include <string>

#include "download/download_options.h"
#include "download/transfer_failure.h"

namespace velmorin {

// A failure that may pass by itself: the network, the server's own trouble (5xx, 408, 429),
// a body cut short, an answer missing or garbled. A status that names a fault of the request, the address, the local
// disk, a certificate, a proxy asking for credentials and a cancel are final.
bool IsTransient(const TransferFailure& failure);

// The wait a Retry-After header asks for, as seconds or as an HTTP date compared with `now`;
// -1 when there is none or it cannot be read.
double RetryAfterSeconds(const std::string& value, std::time_t now);

// The wait before attempt `failed_attempts + 1`: the fixed one, or the server's if longer, up
// to the cap and to what is left of `budget_s`.
double RetryWaitSeconds(const DownloadOptions& options, int failed_attempts, double retry_after_s, double budget_s);

}  // namespace velmorin
