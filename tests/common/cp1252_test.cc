#include "common/cp1252.h"

#include <gtest/gtest.h>

#include "common/runtime_error.h"

namespace velmorin {
namespace {

TEST(Cp1252, SourceLiteralsBecomeOneByteACharacter) {
  EXPECT_EQ(Ansi("VELMORÍN"), "VELMOR\xCDN");
  EXPECT_EQ(Ansi("VELMORÍN").size(), 8u);
  EXPECT_EQ(Ansi(" Condiciones de dispensación").size(), 28u);
  EXPECT_EQ(Ansi("€"), "\x80");
}

TEST(Cp1252, RoundTripsEveryByteThroughUtf8AndUtf16) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Cp1252FromUtf8(Utf8FromCp1252(all)), all);
  EXPECT_EQ(Cp1252FromUtf16(Utf16FromCp1252(all)), all);
  EXPECT_EQ(Utf16FromCp1252("\x80\xF1"), u"\u20AC\u00F1");
}

TEST(Cp1252, UnmappableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(Cp1252FromUtf8("日"), "?");
  EXPECT_EQ(Cp1252FromUtf8("\xC3"), "?");
  EXPECT_EQ(Cp1252FromUtf8("a\xFF"
                           "b"),
            "a?b");
}

TEST(Cp1252, UpperCaseCoversSpanishLetters) {
  EXPECT_EQ(UpperCp1252(Ansi("castilla y león")), Ansi("CASTILLA Y LEÓN"));
  EXPECT_EQ(UpperCp1252(Ansi("ñ:datos")), Ansi("Ñ:DATOS"));
}

TEST(RuntimeError, CarriesNumberAndSpanishDescription) {
  const struct {
    int number;
    const char* utf8;
  } cases[] = {{5, "Llamada a procedimiento o argumento no válidos"},
               {6, "Desbordamiento"},
               {52, "Nombre o número de archivo incorrecto"},
               {53, "No se ha encontrado el archivo"},
               {55, "El archivo ya está abierto"},
               {62, "La entrada pasa del final del archivo"},
               {63, "Número de registro incorrecto"},
               {75, "Error de acceso a la ruta o el archivo"},
               {76, "No se ha encontrado la ruta de acceso"}};
  for (const auto& c : cases) {
    const RuntimeError e(c.number);
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.description(), Ansi(c.utf8));
  }
  EXPECT_EQ(RuntimeErrorReportText(RuntimeError(53)),
            Ansi("Se ha producido el error '53' en tiempo de ejecución:\n\nNo se ha encontrado el archivo"));
}

}  // namespace
}  // namespace velmorin
