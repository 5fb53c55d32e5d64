#include "download/retry_policy.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace velmorin {
namespace {

using Kind = TransferFailureKind;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<long long>(era) * 146097 + doe - 719468;
}

// "Sun, 06 Nov 1994 08:49:37 GMT", the one form servers send today; -1 otherwise.
long long HttpDate(const std::string& value) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  char weekday[4] = "", month[4] = "", zone[4] = "";
  int day = 0, year = 0, h = 0, min = 0, s = 0;
  if (std::sscanf(value.c_str(), "%3s, %d %3s %d %d:%d:%d %3s", weekday, &day, month, &year, &h, &min, &s, zone) != 8 ||
      std::strcmp(zone, "GMT") != 0 || std::strlen(month) != 3) {
    return -1;
  }
  const char* found = std::strstr(kMonths, month);
  if (found == nullptr || (found - kMonths) % 3 != 0) return -1;
  const int m = static_cast<int>(found - kMonths) / 3 + 1;
  return DaysFromCivil(year, m, day) * 86400 + h * 3600 + min * 60 + s;
}

}  // namespace

bool IsTransient(const TransferFailure& failure) {
  switch (failure.kind) {
    case Kind::kHostNotFound:
    case Kind::kRefused:
    case Kind::kUnreachable:
    case Kind::kNoConnectionInTime:
    case Kind::kNoAnswer:
    case Kind::kBadResponse:  // WinINet's word for a connection closed before any answer
    case Kind::kConnectionLost:
    case Kind::kStall:
    case Kind::kShortBody: return true;
    case Kind::kHttpStatus: return failure.status >= 500 || failure.status == 408 || failure.status == 429;
    default: return false;
  }
}

double RetryAfterSeconds(const std::string& value, std::time_t now) {
  if (value.empty()) return -1;
  if (value.find_first_not_of("0123456789") == std::string::npos) return value.size() > 9 ? 1e9 : std::stod(value);
  const long long at = HttpDate(value);
  return at < 0 ? -1 : std::max(0.0, static_cast<double>(at - static_cast<long long>(now)));
}

double RetryWaitSeconds(const DownloadOptions& options, int failed_attempts, double retry_after_s, double budget_s) {
  const double fixed = failed_attempts <= 1 ? options.first_retry_wait_s : options.second_retry_wait_s;
  const double wait = std::max(fixed, std::min(retry_after_s, options.retry_after_cap_s));
  return std::max(0.0, std::min(wait, budget_s));
}

}  // namespace velmorin
