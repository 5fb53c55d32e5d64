// The HTTP transport on Linux: libcurl, http and https.
#pragma once

#include <memory>
#include <string>

#include "platform/http_transport.h"

namespace velmorin::platform {

// `ca_file`: extra trusted certificates (PEM); empty: the system's.
std::unique_ptr<HttpTransport> MakeCurlTransport(std::string ca_file = "");

}  // namespace velmorin::platform
