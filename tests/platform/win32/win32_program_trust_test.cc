// Authenticode as WinVerifyTrust sees it, on the test helper signed with throwaway certificates
// (tools/wine/signed-programs.sh). A chain this workstation does not trust cannot be shown under
// Wine, which accepts any self-signed root: the core's policy for it is tested on a fake.
#include "platform/win32/win32_program_trust.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <wincrypt.h>

#include "common/cp1252.h"
#include "download/program_check.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/wine_test_env.h"
#include "support/temp_dir.h"

namespace velmorin {
namespace {

using platform::Signature;

std::string Program(const std::string& name) {
  return test_support::WindowsPath(std::string(VELMORIN_SIGNED_PROGRAMS) + "/" + name).string();
}

class Win32ProgramTrustTest : public testing::Test {
 protected:
  // As on a workstation whose maker's root is installed: the signer is in the machine's roots.
  static void SetUpTestSuite() {
    const std::string der = test_support::ReadFileBytes(Program("signer.cer"));
    HCERTSTORE root = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(::CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                   static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                   nullptr));
    ::CertCloseStore(root, 0);
  }
  std::unique_ptr<platform::ProgramTrust> trust_ = platform::MakeWin32ProgramTrust();
};

TEST_F(Win32ProgramTrustTest, SignedChangedUnsignedAndAnotherSigner) {
  const platform::TrustVerdict intact = trust_->Check(Program("signed.exe"));
  EXPECT_EQ(intact.signature, Signature::kVerified) << intact.reason;
  EXPECT_EQ(intact.signer, "Velmorin test signing");
  const platform::TrustVerdict changed = trust_->Check(Program("changed.exe"));
  EXPECT_EQ(changed.signature, Signature::kBad);
  EXPECT_EQ(changed.reason, Ansi("la firma no corresponde al contenido del archivo (código 0x80096010)"));
  EXPECT_EQ(trust_->Check(Program("unsigned.exe")).signature, Signature::kNone);
  EXPECT_EQ(trust_->Check(Program("other.exe")).signer, "Otro firmante");
  EXPECT_EQ(trust_->Check(Program("missing.exe")).signature, Signature::kNotChecked);
  // As a download's temporary file is: still open for writing.
  const std::wstring path = platform::Wide(Program("signed.exe"));
  platform::UniqueHandle writer(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer);
  EXPECT_EQ(trust_->Check(Program("signed.exe")).signature, Signature::kVerified);
}

TEST_F(Win32ProgramTrustTest, WithATrustedSignerOnlyItsProgramsPass) {
  const auto judged = [&](const char* name) {
    return JudgeProgram(trust_->Check(Program(name)), "Velmorin test signing").refused;
  };
  EXPECT_FALSE(judged("signed.exe"));
  EXPECT_TRUE(judged("other.exe"));
  EXPECT_TRUE(judged("unsigned.exe"));
  EXPECT_TRUE(judged("changed.exe"));
}

}  // namespace
}  // namespace velmorin
