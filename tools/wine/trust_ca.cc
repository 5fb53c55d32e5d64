// velmorin-trust-ca CA.pem: makes the Wine prefix trust a test certificate authority
// (tools/wine/tls-certificates.sh), for the tests' https site. It goes into the machine's ROOT
// store, where WinINet looks; an earlier CA of the same name is removed first, so a renewed CA
// does not pile up beside the expired ones.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "velmorin-trust-ca: %s failed (error 0x%lx)\n", what, ::GetLastError());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: velmorin-trust-ca CA.pem\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DWORD size = 0;
  if (!::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr)) {
    return Fail("reading the PEM certificate");
  }
  std::vector<BYTE> der(size);
  if (!::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                              nullptr, nullptr)) {
    return Fail("reading the PEM certificate");
  }
  PCCERT_CONTEXT ca = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
  if (ca == nullptr) return Fail("decoding the certificate");

  HCERTSTORE root = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  if (root == nullptr) return Fail("opening the machine's ROOT store");
  // Deleting frees the context found, so each search starts again from the beginning.
  while (PCCERT_CONTEXT old = ::CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                                           &ca->pCertInfo->Subject, nullptr)) {
    if (!::CertDeleteCertificateFromStore(old)) return Fail("removing an earlier CA of that name");
  }
  if (!::CertAddCertificateContextToStore(root, ca, CERT_STORE_ADD_NEW, nullptr)) {
    return Fail("adding the CA to the ROOT store");
  }
  // Wine keeps the changes until the store's last release, which never came once a
  // certificate had been removed: the renewed CA was lost at exit.
  if (!::CertControlStore(root, 0, CERT_STORE_CTRL_COMMIT, nullptr)) return Fail("saving the ROOT store");
  ::CertFreeCertificateContext(ca);
  ::CertCloseStore(root, 0);
  return 0;
}
