// One HTTP GET moved by the platform (libcurl, WinINet) on a worker thread that the download
// control gives it. A transport follows no redirect and keeps no deadline of its own: the
// control does both, the same way on every build.
#pragma once

#include <cstdint>
#include <string>

namespace velmorin::platform {

// What ended a request, in the control's terms. Each transport maps its own codes here, once.
enum class TransportError {
  kNone,        // the response ended, or the control declined its body
  kBadAddress,  // not an http or https URL
  kHostNotFound,
  kRefused,
  kUnreachable,     // no route to the network or the host
  kConnectTimeout,  // the transport's own connect limit (the control's deadline usually comes first)
  kNoAnswer,        // the connection closed before any response
  kConnectionLost,  // reset or closed while a response was coming
  kBadResponse,
  kProxyAuth,      // the proxy asks for credentials before it connects anywhere
  kCertificate,    // the server's certificate is not trusted
  kSecureChannel,  // no secure connection for another reason
  kStopped,        // the control asked to stop
  kOther,
};

struct TransportResult {
  TransportError error = TransportError::kNone;
  long code = 0;  // the platform's own code, for support; never shown as text
};

// The control's side of a request; called on the worker thread.
class TransportEvents {
 public:
  virtual ~TransportEvents() = default;
  // The connection to the server (secure channel included) is up.
  virtual void OnConnected() = 0;
  // A response's status and headers (not those of an interim 1xx); false: its body is not
  // read and the request ends.
  virtual bool OnHeaders(int status, int64_t content_length, const std::string& location) = 0;
  // Body bytes; false: stop at once.
  virtual bool OnBody(const char* data, size_t size) = 0;
  // True once the control has given the request up; transports look between calls.
  virtual bool Stopped() const = 0;
};

class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  // One GET of `url` (CP1252), blocking the calling thread until the response has ended or
  // failed, or the events stopped it.
  virtual TransportResult Get(const std::string& url, TransportEvents& events) = 0;
};

}  // namespace velmorin::platform
