// The server settings: built-in production addresses, overridden by the environment.
#pragma once

#include <string>

#include "common/environment.h"

namespace velmorin {

struct Settings {
  std::string update_server;  // "http://host[:port]", no trailing slash
  std::string council_site;
  std::string coop_site;
  std::string update_domain;   // its presence in a URL means "on the update server"
  std::string update_address;  // numeric IPv4 address (with ":port" when URLs carry one)
  std::string update_hostname;
  // The signer every program the run starts must carry (CP1252); empty: any or none. Set when
  // the program is built, never from the environment.
  std::string trusted_signer;
};

// VELMORIN_UPDATE_SERVER, VELMORIN_COUNCIL_SITE, VELMORIN_COOP_SITE, VELMORIN_UPDATE_DOMAIN
// (default: host and port of the update server as written, when it is given), VELMORIN_UPDATE_ADDRESS
// and VELMORIN_UPDATE_HOSTNAME, each falling back to the value set when the program was built.
Settings ReadSettings(const Environment& env);

// "host[:port]" of a base URL "scheme://host[:port][/...]".
std::string HostAndPort(const std::string& url);

}  // namespace velmorin
