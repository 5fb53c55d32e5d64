#include "platform/win32/win32_proxy_credential.h"

#include <wincred.h>

#include <cstring>
#include <cwctype>
#include <vector>

namespace velmorin::platform {
namespace {

// INTERNET_PROXY_INFO as the wide query fills it (mingw declares it with TCHAR strings).
struct ProxyInfoW {
  DWORD access_type;
  const wchar_t* proxy;
  const wchar_t* bypass;
};

bool StartsWithNoCase(const std::wstring& text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (towlower(text[i]) != prefix[i]) return false;
  }
  return true;
}

// "http://host:port/" -> "host:port"; a proxy given without a port is on port 80.
std::wstring HostPort(std::wstring entry) {
  if (const size_t scheme = entry.find(L"://"); scheme != std::wstring::npos) entry.erase(0, scheme + 3);
  if (const size_t slash = entry.find(L'/'); slash != std::wstring::npos) entry.erase(slash);
  if (entry.empty()) return entry;
  const size_t bracket = entry.rfind(L']');
  const size_t colon = entry.rfind(L':');
  if (colon == std::wstring::npos || (bracket != std::wstring::npos && colon < bracket)) entry += L":80";
  return entry;
}

// The proxy WinINet takes for this session's requests (from the system's settings).
std::wstring ProxyOf(HINTERNET session, bool secure) {
  DWORD size = 0;
  ::InternetQueryOptionW(session, INTERNET_OPTION_PROXY, nullptr, &size);
  if (size < sizeof(ProxyInfoW)) return L"";
  std::vector<ProxyInfoW> buffer(size / sizeof(ProxyInfoW) + 1);
  size = static_cast<DWORD>(buffer.size() * sizeof(ProxyInfoW));
  if (!::InternetQueryOptionW(session, INTERNET_OPTION_PROXY, buffer.data(), &size)) return L"";
  const ProxyInfoW& info = buffer.front();
  if (info.access_type != INTERNET_OPEN_TYPE_PROXY || info.proxy == nullptr) return L"";
  return ProxyForScheme(info.proxy, secure);
}

std::unique_ptr<ProxyCredential> ReadOne(const std::wstring& target) {
  PCREDENTIALW stored = nullptr;
  if (target.empty() || !::CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &stored)) return nullptr;
  std::unique_ptr<ProxyCredential> credential;
  const auto* blob = reinterpret_cast<const wchar_t*>(stored->CredentialBlob);
  size_t chars = blob == nullptr ? 0 : stored->CredentialBlobSize / sizeof(wchar_t);
  while (chars > 0 && blob[chars - 1] == L'\0') --chars;  // stored with its terminator
  if (stored->UserName != nullptr && stored->UserName[0] != L'\0') {
    credential = std::make_unique<ProxyCredential>(stored->UserName, chars);
    if (chars > 0) std::memcpy(credential->password_buffer(), blob, chars * sizeof(wchar_t));
  }
  if (stored->CredentialBlob != nullptr) SecureZeroMemory(stored->CredentialBlob, stored->CredentialBlobSize);
  ::CredFree(stored);
  return credential;
}

// The rest of the 407 answer, so that the connection can carry the next try.
void ReadRest(HINTERNET request) {
  char buffer[4096];
  DWORD got = 0;
  for (int i = 0; i < 256 && ::InternetReadFile(request, buffer, sizeof buffer, &got) && got > 0; ++i) {
  }
}

bool SetText(HINTERNET request, DWORD option, const std::wstring& text) {
  return ::InternetSetOptionW(request, option, const_cast<wchar_t*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
}

}  // namespace

ProxyCredential::ProxyCredential(std::wstring user, size_t password_chars)
    : user_(std::move(user)), password_(password_chars, L'\0') {}

ProxyCredential::~ProxyCredential() { SecureZeroMemory(password_.data(), password_.size() * sizeof(wchar_t)); }

std::wstring ProxyForScheme(const std::wstring& list, bool secure) {
  const std::wstring_view wanted = secure ? L"https=" : L"http=";
  std::wstring any;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find_first_of(L"; ", start);
    if (end == std::wstring::npos) end = list.size();
    const std::wstring entry = list.substr(start, end - start);
    start = end + 1;
    if (StartsWithNoCase(entry, wanted)) return HostPort(entry.substr(wanted.size()));
    if (any.empty() && entry.find(L'=') == std::wstring::npos) any = entry;
  }
  return HostPort(any);
}

std::unique_ptr<ProxyCredential> ReadProxyCredential(const std::wstring& host_port) {
  if (auto credential = ReadOne(host_port)) return credential;
  return ReadOne(kProxyCredentialTarget);
}

bool ApplyStoredProxyCredential(HINTERNET session, HINTERNET request, bool secure) {
  const auto credential = ReadProxyCredential(ProxyOf(session, secure));
  if (!credential) return false;
  ReadRest(request);
  return SetText(request, INTERNET_OPTION_PROXY_USERNAME, credential->user()) &&
         SetText(request, INTERNET_OPTION_PROXY_PASSWORD, credential->password());
}

}  // namespace velmorin::platform
