// Proxy credentials from the Credential Manager of the Wine prefix, and the proxy a WinINet
// proxy list names.
#include "platform/win32/win32_proxy_credential.h"

#include <gtest/gtest.h>
#include <wincred.h>

#include <string>

namespace velmorin::platform {
namespace {

TEST(ProxyForScheme, TakesTheSchemesEntryOrTheOneForAll) {
  EXPECT_EQ(ProxyForScheme(L"proxy.farmacia:8080", true), L"proxy.farmacia:8080");
  EXPECT_EQ(ProxyForScheme(L"http=a:3128;https=b:8443", false), L"a:3128");
  EXPECT_EQ(ProxyForScheme(L"ftp=f:21 HTTPS=https://b:8443/", true), L"b:8443");
  EXPECT_EQ(ProxyForScheme(L"http://proxy", false), L"proxy:80");
  EXPECT_EQ(ProxyForScheme(L"[::1]", false), L"[::1]:80");
  EXPECT_EQ(ProxyForScheme(L"ftp=f:21", false), L"");
}

void Store(const wchar_t* target, const wchar_t* user, const std::wstring& password) {
  CREDENTIALW c{};
  c.Type = CRED_TYPE_GENERIC;
  c.TargetName = const_cast<wchar_t*>(target);
  c.UserName = const_cast<wchar_t*>(user);
  c.CredentialBlob = reinterpret_cast<BYTE*>(const_cast<wchar_t*>(password.c_str()));
  c.CredentialBlobSize = static_cast<DWORD>(password.size() * sizeof(wchar_t));
  c.Persist = CRED_PERSIST_LOCAL_MACHINE;
  ASSERT_TRUE(::CredWriteW(&c, 0)) << ::GetLastError();
}

TEST(ReadProxyCredential, ThatOfTheProxyElseTheUpdatersOwnElseNone) {
  Store(L"127.0.0.1:39001", L"farmacia", L"ñandú-1");
  Store(kProxyCredentialTarget, L"todos", std::wstring(L"clave\0", 6));  // stored with its terminator
  const auto own = ReadProxyCredential(L"127.0.0.1:39001");
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->user(), L"farmacia");
  EXPECT_EQ(own->password(), L"ñandú-1");
  const auto other = ReadProxyCredential(L"127.0.0.1:39002");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->user(), L"todos");
  EXPECT_EQ(other->password(), L"clave");
  ::CredDeleteW(kProxyCredentialTarget, CRED_TYPE_GENERIC, 0);
  EXPECT_EQ(ReadProxyCredential(L"127.0.0.1:39002"), nullptr);
  ::CredDeleteW(L"127.0.0.1:39001", CRED_TYPE_GENERIC, 0);
}

}  // namespace
}  // namespace velmorin::platform
