// The properties window: the content of the main window's "Properties"
// pane, a two-column grid ("Property", "Value") over one property set with
// the description of the current property below it. Definition and user
// edits stay in the window until Save; system settings apply at once, and
// the database choice is stored as soon as it is edited (it takes effect at
// the next start).
#pragma once

#include "common/string_table.h"
#include "lumarc/app/settings.h"
#include "lumarc/browse/properties.h"
#include "lumarc/store/database.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace lumarc::browse {

struct PropWndHooks {
  std::function<void(const std::string&)> message;  // message bar (8-bit text; "" clears)
  std::function<void(int rtype)> definitionSaved;   // list that definition view again
  std::function<void()> userSaved;                  // list the users view again
  std::function<void()> refreshToolbar;
  std::function<store::Database*()> database;  // main database, may be null
};

class PropWnd : public QWidget {
  Q_OBJECT
 public:
  PropWnd(const corvane::StringTable& texts, SettingsBlock& settings, PropWndHooks hooks, QWidget* parent = nullptr);
  ~PropWnd() override;

  void showProgramInfo(const RuntimeStatus& status);  // kind 1
  void showSettings();                                // kind 2
  void showDefinition(const RouteRecord& row);        // kind 3 (RSno 0: a new one)
  void showUser(const UserRecord& row);               // kind 4

  // Command 309 "Save": stores the definition or user shown. False, with
  // the reason in the message bar and the edits kept, when nothing could be
  // stored.
  bool save();

  int kind() const { return int(set_.kind()); }
  bool changed() const { return set_.changed(); }
  const PropertySet& propertySet() const { return set_; }

  // Where the database choice is stored; defaultDbSettingsPath() unless set.
  void setDbSettingsPath(const QString& path) { dbSettingsPath_ = path; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void rebuild();
  QWidget* editorFor(const Property& p, QTreeWidgetItem* item);
  // Hands an edit to the set; a new database kind changes the rows shown.
  void edited(PropertyField field, const std::string& value);
  void storeDatabases();
  void testConnection(bool voice);
  void message(const std::string& text);
  const std::string& t(int id) const { return texts_.text(id); }
  QString toQt(const Property& p, const std::string& value) const;
  std::string fromQt(const Property& p, const QString& value) const;

  const corvane::StringTable& texts_;
  SettingsBlock& settings_;
  PropWndHooks hooks_;
  PropertySet set_;
  QString dbSettingsPath_;
  QTreeWidget* grid_ = nullptr;
  QLabel* description_ = nullptr;
  QPushButton* save_ = nullptr;
};

}  // namespace lumarc::browse
