// Settings from the environment, with build-time defaults.
#include "common/settings.h"

#include <cstdlib>

#include "common/cp1252.h"

namespace velmorin {
namespace {

std::string FromEnv(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? Cp1252FromUtf8(value) : fallback;
}

std::string WithoutTrailingSlash(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

}  // namespace

std::string HostAndPort(const std::string& url) {
  const size_t scheme = url.find("://");
  const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t end = url.find('/', start);
  return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

Settings LoadSettings() {
  Settings s;
  s.update_server = WithoutTrailingSlash(FromEnv("VELMORIN_UPDATE_SERVER", VELMORIN_DEFAULT_UPDATE_SERVER));
  s.council_site = WithoutTrailingSlash(FromEnv("VELMORIN_COUNCIL_SITE", VELMORIN_DEFAULT_COUNCIL_SITE));
  s.coop_site = WithoutTrailingSlash(FromEnv("VELMORIN_COOP_SITE", VELMORIN_DEFAULT_COOP_SITE));
  const bool server_overridden = std::getenv("VELMORIN_UPDATE_SERVER") != nullptr;
  s.update_domain = FromEnv("VELMORIN_UPDATE_DOMAIN",
                            server_overridden ? HostAndPort(s.update_server) : VELMORIN_DEFAULT_UPDATE_DOMAIN);
  s.update_address = FromEnv("VELMORIN_UPDATE_ADDRESS", VELMORIN_DEFAULT_UPDATE_ADDRESS);
  s.update_hostname = FromEnv("VELMORIN_UPDATE_HOSTNAME", VELMORIN_DEFAULT_UPDATE_HOSTNAME);
  return s;
}

}  // namespace velmorin
