// Text is ANSI (Windows-1252) inside the program: one byte a character. These helpers
// convert at the edges, where views and file names need UTF-8 or UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace velmorin {

std::string Utf8FromCp1252(std::string_view cp1252);
// Characters with no CP1252 form become '?'; malformed UTF-8 bytes too.
std::string Cp1252FromUtf8(std::string_view utf8);
std::u16string Utf16FromCp1252(std::string_view cp1252);
std::string Cp1252FromUtf16(std::u16string_view utf16);

// For source literals with accents (sources are UTF-8): Ansi("Versión") is 7 bytes.
inline std::string Ansi(std::string_view utf8_literal) { return Cp1252FromUtf8(utf8_literal); }

// Upper-case as the Spanish ANSI code page does it (a-z, and the accented letters).
char UpperCp1252(char c);
std::string UpperCp1252(std::string_view text);

}  // namespace velmorin
