// The management program's parts wired together around the main window:
// the record store, the three link panes, the voice converter, the tick
// steps and the idle step.
#pragma once

#include "lumarc/window/main_window.h"

#include <memory>
#include <string>

namespace lumarc::ui {

struct ProgramParts;

class Program {
 public:
  // workDir: the working directory; db / voiceDb: ODBC connection strings
  // of a database server (empty: the embedded files).
  // clang-format off
  Program(std::string workDir, SettingsBlock& settings, const corvane::StringTable& texts,
          std::string db, std::string voiceDb);
  // clang-format on
  ~Program();

  // The configuration of the main window with the store opened through it.
  MainWindowConfig windowConfig(std::string commandLine, std::string desktopDir, bool interactive);
  // Creates the panes in the window and registers ticks and the idle step.
  // Call after MainWindow::initialise() succeeded.
  void attach(MainWindow& window);
  // Evaluates the alarms of this rule file instead of the settings' (see
  // alarm_watch.h); empty: none. Call before attach().
  void setAlarmRules(std::string ruleFile);
  // Stops the conversion worker and closes the databases (program end).
  void shutdown();

 private:
  std::unique_ptr<ProgramParts> parts_;
};

}  // namespace lumarc::ui
