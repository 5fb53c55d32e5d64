// What the system says of a program file's signature (Authenticode on Windows). Only the
// system's answer: what the run does with it is decided once, in the core.
#pragma once

#include <string>

namespace velmorin::platform {

enum class Signature {
  kVerified,    // signed, the content matches and the chain ends at a root this workstation trusts
  kNone,        // no signature at all
  kUntrusted,   // the signature matches the content, but this workstation cannot trust its chain
  kBad,         // a signature that does not match the content, cannot be read, or is revoked
  kNotChecked,  // this system does not check, or the check itself failed
};

struct TrustVerdict {
  Signature signature = Signature::kNotChecked;
  std::string signer;  // the signer's name (CP1252) when the certificate could be read
  std::string reason;  // why it is not verified: Spanish, CP1252; empty when verified or unsigned
};

class ProgramTrust {
 public:
  virtual ~ProgramTrust() = default;
  // `path`: a Windows path as the core writes it (CP1252). Another handle may hold the file open
  // for writing (a download's temporary file).
  virtual TrustVerdict Check(const std::string& path) = 0;
};

}  // namespace velmorin::platform
