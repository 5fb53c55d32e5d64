// Settings from the environment, with build-time defaults.
#include "common/settings.h"

#include "common/cp1252.h"

namespace velmorin {
namespace {

std::string Or(const Environment& env, std::string_view name, const std::string& fallback) {
  const std::string value = env.Get(name);
  return value.empty() ? fallback : Cp1252FromUtf8(value);
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

Settings ReadSettings(const Environment& env) {
  Settings s;
  s.update_server = WithoutTrailingSlash(Or(env, "VELMORIN_UPDATE_SERVER", VELMORIN_DEFAULT_UPDATE_SERVER));
  s.council_site = WithoutTrailingSlash(Or(env, "VELMORIN_COUNCIL_SITE", VELMORIN_DEFAULT_COUNCIL_SITE));
  s.coop_site = WithoutTrailingSlash(Or(env, "VELMORIN_COOP_SITE", VELMORIN_DEFAULT_COOP_SITE));
  const bool server_overridden = !env.Get("VELMORIN_UPDATE_SERVER").empty();
  s.update_domain = Or(env, "VELMORIN_UPDATE_DOMAIN",
                       server_overridden ? HostAndPort(s.update_server) : VELMORIN_DEFAULT_UPDATE_DOMAIN);
  s.update_address = Or(env, "VELMORIN_UPDATE_ADDRESS", VELMORIN_DEFAULT_UPDATE_ADDRESS);
  s.update_hostname = Or(env, "VELMORIN_UPDATE_HOSTNAME", VELMORIN_DEFAULT_UPDATE_HOSTNAME);
  s.trusted_signer = Cp1252FromUtf8(VELMORIN_TRUSTED_SIGNER);
  return s;
}

}  // namespace velmorin
