// The alarms in the management program. With a rule file set (the setting
// "alarms", the same TOML file as the collector's alarms= line or
// --alarms), the collector's alarm service runs beside the window on a
// database connection of its own: woken after each CMDR pass that stored
// records, it evaluates them, writes table Alarm and acts on each alarm as
// the collector does, and every alarm it raises becomes the message bar's
// line, with its severity. The View menu's "Alarms..." opens the alarm
// list, with or without a rule file (a collector on a shared database
// writes the same table).
#pragma once

#include "common/string_table.h"
#include "lumarc/alarms/alarm_engine.h"
#include "lumarc/alarms/alarm_service.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

class QAction;
class QSettings;

namespace lumarc {
class Station;
}

namespace lumarc::ui {

class AlarmListDialog;
class MainWindow;

// The rule file of the program's settings (QSettings "BRENNIC"/"BRENNIC
// Lumarc", key "alarms"); empty when none is set.
std::string alarmRulesSetting();
std::string alarmRulesSetting(const QSettings& settings);

// The message bar line of an alarm, in the texts' words:
// "Alarm (Critical) toll: call from port 1007 to 02125557 (prefix 0212)".
std::string alarmCaption(const corvane::StringTable& texts, const alarms::Alarm& a);

class AlarmWatch : public QObject {
  Q_OBJECT
 public:
  // Adds "Alarms..." to the window's View menu.
  AlarmWatch(MainWindow& window, Station& station);
  ~AlarmWatch() override;

  // Reads the rule file and starts the alarm service over the station's
  // main database. A file that cannot be read or is refused is named in the
  // message bar and nothing starts; an empty name starts nothing. Call once
  // the databases are open.
  bool start(const std::string& ruleFile);
  // Records were stored: evaluate them soon.
  void wake();
  // Ends the service (waiting mails are sent).
  void stop();
  bool running() const { return service_ != nullptr; }

  // Opens (or raises) the alarm list and reads it again.
  AlarmListDialog* showList();
  QAction* listAction() const { return listAction_; }

 private:
  void alarmRaised(const alarms::Alarm& a);

  QPointer<MainWindow> window_;
  Station& station_;
  std::unique_ptr<alarms::AlarmService> service_;
  QAction* listAction_ = nullptr;
  QPointer<AlarmListDialog> list_;
};

}  // namespace lumarc::ui
