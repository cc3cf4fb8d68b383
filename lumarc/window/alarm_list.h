// The alarm list: the rows of table Alarm, newest first (time, severity,
// rule, port, text), read when the window opens and again by Refresh. A
// window of its own beside the main window, opened from the View menu.
#pragma once

#include "common/string_table.h"
#include "lumarc/alarms/alarm_store.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QTableWidget;

namespace lumarc::ui {

// The text id of a severity as table Alarm writes it ("critical",
// "warning", "info"); 0 for anything else.
int severityTextId(const std::string& sever);

class AlarmListDialog : public QDialog {
  Q_OBJECT
 public:
  // Reads the newest rows, newest first; false with the cause.
  using Reader = std::function<bool(std::vector<alarms::AlarmRow>& rows, std::string& error)>;
  // The most rows shown.
  static constexpr size_t kMostRows = 1000;

  AlarmListDialog(const corvane::StringTable& texts, Reader reader, QWidget* parent = nullptr);

  // Reads the rows again.
  void refresh();
  QTableWidget* table() const { return table_; }
  // The line under the table: how many are shown, or why none could be read.
  QString note() const;

 private:
  const corvane::StringTable& texts_;
  Reader reader_;
  QTableWidget* table_ = nullptr;
  QLabel* note_ = nullptr;
};

}  // namespace lumarc::ui
