// The parts of a download address that the control needs: the host for its texts, the file
// name the user knows, and where a redirect leads.
#pragma once

#include <optional>
#include <string>

namespace velmorin {

struct TransferUrl {
  std::string scheme;     // lower case: "http" or "https"
  std::string authority;  // host, and ":port" when the address gives one
  std::string path;       // from the first "/" after the authority, query included; "/" at least
};

// Nothing unless `url` is an absolute http or https address with a host.
std::optional<TransferUrl> ParseTransferUrl(const std::string& url);

// The address a redirect's Location names, seen from `base`; nothing unless it is http(s), and
// nothing for plain http from an https address.
std::optional<std::string> ResolveRedirect(const std::string& base, const std::string& location);

// These name an address in texts, so never with its user name or password.
// The last part of the address's path ("VISADO75.txt"), or the address itself when it has none.
std::string FileNameOfUrl(const std::string& url);
// The host and port ("127.0.0.1:8081"), or the address itself when it cannot be read.
std::string HostOfUrl(const std::string& url);

}  // namespace velmorin
