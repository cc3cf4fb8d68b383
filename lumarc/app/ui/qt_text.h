// The edge between the program's 8-bit texts and Qt's Unicode strings.
#pragma once

#include "common/codepage.h"

#include <QString>

#include <string>
#include <string_view>

namespace lumarc::ui {

// The code page of the program's language; set once at start.
void setUiLanguage(corvane::Language lang);
corvane::Language uiLanguage();

// 8-bit text -> QString through the language's code page.
QString qtext(std::string_view bytes);
// QString -> 8-bit text; characters the code page lacks become "?".
std::string bytes(const QString& s);

}  // namespace lumarc::ui
