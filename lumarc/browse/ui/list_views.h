// The users view and the dialled-digit and calling-number views: lists of
// the Pdata and Rout rows built by the definitions module, their commands
// and context menus. Rows are edited in the properties window.
#pragma once

#include "lumarc/app/settings.h"
#include "lumarc/browse/ui/dblist.h"
#include "lumarc/records/records.h"

#include <functional>
#include <memory>
#include <string>

class QMenu;

namespace lumarc::store {
class Database;
}

namespace lumarc::browse {

// Line kinds of these views.
inline constexpr int32_t kUserLine = 6;
inline constexpr int32_t kDefinitionLine = 7;

// What the list views need of the program around them.
struct ListViewHooks {
  std::function<store::Database*()> database;              // the main database; may be null
  std::function<void(const std::string&)> message;         // message bar (8-bit text)
  std::function<void(const UserRecord&)> editUser;         // into the properties window
  std::function<void(const RouteRecord&)> editDefinition;  // into the properties window
  std::function<void()> refreshToolbar;
};

class CfwDbUsr : public CfwDblist {
  Q_OBJECT
 public:
  // clang-format off
  CfwDbUsr(const corvane::StringTable& texts, SettingsBlock& settings, ListViewHooks hooks,
           QWidget* parent = nullptr);
  // clang-format on

  // Lists the users again in the format and order of the settings; keepTop
  // keeps the line shown at the top where the list still reaches it.
  void list(bool keepTop = false);
  bool listed() const { return listed_; }
  // The view's commands: Scan, Edit, Change list format, Change sort order,
  // Select all, Select none and Toggle selection.
  void command(int id);
  bool commandEnabled(int id) const;
  // The context menu "Recordp" for a line; nothing for a line of another kind.
  std::unique_ptr<QMenu> contextMenu(int line);

 private:
  void edit(int line);
  // The user of the selected line, or 0.
  int32_t selectedUser() const;

  const corvane::StringTable& texts_;
  SettingsBlock& settings_;
  ListViewHooks hooks_;
  bool listed_ = false;
};

class CfwDbDgt : public CfwDblist {
  Q_OBJECT
 public:
  // type: kDialledDigits or kCallingNumber.
  CfwDbDgt(const corvane::StringTable& texts, SettingsBlock& settings, int32_t type, ListViewHooks hooks,
           QWidget* parent = nullptr);

  int32_t type() const { return type_; }
  void list(bool keepTop = false);
  bool listed() const { return listed_; }
  // Scan, Add, Edit, Delete and Change sort order.
  void command(int id);
  bool commandEnabled(int id) const;
  // The context menu "Recordr" for a line; nothing for a line of another kind.
  std::unique_ptr<QMenu> contextMenu(int line);

 private:
  void edit(int line);
  int32_t selectedDefinition() const;

  const corvane::StringTable& texts_;
  SettingsBlock& settings_;
  int32_t type_;
  ListViewHooks hooks_;
  bool listed_ = false;
};

}  // namespace lumarc::browse
