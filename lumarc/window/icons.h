// Small icons drawn at run time, so the program needs no image files.
#pragma once

#include <QIcon>

namespace lumarc::ui {

// Tab state icons of the link panes: 1 connected, 2 closed or failed,
// 3 connecting.
QIcon linkStateIcon(int icon);

// The toolbar icon of a main-window command.
QIcon commandIcon(int command);

}  // namespace lumarc::ui
