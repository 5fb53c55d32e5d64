// The HTTP transport on Windows: WinINet, http and https, with the system's proxy settings.
#pragma once

#include <memory>

#include "platform/http_transport.h"

namespace velmorin::platform {

// `give_up_s`: WinINet's own timeouts, longer than the control's deadlines, so that a worker
// the control has left behind still ends one day.
std::unique_ptr<HttpTransport> MakeWinInetTransport(double give_up_s);

}  // namespace velmorin::platform
