// The edge between the program's 8-bit texts and Qt's Unicode strings.
#pragma once

#include "common/codepage.h"
#include "common/string_table.h"

#include <QString>

#include <string>
#include <string_view>

namespace corvane {

// The program's 8-bit texts are in the code page of its language, which the
// string table in use knows; every conversion names that table.

// 8-bit text -> QString through the texts' code page.
QString qtext(const StringTable& texts, std::string_view bytes);
// Entry id of the texts -> QString.
QString qtext(const StringTable& texts, int id);
// QString -> 8-bit text in the texts' code page; characters the code page
// lacks become "?".
std::string bytes(const StringTable& texts, const QString& s);

}  // namespace corvane
