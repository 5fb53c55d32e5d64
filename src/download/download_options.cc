#include "download/download_options.h"

#include <cstdlib>

namespace velmorin {
namespace {

double Seconds(const Environment& env, std::string_view name, double fallback) {
  const std::string value = env.Get(name);
  if (value.empty()) return fallback;
  char* end = nullptr;
  const double seconds = std::strtod(value.c_str(), &end);
  return end != value.c_str() && *end == '\0' && seconds > 0 ? seconds : fallback;
}

}  // namespace

DownloadOptions ReadDownloadOptions(const Environment& env) {
  DownloadOptions options;
  options.connect_timeout_s = Seconds(env, "VELMORIN_CONNECT_TIMEOUT", options.connect_timeout_s);
  options.stall_timeout_s = Seconds(env, "VELMORIN_STALL_TIMEOUT", options.stall_timeout_s);
  options.ca_file = env.Get("VELMORIN_CA_FILE");
  return options;
}

}  // namespace velmorin
