// velmorin-store-credential TARGET USER PASSWORD: stores a generic credential in the Wine
// prefix's Credential Manager, as `cmdkey /generic:TARGET /user:USER /pass:PASSWORD` does on
// Windows (Wine has no cmdkey). For the runs behind a proxy that demands a password.
#include <windows.h>
#include <wincred.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fputs("usage: velmorin-store-credential TARGET USER PASSWORD\n", stderr);
    return 2;
  }
  CREDENTIALW credential{};
  credential.Type = CRED_TYPE_GENERIC;
  credential.TargetName = argv[1];
  credential.UserName = argv[2];
  credential.CredentialBlob = reinterpret_cast<BYTE*>(argv[3]);
  credential.CredentialBlobSize = static_cast<DWORD>(std::wcslen(argv[3]) * sizeof(wchar_t));
  credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
  if (::CredWriteW(&credential, 0)) return 0;
  std::fprintf(stderr, "velmorin-store-credential: CredWriteW failed (error %lu)\n", ::GetLastError());
  return 1;
}
