#include "download/program_check.h"

#include "common/cp1252.h"
#include "common/runtime_error.h"
#include "common/text.h"
#include "download/expand_file.h"
#include "download/file_facts.h"
#include "download/transfer_failure.h"

namespace velmorin {
namespace {

constexpr char kStagedSuffix[] = ".nuevo~";

using platform::Signature;

std::string Described(const platform::TrustVerdict& verdict) {
  const std::string by = verdict.signer.empty() ? "" : " de " + verdict.signer;
  switch (verdict.signature) {
    case Signature::kVerified: return "firmado por " + verdict.signer;
    case Signature::kNone: return "sin firma";
    case Signature::kUntrusted: return "firma" + by + Ansi(" no verificada en este equipo: ") + verdict.reason;
    case Signature::kBad: return "firma" + by + Ansi(" no válida: ") + verdict.reason;
    case Signature::kNotChecked: break;
  }
  return "firma no comprobada: " + verdict.reason;
}

void RemoveQuietly(platform::FileSystem& fs, const std::string& path) {
  try {
    fs.RemoveFile(path);
  } catch (const RuntimeError&) {
    // Left for the next expansion, which writes over it.
  }
}

}  // namespace

ProgramCheck JudgeProgram(const platform::TrustVerdict& verdict, std::string_view trusted_signer) {
  const std::string text = Described(verdict);
  if (trusted_signer.empty()) return {verdict.signature == Signature::kBad, text};
  if (verdict.signature == Signature::kVerified && verdict.signer == trusted_signer) return {false, text};
  return {true, text + Ansi("; se exige la firma de ") + std::string(trusted_signer)};
}

ProgramCheck CheckProgram(platform::ProgramTrust* trust, const std::string& path, std::string_view trusted_signer) {
  platform::TrustVerdict verdict;
  if (trust != nullptr) {
    verdict = trust->Check(path);
  } else {
    verdict.reason = Ansi("este sistema no comprueba firmas");
  }
  return JudgeProgram(verdict, trusted_signer);
}

bool IsProgramDownload(std::string_view target) { return UpperCp1252(Right(target, 4)) == ".EXE"; }

bool MayStartProgram(platform::Platform& platform, const std::string& program, std::string_view trusted_signer) {
  if (!platform.fs.FileExists(program)) return true;
  const ProgramCheck check = CheckProgram(platform.trust, program, trusted_signer);
  if (check.refused) {
    platform::Report(platform, "programa rechazado", program + ": " + check.text + "; no se inicia");
  } else {
    platform::Report(platform, "firma", program + ": " + check.text);
  }
  return !check.refused;
}

Expansion ExpandProgram(platform::Platform& platform, const std::string& source, const std::string& program,
                        std::string_view trusted_signer) {
  const std::string staged = program + kStagedSuffix;
  if (!ExpandFile(platform.fs, source, staged)) return Expansion::kFailed;
  const ProgramCheck check = CheckProgram(platform.trust, staged, trusted_signer);
  if (check.refused) {
    RemoveQuietly(platform.fs, staged);
    const size_t slash = program.find_last_of("\\/:");
    TransferFailure refused{.kind = TransferFailureKind::kProgramRefused, .detail = check.text};
    refused.file = program.substr(slash == std::string::npos ? 0 : slash + 1);
    refused.target = program;
    platform::Report(platform, "programa rechazado", program + ": " + FailureText(refused));
    return Expansion::kRefused;
  }
  try {
    platform.fs.Rename(staged, program);
  } catch (const RuntimeError&) {
    RemoveQuietly(platform.fs, staged);
    return Expansion::kFailed;
  }
  platform::Report(platform, "firma", program + ": " + check.text + "; " + FileFacts(platform, program));
  return Expansion::kPlaced;
}

}  // namespace velmorin
