// Program signatures and digests on Linux: the signatures are Windows' own (Authenticode), which
// this build does not check and says so; SHA-256 comes from OpenSSL's libcrypto.
#pragma once

#include <memory>

#include "platform/program_trust.h"
#include "platform/sha256.h"

namespace velmorin::platform {

std::unique_ptr<ProgramTrust> MakePosixProgramTrust();
std::unique_ptr<Sha256> MakePosixSha256();

}  // namespace velmorin::platform
