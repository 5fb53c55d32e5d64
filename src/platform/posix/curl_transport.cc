// One GET per call with a libcurl easy handle on the worker's thread. The callbacks hand
// everything to the control's events and look at Stopped(), so that a transfer given up by the
// control ends by itself within about a second.
#include "platform/posix/curl_transport.h"

#include <curl/curl.h>
#include <strings.h>

#include <cerrno>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "common/cp1252.h"
#include "platform/posix/posix_error.h"

namespace velmorin::platform {
namespace {

constexpr long kBufferSize = 256 * 1024;

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Call {
  TransportEvents& events;
  CURL* easy;
  ResponseHead head;      // of the response whose headers are coming
  bool answered = false;  // the control has had a response's head
  bool declined = false;  // the control wants no body
  bool stopped = false;
};

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  return std::string(text);
}

// The header fields the control reads, by their lower-case names.
std::string* FieldOf(ResponseHead& head, std::string_view name) {
  static constexpr std::pair<std::string_view, std::string ResponseHead::*> kFields[] = {
      {"location", &ResponseHead::location},
      {"content-type", &ResponseHead::content_type},
      {"content-encoding", &ResponseHead::content_encoding},
      {"content-range", &ResponseHead::content_range},
      {"etag", &ResponseHead::etag},
      {"last-modified", &ResponseHead::last_modified},
      {"retry-after", &ResponseHead::retry_after},
  };
  for (const auto& [field, member] : kFields) {
    if (name.size() == field.size() && strncasecmp(name.data(), field.data(), field.size()) == 0)
      return &(head.*member);
  }
  return nullptr;
}

size_t OnHeader(char* line, size_t size, size_t count, void* user) {
  auto* call = static_cast<Call*>(user);
  const std::string_view text(line, size * count);
  if (text.starts_with("HTTP/")) call->head = ResponseHead{};
  if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
    if (std::string* field = FieldOf(call->head, text.substr(0, colon))) *field = Trimmed(text.substr(colon + 1));
  }
  if (text != "\r\n" && text != "\n") return text.size();
  long status = 0;
  curl_easy_getinfo(call->easy, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200) return text.size();  // an interim answer: the real one follows
  curl_off_t length = -1;
  curl_easy_getinfo(call->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  call->head.status = static_cast<int>(status);
  call->head.content_length = length;
  call->answered = true;
  if (call->events.OnHeaders(call->head)) return text.size();
  call->declined = true;
  return 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* call = static_cast<Call*>(user);
  if (call->events.OnBody(data, size * count)) return size * count;
  call->stopped = true;
  return 0;
}

int OnConnected(void* user, char*, char*, int, int) {
  static_cast<Call*>(user)->events.OnConnected();
  return CURL_PREREQFUNC_OK;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* call = static_cast<Call*>(user);
  if (!call->events.Stopped()) return 0;
  call->stopped = true;
  return 1;
}

// A proxy that demands credentials before it opens a tunnel (https) gives no response of the
// server's: its 407 is handed on as the answer, so that the report shows the status.
void HandOnProxyDemand(Call& call) {
  long status = 0;
  curl_easy_getinfo(call.easy, CURLINFO_HTTP_CONNECTCODE, &status);
  if (status == 407 && !call.answered) call.events.OnHeaders(ResponseHead{.status = 407});
}

TransportError ErrorOf(CURLcode code, CURL* easy) {
  long os_error = 0;
  curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_error);
  long proxy_status = 0;
  curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &proxy_status);
  if (proxy_status == 407) return TransportError::kProxyAuth;
  switch (code) {
    case CURLE_OK: return TransportError::kNone;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT: return TransportError::kBadAddress;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return TransportError::kHostNotFound;
    case CURLE_COULDNT_CONNECT: return ConnectErrorFor(os_error);
    case CURLE_OPERATION_TIMEDOUT: return TransportError::kConnectTimeout;
    case CURLE_GOT_NOTHING: return TransportError::kNoAnswer;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR: return TransportError::kConnectionLost;
    case CURLE_WEIRD_SERVER_REPLY: return TransportError::kBadResponse;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: return TransportError::kCertificate;
    case CURLE_SSL_CONNECT_ERROR: return TransportError::kSecureChannel;
    default: return TransportError::kOther;
  }
}

class CurlTransport : public HttpTransport {
 public:
  explicit CurlTransport(std::string ca_file) : ca_file_(std::move(ca_file)) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  }

  TransportResult Get(const HttpRequest& request, TransportEvents& events) override {
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) return {TransportError::kOther, CURLE_OUT_OF_MEMORY};
    Call call{events, easy.get()};
    const std::string utf8 = Utf8FromCp1252(request.url);
    Configure(easy.get(), utf8, call);
    const std::unique_ptr<curl_slist, SlistDeleter> headers(RequestHeaders(request));
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
    const CURLcode code = curl_easy_perform(easy.get());
    if (call.declined) return {};
    if (call.stopped) return {TransportError::kStopped, code};
    HandOnProxyDemand(call);
    return {ErrorOf(code, easy.get()), code};
  }

 private:
  static curl_slist* RequestHeaders(const HttpRequest& request) {
    std::vector<std::string> lines = {"Accept-Encoding: identity", "Cache-Control: no-cache", "Pragma: no-cache"};
    if (request.range_from >= 0) {
      lines.push_back("Range: bytes=" + std::to_string(request.range_from) + "-");
      if (!request.if_range.empty()) lines.push_back("If-Range: " + request.if_range);
    }
    curl_slist* list = nullptr;
    for (const std::string& line : lines) {
      curl_slist* longer = curl_slist_append(list, line.c_str());
      if (longer == nullptr) {
        curl_slist_free_all(list);
        return nullptr;
      }
      list = longer;
    }
    return list;
  }

  void Configure(CURL* h, const std::string& url, Call& call) const {
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // A transfer given up while the resolver thread is busy must not wait for it.
    curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "velmorin-update");
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!ca_file_.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, ca_file_.c_str());
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &call);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &call);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, &call);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &call);
  }

  std::string ca_file_;
};

}  // namespace

std::unique_ptr<HttpTransport> MakeCurlTransport(std::string ca_file) {
  return std::make_unique<CurlTransport>(std::move(ca_file));
}

}  // namespace velmorin::platform
