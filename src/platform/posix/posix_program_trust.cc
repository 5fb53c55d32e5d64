#include "platform/posix/posix_program_trust.h"

#include <openssl/evp.h>

#include <stdexcept>

#include "common/cp1252.h"

namespace velmorin::platform {
namespace {

class PosixProgramTrust : public ProgramTrust {
 public:
  TrustVerdict Check(const std::string&) override {
    return {.signature = Signature::kNotChecked, .reason = Ansi("este sistema no comprueba firmas de Windows")};
  }
};

class OpenSslSha256 : public Sha256 {
 public:
  OpenSslSha256() : context_(EVP_MD_CTX_new()) {
    if (context_ == nullptr) throw std::bad_alloc();
    Restart();
  }
  ~OpenSslSha256() override { EVP_MD_CTX_free(context_); }
  OpenSslSha256(const OpenSslSha256&) = delete;
  OpenSslSha256& operator=(const OpenSslSha256&) = delete;

  void Update(std::span<const char> data) override { EVP_DigestUpdate(context_, data.data(), data.size()); }

  std::array<uint8_t, 32> Finish() override {
    std::array<uint8_t, 32> digest{};
    EVP_DigestFinal_ex(context_, digest.data(), nullptr);
    Restart();
    return digest;
  }

 private:
  void Restart() {
    if (EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) throw std::runtime_error("SHA-256 unavailable");
  }
  EVP_MD_CTX* context_;
};

}  // namespace

std::unique_ptr<ProgramTrust> MakePosixProgramTrust() { return std::make_unique<PosixProgramTrust>(); }
std::unique_ptr<Sha256> MakePosixSha256() { return std::make_unique<OpenSslSha256>(); }

}  // namespace velmorin::platform
