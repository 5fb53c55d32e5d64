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
  kInternal,  // the transfer's own thread failed (out of memory, say), not the network
};

// What the control asks of one request besides the address. Every request also carries
// `Accept-Encoding: identity`, `Cache-Control: no-cache` and `Pragma: no-cache`: the file
// must come from the maker's server as it is, never from a cache, never re-coded.
struct HttpRequest {
  std::string url;          // CP1252
  int64_t range_from = -1;  // >= 0: `Range: bytes=N-`
  std::string if_range;     // with a range: `If-Range: <validator>`
};

// A response's status and the headers the control reads (empty when absent).
struct ResponseHead {
  int status = 0;
  int64_t content_length = -1;  // -1 when it gives none
  std::string location;
  std::string content_type;
  std::string content_encoding;
  std::string content_range;
  std::string etag;
  std::string last_modified;
  std::string retry_after;
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
  virtual bool OnHeaders(const ResponseHead& head) = 0;
  // Body bytes; false: stop at once.
  virtual bool OnBody(const char* data, size_t size) = 0;
  // True once the control has given the request up; transports look between calls.
  virtual bool Stopped() const = 0;
};

class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  // One GET, blocking the calling thread until the response has ended or failed, or the
  // events stopped it.
  virtual TransportResult Get(const HttpRequest& request, TransportEvents& events) = 0;
};

}  // namespace velmorin::platform
