// Alarms in the main window, with the program's own database on a real
// SQLite file: the simulator's call records arrive over a CMDR link on
// loopback, the collector's alarm service evaluates them against a rule
// file, the alarm shows in the message bar and in the alarm list of the
// View menu, and Refresh reads the table again.
#include "common/qt/qt_text.h"
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/store/odbc.h"
#include "lumarc/store/record_store.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/alarm_list.h"
#include "lumarc/window/alarm_watch.h"
#include "lumarc/window/main_window.h"
#include "lumarc/window/program.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QThread>
#include <QToolBar>

#include <filesystem>
#include <fstream>

namespace lumarc::ui {
namespace {

namespace fs = std::filesystem;

using corvane::testing::TempDir;

template <typename Pred>
bool waitUntil(Pred pred, int ms = 20000) {
  QDeadlineTimer deadline(ms);
  while (!pred()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

// corvane-sim cmdr on a free loopback port.
struct CmdrSimulator {
  explicit CmdrSimulator(QStringList args) {
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(qEnvironmentVariable("CORVANE_SIM"), QStringList{"cmdr", "--any-port"} + args);
  }
  ~CmdrSimulator() {
    p.kill();
    p.waitForFinished(5000);
  }
  QString port() {
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
      p.waitForReadyRead(100);
      out += p.readAll();
      auto m = QRegularExpression("listening \\S+:(\\d+)").match(QString::fromUtf8(out));
      if (m.hasMatch()) return m.captured(1);
    }
    return {};
  }
  QProcess p;
  QByteArray out;
};

// The View menu's entry of the alarm list.
QAction* alarmListEntry(MainWindow& w) {
  QMenu* view = w.menuBar()->findChild<QMenu*>("viewMenu");
  if (!view) return nullptr;
  for (QAction* a : view->actions())
    if (a->objectName() == "alarmListCommand") return a;
  return nullptr;
}

QString cell(QTableWidget* t, int row, int column) {
  QTableWidgetItem* item = t->item(row, column);
  return item ? item->text() : QString();
}

TEST(AlarmWindow, AStoredRecordThatMatchesARuleShowsInTheMessageBarAndTheAlarmList) {
  testApplication();
  TempDir tmp("lumarc-alarms");
  const std::string& dir = tmp.path();
  fs::create_directories(dir + "/Wav");
  // The simulator's calls dial 0212555N; kinds A to F come in turn, so of
  // eight records the first and the seventh are calls of kind A.
  std::ofstream(dir + "/rules.toml") << "[[rule]]\nname = \"toll\"\nkind = \"destination\"\n"
                                        "severity = \"critical\"\nprefixes = [\"0212\"]\n";
  CmdrSimulator sim({"--count", "8", "--batch", "4"});
  const QString port = sim.port();
  ASSERT_FALSE(port.isEmpty()) << sim.out.toStdString();

  SettingsBlock settings;
  Program program(dir, settings, englishTexts(), "", "");
  program.setAlarmRules(dir + "/rules.toml");
  MainWindow w(program.windowConfig("-C127.0.0.1:" + port.toStdString(), dir, false));
  ASSERT_TRUE(w.initialise());
  program.attach(w);
  w.show();

  // The alarms of both calls were raised; the message bar shows the last.
  const std::string last = "Alarm (Critical) toll: call from port 1007 to 02125557 (prefix 0212)";
  ASSERT_TRUE(waitUntil([&] { return w.captionMessage() == last; })) << w.captionMessage();
  auto* messageBar = w.findChild<QToolBar*>("messageBar");
  ASSERT_NE(messageBar, nullptr);
  EXPECT_TRUE(messageBar->isVisible());
  EXPECT_EQ(w.findChild<QLabel*>("messageText")->text(), QString::fromStdString(last));

  // The View menu's entry opens the list: newest first, every column.
  QAction* entry = alarmListEntry(w);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), "&Alarms...");
  entry->trigger();
  auto* list = w.findChild<AlarmListDialog*>("alarmList");
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->isVisible());
  QTableWidget* table = list->table();
  ASSERT_EQ(table->rowCount(), 2) << list->note().toStdString();
  EXPECT_EQ(table->horizontalHeaderItem(0)->text(), "Time");
  EXPECT_EQ(table->horizontalHeaderItem(1)->text(), "Severity");
  EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(cell(table, 0, 0)).hasMatch())
      << cell(table, 0, 0).toStdString();
  EXPECT_EQ(cell(table, 0, 1), "Critical");
  EXPECT_EQ(cell(table, 0, 2), "toll");
  EXPECT_EQ(cell(table, 0, 3), "1007");
  EXPECT_EQ(cell(table, 0, 4), "call from port 1007 to 02125557 (prefix 0212)");
  EXPECT_EQ(cell(table, 1, 3), "1001");
  EXPECT_EQ(cell(table, 1, 4), "call from port 1001 to 02125551 (prefix 0212)");
  EXPECT_EQ(list->note(), "Alarms shown: 2");

  // An alarm another program wrote into the same table (a collector on a
  // shared database) shows after Refresh, at the top.
  {
    store::Database db(sqliteConnectionString(dir + "/" + RecordStore::kMainFile));
    db.connection().execute(
        "INSERT INTO Alarm (adate, rule, sever, cport, rkey, atext) VALUES ('2024-05-06 12:00:00', 'quiet', "
        "'warning', '', 0, 'no record from 192.168.1.20 for 30 minutes')");
  }
  list->findChild<QPushButton*>("alarmRefresh")->click();
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_EQ(cell(table, 0, 0), "2024-05-06 12:00:00");
  EXPECT_EQ(cell(table, 0, 1), "Warning");
  EXPECT_EQ(cell(table, 0, 2), "quiet");
  EXPECT_EQ(cell(table, 0, 3), "");
  EXPECT_EQ(cell(table, 1, 3), "1007");

  w.close();
  EXPECT_FALSE(fs::exists(dir + "/fcmdr.txt")) << "no record refused";
}

TEST(AlarmWindow, ARefusedRuleFileIsNamedInTheMessageBarAndNothingRuns) {
  testApplication();
  TempDir tmp("lumarc-alarms");
  const std::string& dir = tmp.path();
  fs::create_directories(dir + "/Wav");
  std::ofstream(dir + "/rules.toml") << "[[rule]]\nname = \"toll\"\nkind = \"destination\"\n"
                                        "severity = \"critical\"\nprefixes = [900]\n";
  SettingsBlock settings;
  Program program(dir, settings, turkishTexts(), "", "");
  program.setAlarmRules(dir + "/rules.toml");
  MainWindow w(program.windowConfig("-x", dir, false));
  ASSERT_TRUE(w.initialise());
  program.attach(w);
  QAction* entry = alarmListEntry(w);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), "&Alarmlar...");
  const QString caption = corvane::qtext(turkishTexts(), w.captionMessage());
  EXPECT_TRUE(caption.startsWith("Alarm kuralları kullanılmıyor: " + QString::fromStdString(dir) + "/rules.toml:5: "))
      << caption.toStdString();
  w.close();
}

TEST(AlarmWindow, TheRuleFileSettingAndTheMessageBarLineInTurkish) {
  testApplication();
  TempDir tmp("lumarc-alarms");
  {
    QSettings s(QString::fromStdString(tmp.file("lumarc.conf")), QSettings::IniFormat);
    EXPECT_EQ(alarmRulesSetting(s), "");
    s.setValue("alarms", " /etc/lumarc/alarms.toml ");
    EXPECT_EQ(alarmRulesSetting(s), "/etc/lumarc/alarms.toml");
  }
  alarms::Alarm a;
  a.rule = "gece";
  a.severity = alarms::Severity::Warning;
  a.text = "call from port 1001 to 09001 (prefix 0900)";
  EXPECT_EQ(corvane::qtext(turkishTexts(), alarmCaption(turkishTexts(), a)),
            "Alarm (Uyarı) gece: call from port 1001 to 09001 (prefix 0900)");
}

}  // namespace
}  // namespace lumarc::ui
