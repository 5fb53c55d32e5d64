// The one rule for the programs the run starts and for those a download puts in place: which
// answers of the system on a program's signature let it through, and how the report words it.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/program_trust.h"

namespace velmorin {

struct ProgramCheck {
  bool refused = false;
  std::string text;  // for the report (CP1252): the signer, "sin firma", or why
};

// With no trusted signer, only a signature that is there and does not hold is refused: an
// unsigned program, or one whose chain this workstation cannot verify, goes on as before (the
// maker's programs may be unsigned; an old Windows may lack a root). With one, anything but a
// verified signature by exactly that signer is refused.
ProgramCheck JudgeProgram(const platform::TrustVerdict& verdict, std::string_view trusted_signer);

// The system's answer on `path` (no ProgramTrust: not checked), judged as above.
ProgramCheck CheckProgram(platform::ProgramTrust* trust, const std::string& path, std::string_view trusted_signer);

// Whether a download to `target` is a program, to be checked before it replaces the old copy.
bool IsProgramDownload(std::string_view target);

// Reports the check of `program` and says whether it may start. A file that is not there is
// not checked: its start fails as it always has.
bool MayStartProgram(platform::Platform& platform, const std::string& program, std::string_view trusted_signer);

enum class Expansion { kPlaced, kFailed, kRefused };

// Expands the compressed download `source` into a staged copy beside `program`, which replaces
// the program only once its check lets it through; the report gives the check, or the refusal
// in the words of a refused download. A failed expansion or a refusal leaves the old program.
Expansion ExpandProgram(platform::Platform& platform, const std::string& source, const std::string& program,
                        std::string_view trusted_signer);

}  // namespace velmorin
