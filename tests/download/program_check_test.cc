#include "download/program_check.h"

#include <gtest/gtest.h>

#include "common/cp1252.h"

namespace velmorin {
namespace {

using platform::Signature;

// Only the signer mode stops a program swapped on the way: an attacker can serve an unsigned one.
TEST(JudgeProgram, WhatEachAnswerLetsThroughWithoutAndWithATrustedSigner) {
  const std::string maker = Ansi("Velmorín");
  const struct {
    platform::TrustVerdict verdict;
    const char* text;  // UTF-8
    bool refused, refused_by_signer_mode;
  } cases[] = {
      {{Signature::kVerified, maker}, "firmado por Velmorín", false, false},
      {{Signature::kVerified, "Otro"}, "firmado por Otro", false, true},
      {{Signature::kVerified, UpperCp1252(maker)}, "firmado por VELMORÍN", false, true},
      {{Signature::kNone}, "sin firma", false, true},
      {{Signature::kUntrusted, maker, "x"}, "firma de Velmorín no verificada en este equipo: x", false, true},
      {{Signature::kBad, maker, "x"}, "firma de Velmorín no válida: x", true, true},
      {{Signature::kBad, "", "x"}, "firma no válida: x", true, true},
      {{Signature::kNotChecked, "", "x"}, "firma no comprobada: x", false, true},
  };
  for (const auto& c : cases) {
    const ProgramCheck check = JudgeProgram(c.verdict, "");
    EXPECT_EQ(check.refused, c.refused) << c.text;
    EXPECT_EQ(Utf8FromCp1252(check.text), c.text);
    const ProgramCheck strict = JudgeProgram(c.verdict, maker);
    EXPECT_EQ(strict.refused, c.refused_by_signer_mode) << c.text;
    const std::string demand = strict.refused ? "; se exige la firma de Velmorín" : "";
    EXPECT_EQ(Utf8FromCp1252(strict.text), c.text + demand);
  }
}

}  // namespace
}  // namespace velmorin
