// One GET per call with synchronous WinINet on the worker's thread. A blocked WinINet call
// cannot be interrupted safely (a handle may be closed only when no call is using it), so the
// control does not wait for it: the worker closes its own handles when the call returns.
#include "platform/win32/wininet_transport.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "platform/win32/win32_error.h"
#include "platform/win32/win32_proxy_credential.h"

namespace velmorin::platform {
namespace {

constexpr DWORD kBufferSize = 64 * 1024;
// ERROR_INTERNET_DECRYPTION_FAILED, missing from mingw's wininet.h.
constexpr DWORD kDecryptionFailed = 12175;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

class InetHandle {
 public:
  explicit InetHandle(HINTERNET handle) : handle_(handle) {}
  ~InetHandle() {
    if (handle_ != nullptr) ::InternetCloseHandle(handle_);
  }
  InetHandle(const InetHandle&) = delete;
  InetHandle& operator=(const InetHandle&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

TransportError ErrorOf(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return TransportError::kBadAddress;
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return TransportError::kHostNotFound;
    case ERROR_INTERNET_CANNOT_CONNECT: return TransportError::kRefused;
    case ERROR_INTERNET_TIMEOUT: return TransportError::kConnectTimeout;
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET: return TransportError::kConnectionLost;
    case ERROR_HTTP_INVALID_SERVER_RESPONSE: return TransportError::kBadResponse;
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT: return TransportError::kCertificate;
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case kDecryptionFailed: return TransportError::kSecureChannel;
    case ERROR_INTERNET_OPERATION_CANCELLED: return TransportError::kStopped;
    default: return TransportError::kOther;
  }
}

TransportResult Failed(DWORD code) { return {ErrorOf(code), static_cast<long>(code)}; }

struct UrlParts {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query
};

std::optional<UrlParts> CrackUrl(const std::wstring& url) {
  wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  std::vector<wchar_t> path(url.size() + 2), extra(url.size() + 2);
  URL_COMPONENTSW c{};
  c.dwStructSize = sizeof c;
  c.lpszHostName = host;
  c.dwHostNameLength = static_cast<DWORD>(std::size(host));
  c.lpszUrlPath = path.data();
  c.dwUrlPathLength = static_cast<DWORD>(path.size());
  c.lpszExtraInfo = extra.data();
  c.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &c)) return std::nullopt;
  if ((c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) || host[0] == L'\0')
    return std::nullopt;
  UrlParts parts{.secure = c.nScheme == INTERNET_SCHEME_HTTPS, .host = host, .port = c.nPort};
  parts.object = std::wstring(path.data()) + extra.data();
  const size_t fragment = parts.object.find(L'#');
  if (fragment != std::wstring::npos) parts.object.erase(fragment);
  if (parts.object.empty() || parts.object[0] != L'/') parts.object.insert(0, L"/");
  return parts;
}

std::optional<std::wstring> QueryHeader(HINTERNET request, DWORD what) {
  std::wstring value(256, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::HttpQueryInfoW(request, what, value.data(), &bytes, nullptr)) {
      value.resize(bytes / sizeof(wchar_t));
      return value;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    value.resize(bytes / sizeof(wchar_t) + 1);
  }
  return std::nullopt;
}

int64_t ParseLength(const std::optional<std::wstring>& text) {
  if (!text || text->empty()) return -1;
  int64_t n = 0;
  for (wchar_t c : *text) {
    if (c < L'0' || c > L'9' || n > (INT64_MAX - 9) / 10) return -1;
    n = n * 10 + (c - L'0');
  }
  return n;
}

ResponseHead HeadOf(HINTERNET request, int status) {
  ResponseHead head{.status = status, .content_length = ParseLength(QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH))};
  const std::pair<DWORD, std::string ResponseHead::*> fields[] = {
      {HTTP_QUERY_LOCATION, &ResponseHead::location},
      {HTTP_QUERY_CONTENT_TYPE, &ResponseHead::content_type},
      {HTTP_QUERY_CONTENT_ENCODING, &ResponseHead::content_encoding},
      {HTTP_QUERY_CONTENT_RANGE, &ResponseHead::content_range},
      {HTTP_QUERY_ETAG, &ResponseHead::etag},
      {HTTP_QUERY_LAST_MODIFIED, &ResponseHead::last_modified},
      {HTTP_QUERY_RETRY_AFTER, &ResponseHead::retry_after},
  };
  for (const auto& [query, member] : fields) head.*member = Narrow(QueryHeader(request, query).value_or(L""));
  return head;
}

// What every request says besides its address (CR LF after each line).
std::wstring RequestHeaders(const HttpRequest& request) {
  std::wstring headers = L"Accept-Encoding: identity\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n";
  if (request.range_from >= 0) {
    headers += L"Range: bytes=" + std::to_wstring(request.range_from) + L"-\r\n";
    if (!request.if_range.empty()) headers += L"If-Range: " + Wide(request.if_range) + L"\r\n";
  }
  return headers;
}

// WinINet tells when the connection is up only through the status callback.
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
  if (status == INTERNET_STATUS_CONNECTED_TO_SERVER && context != 0) {
    reinterpret_cast<TransportEvents*>(context)->OnConnected();
  }
}

class WinInetTransport : public HttpTransport {
 public:
  explicit WinInetTransport(double give_up_s)
      : give_up_ms_(static_cast<DWORD>(std::clamp(give_up_s * 1000, 1000.0, 3600000.0))) {}

  TransportResult Get(const HttpRequest& http, TransportEvents& events) override {
    const auto parts = CrackUrl(Wide(http.url));
    if (!parts) return {TransportError::kBadAddress, 0};
    InetHandle session(::InternetOpenW(L"velmorin-update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return Failed(::GetLastError());
    ::InternetSetStatusCallbackW(session.get(), OnStatus);
    const auto context = reinterpret_cast<DWORD_PTR>(&events);
    InetHandle connection(::InternetConnectW(session.get(), parts->host.c_str(), parts->port, nullptr, nullptr,
                                             INTERNET_SERVICE_HTTP, 0, context));
    if (!connection) return Failed(::GetLastError());
    // Wine ignores timeouts set on the session: they go where they are used.
    SetTimeouts(connection.get());
    const DWORD flags = kRequestFlags | (parts->secure ? INTERNET_FLAG_SECURE : 0);
    InetHandle request(
        ::HttpOpenRequestW(connection.get(), L"GET", parts->object.c_str(), nullptr, nullptr, nullptr, flags, context));
    if (!request) return Failed(::GetLastError());
    SetTimeouts(request.get());
    if (events.Stopped()) return {TransportError::kStopped, 0};
    const std::wstring headers = RequestHeaders(http);
    if (!Send(request.get(), headers)) return Failed(::GetLastError());
    // A proxy that still demands a user and password (WinINet answers NTLM and Negotiate with
    // the signed-in user by itself) gets the one a technician stored for it, once.
    if (ProxyDemands(request.get()) && ApplyStoredProxyCredential(session.get(), request.get(), parts->secure) &&
        !Send(request.get(), headers)) {
      return Failed(::GetLastError());
    }
    return Receive(request.get(), events);
  }

 private:
  static bool Send(HINTERNET request, const std::wstring& headers) {
    return ::HttpSendRequestW(request, headers.c_str(), static_cast<DWORD>(headers.size()), nullptr, 0);
  }

  static bool ProxyDemands(HINTERNET request) {
    DWORD status = 0, size = sizeof status;
    return ::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) &&
           status == HTTP_STATUS_PROXY_AUTH_REQ;
  }

  void SetTimeouts(HINTERNET handle) const {
    DWORD ms = give_up_ms_;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
      ::InternetSetOptionW(handle, option, &ms, sizeof ms);
    }
  }

  static TransportResult Receive(HINTERNET request, TransportEvents& events) {
    events.OnConnected();
    DWORD status = 0, size = sizeof status;
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
      return {TransportError::kBadResponse, static_cast<long>(::GetLastError())};
    }
    // Wine hands a connection closed before any answer over as a response of status 0.
    if (status < 100) return {TransportError::kNoAnswer, static_cast<long>(status)};
    if (!events.OnHeaders(HeadOf(request, static_cast<int>(status)))) return {};
    std::vector<char> buffer(kBufferSize);
    for (;;) {
      if (events.Stopped()) return {TransportError::kStopped, 0};
      // Only what has arrived: a full-buffer read would wait until the buffer fills.
      DWORD available = 0;
      if (!::InternetQueryDataAvailable(request, &available, 0, 0)) return Failed(::GetLastError());
      if (available == 0) return {};
      DWORD got = 0;
      if (!::InternetReadFile(request, buffer.data(), std::min(available, kBufferSize), &got)) {
        return Failed(::GetLastError());
      }
      if (got == 0) return {};
      if (!events.OnBody(buffer.data(), got)) return {TransportError::kStopped, 0};
    }
  }

  DWORD give_up_ms_;
};

}  // namespace

std::unique_ptr<HttpTransport> MakeWinInetTransport(double give_up_s) {
  return std::make_unique<WinInetTransport>(give_up_s);
}

}  // namespace velmorin::platform
