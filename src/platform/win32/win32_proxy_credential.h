// A user name and password for a proxy that demands them (407), as the pharmacy's technician
// stored them once in the Windows Credential Manager:
//   cmdkey /generic:PROXYHOST:PORT /user:NAME /pass
// or, for any proxy, under the target "velmorin-update-proxy". No settings file holds them.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

namespace velmorin::platform {

inline constexpr wchar_t kProxyCredentialTarget[] = L"velmorin-update-proxy";

// Held no longer than one request needs it; the password is wiped from memory at the end.
class ProxyCredential {
 public:
  ProxyCredential(std::wstring user, size_t password_chars);
  ~ProxyCredential();
  ProxyCredential(const ProxyCredential&) = delete;
  ProxyCredential& operator=(const ProxyCredential&) = delete;

  const std::wstring& user() const { return user_; }
  const std::wstring& password() const { return password_; }
  wchar_t* password_buffer() { return password_.data(); }

 private:
  std::wstring user_;
  std::wstring password_;
};

// The "host:port" of the proxy in a WinINet proxy list ("host:port", "http://host:port",
// "http=host:port;https=host:port") for a plain or a secure address; empty when none applies.
std::wstring ProxyForScheme(const std::wstring& list, bool secure);

// The credential stored for the proxy `host_port`, else the one under kProxyCredentialTarget;
// null when neither is stored.
std::unique_ptr<ProxyCredential> ReadProxyCredential(const std::wstring& host_port);

// After a proxy's 407 on `request`: reads the rest of that answer and sets the stored
// credential on the request, so that sending it again answers the demand. False when no
// credential is stored (the 407 then stands).
bool ApplyStoredProxyCredential(HINTERNET session, HINTERNET request, bool secure);

}  // namespace velmorin::platform
