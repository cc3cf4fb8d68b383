// Where the main and voice databases live, stored between starts in an INI
// file of the user's configuration folder (never in "Lumarc.set", whose
// layout is fixed). The file holds a password, so it is readable by the
// user alone (mode 0600) from the moment it exists.
#pragma once

#include "lumarc/app/db_connection.h"

#include <QString>

namespace lumarc::browse {

// "<the application's configuration folder>/database.ini".
QString defaultDbSettingsPath();

// The stored choice; both databases embedded when the file is missing or
// names no choice.
DbChoice loadDbSettings(const QString& path);

// Stores the choice. The file is made with mode 0600 before anything is
// written into it, and its mode is checked again once written. False when it
// could not be written or kept private.
bool saveDbSettings(const DbChoice& choice, const QString& path);

}  // namespace lumarc::browse
