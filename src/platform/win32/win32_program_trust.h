// Program signatures and digests on Windows: Authenticode through WinVerifyTrust, SHA-256
// through CNG (bcrypt), both present on Windows 7.
#pragma once

#include <memory>

#include "platform/program_trust.h"
#include "platform/sha256.h"

namespace velmorin::platform {

std::unique_ptr<ProgramTrust> MakeWin32ProgramTrust();
// Nothing when the system's SHA-256 provider cannot be opened.
std::unique_ptr<Sha256> MakeWin32Sha256();

}  // namespace velmorin::platform
