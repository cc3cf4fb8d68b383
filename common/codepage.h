// 8-bit text stays bytes inside the programs; it is converted to and from
// Unicode only at the window, database and file-name edges, through the code
// page of the program's language.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

enum class Language { English = 0, Turkish = 1, Polish = 2, Hungarian = 3 };
enum class CodePage { Cp1252, Cp1254, Cp1250 };

CodePage codePageFor(Language lang);

// 8-bit bytes -> UTF-8. Every byte maps to one code point.
std::string toUtf8(std::string_view bytes, CodePage cp);
std::string toUtf8(std::string_view bytes, Language lang);
// UTF-8 -> 8-bit bytes; a character the code page cannot hold becomes "?".
std::string fromUtf8(std::string_view utf8, CodePage cp);
std::string fromUtf8(std::string_view utf8, Language lang);

}  // namespace corvane
