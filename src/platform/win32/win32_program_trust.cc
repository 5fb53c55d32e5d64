#include "platform/win32/win32_program_trust.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>
// clang-format on

#include <cstdio>
#include <vector>

#include "common/cp1252.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_handle.h"

namespace velmorin::platform {
namespace {

TrustVerdict Verdict(Signature signature, const char* reason_utf8, unsigned long code) {
  char number[32];
  std::snprintf(number, sizeof number, " (código 0x%08lX)", code);
  return {.signature = signature, .reason = Ansi(std::string(reason_utf8) + number)};
}

// WinVerifyTrust's answer in the terms of the core. A missing root or an expired certificate
// is this workstation's view of a chain; a changed byte, an unreadable or a revoked signature
// is the file's own fault.
TrustVerdict Classify(LONG status, DWORD last_error) {
  const auto code = static_cast<unsigned long>(status);
  switch (status) {
    case ERROR_SUCCESS: return {.signature = Signature::kVerified};
    case TRUST_E_NOSIGNATURE:
      // Also said of a signature that is there but cannot be decoded: the last error tells.
      if ((last_error & 0xFFFF0000) != 0x80090000) return {.signature = Signature::kNone};
      return Verdict(Signature::kBad, "la firma está dañada o no se puede leer", last_error);
    case TRUST_E_SUBJECT_FORM_UNKNOWN: return {.signature = Signature::kNone};
    case TRUST_E_BAD_DIGEST: return Verdict(Signature::kBad, "la firma no corresponde al contenido del archivo", code);
    case CERT_E_REVOKED:
    case CRYPT_E_REVOKED: return Verdict(Signature::kBad, "el certificado del firmante está revocado", code);
    case TRUST_E_EXPLICIT_DISTRUST:
      return Verdict(Signature::kBad, "el certificado del firmante está marcado como no fiable", code);
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
    case CERT_E_UNTRUSTEDTESTROOT:
      return Verdict(Signature::kUntrusted, "su cadena no llega a una raíz de confianza de este equipo", code);
    case CERT_E_EXPIRED: return Verdict(Signature::kUntrusted, "el certificado del firmante ha caducado", code);
    case CRYPT_E_FILE_ERROR:
    case TRUST_E_PROVIDER_UNKNOWN:
    case TRUST_E_ACTION_UNKNOWN: return Verdict(Signature::kNotChecked, "no se pudo comprobar la firma", code);
    default: break;
  }
  if ((code & 0xFFFFFF00) == 0x800B0100 || code == static_cast<unsigned long>(TRUST_E_SUBJECT_NOT_TRUSTED)) {
    return Verdict(Signature::kUntrusted, "su cadena de certificados no es válida en este equipo", code);
  }
  if ((code & 0xFFFF0000) == 0x80090000) {
    return Verdict(Signature::kBad, "la firma está dañada o no se puede leer", code);
  }
  return Verdict(Signature::kNotChecked, "no se pudo comprobar la firma", code);
}

// The name of the certificate that signed, as Windows shows it (the subject's common name).
std::string SignerName(HANDLE state) {
  if (state == nullptr) return {};
  CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(state);
  CRYPT_PROVIDER_SGNR* signer = provider == nullptr ? nullptr : ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) return {};
  PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
  wchar_t name[256] = L"";
  if (certificate == nullptr ||
      ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, std::size(name)) <= 1) {
    return {};
  }
  return Narrow(name);
}

class Win32ProgramTrust : public ProgramTrust {
 public:
  TrustVerdict Check(const std::string& path) override {
    const std::wstring wide = Wide(path);
    // Every sharing allowed: a download's temporary file is still open for writing.
    UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Verdict(Signature::kNotChecked, "no se pudo leer el archivo", ::GetLastError());
    WINTRUST_FILE_INFO info{};
    info.cbStruct = sizeof info;
    info.pcwszFilePath = wide.c_str();
    info.hFile = file.get();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    // Revocation from nothing but what the system holds: a pharmacy offline is not held up.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND no_user = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG status = ::WinVerifyTrust(no_user, &action, &data);
    TrustVerdict verdict = Classify(status, ::GetLastError());
    verdict.signer = SignerName(data.hWVTStateData);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(no_user, &action, &data);
    return verdict;
  }
};

class BCryptSha256 : public Sha256 {
 public:
  // Windows 7 wants the hash object's memory from the caller.
  bool Open() {
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
    DWORD size = 0;
    ULONG got = 0;
    if (!BCRYPT_SUCCESS(::BCryptGetProperty(algorithm_, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size),
                                            sizeof size, &got, 0))) {
      return false;
    }
    object_.resize(size);
    return Restart();
  }
  ~BCryptSha256() override {
    if (hash_ != nullptr) ::BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) ::BCryptCloseAlgorithmProvider(algorithm_, 0);
  }

  void Update(std::span<const char> data) override {
    ::BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())), static_cast<ULONG>(data.size()),
                     0);
  }

  std::array<uint8_t, 32> Finish() override {
    std::array<uint8_t, 32> digest{};
    ::BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
    Restart();
    return digest;
  }

 private:
  bool Restart() {
    if (hash_ != nullptr) ::BCryptDestroyHash(hash_);
    hash_ = nullptr;
    return BCRYPT_SUCCESS(
        ::BCryptCreateHash(algorithm_, &hash_, object_.data(), static_cast<ULONG>(object_.size()), nullptr, 0, 0));
  }

  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  std::vector<UCHAR> object_;
};

}  // namespace

std::unique_ptr<ProgramTrust> MakeWin32ProgramTrust() { return std::make_unique<Win32ProgramTrust>(); }

std::unique_ptr<Sha256> MakeWin32Sha256() {
  auto sha = std::make_unique<BCryptSha256>();
  if (!sha->Open()) return nullptr;
  return sha;
}

}  // namespace velmorin::platform
