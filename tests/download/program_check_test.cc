#include "download/program_check.h"

#include <gtest/gtest.h>

#include "common/cp1252.h"

namespace velmorin {
namespace {

using platform::Signature;
using platform::TrustVerdict;

struct Case {
  TrustVerdict verdict;
  bool refused;
  const char* text;  // UTF-8
};

TEST(JudgeProgram, WithoutASignerOnlyASignatureThatDoesNotHoldIsRefused) {
  const Case cases[] = {
      {{Signature::kVerified, "Maker"}, false, "firmado por Maker"},
      {{Signature::kNone}, false, "sin firma"},
      {{Signature::kUntrusted, "Maker", "sin raíz"}, false, "firma de Maker no verificada en este equipo: sin raíz"},
      {{Signature::kBad, "Maker", "cambiada"}, true, "firma de Maker no válida: cambiada"},
      {{Signature::kBad, "", "ilegible"}, true, "firma no válida: ilegible"},
      {{Signature::kNotChecked, "", "aquí no"}, false, "firma no comprobada: aquí no"},
  };
  for (const Case& c : cases) {
    TrustVerdict verdict = c.verdict;
    verdict.reason = Ansi(verdict.reason);
    const ProgramCheck check = JudgeProgram(verdict, "");
    EXPECT_EQ(check.refused, c.refused) << c.text;
    EXPECT_EQ(Utf8FromCp1252(check.text), c.text);
  }
}

// Only this mode stops a program swapped on the way: an attacker can serve an unsigned one.
TEST(JudgeProgram, WithASignerOnlyItsVerifiedSignaturePasses) {
  const std::string maker = Ansi("Velmorín Sistemas");
  EXPECT_FALSE(JudgeProgram({Signature::kVerified, maker}, maker).refused);
  const TrustVerdict others[] = {{Signature::kVerified, "Otro"},
                                 {Signature::kVerified, UpperCp1252(maker)},
                                 {Signature::kNone},
                                 {Signature::kUntrusted, maker, "sin raíz"},
                                 {Signature::kBad, maker, "cambiada"},
                                 {Signature::kNotChecked, "", "aquí no"}};
  for (const TrustVerdict& verdict : others) {
    const ProgramCheck check = JudgeProgram(verdict, maker);
    EXPECT_TRUE(check.refused) << check.text;
    EXPECT_TRUE(check.text.ends_with("; se exige la firma de " + maker)) << check.text;
  }
}

}  // namespace
}  // namespace velmorin
