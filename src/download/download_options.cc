#include "download/download_options.h"

#include <cstdlib>

namespace velmorin {
namespace {

double SecondsFromEnvironment(const char* name, double fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  char* end = nullptr;
  const double seconds = std::strtod(value, &end);
  return end != value && *end == '\0' && seconds > 0 ? seconds : fallback;
}

}  // namespace

DownloadOptions DownloadOptionsFromEnvironment() {
  DownloadOptions options;
  options.connect_timeout_s = SecondsFromEnvironment("VELMORIN_CONNECT_TIMEOUT", options.connect_timeout_s);
  options.stall_timeout_s = SecondsFromEnvironment("VELMORIN_STALL_TIMEOUT", options.stall_timeout_s);
  if (const char* ca = std::getenv("VELMORIN_CA_FILE"); ca != nullptr) options.ca_file = ca;
  return options;
}

}  // namespace velmorin
