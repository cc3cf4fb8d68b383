#include "lumarc/window/alarm_watch.h"

#include "common/files.h"
#include "common/qt/qt_text.h"
#include "lumarc/alarms/alarm_rules.h"
#include "lumarc/app/station.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/alarm_list.h"
#include "lumarc/window/main_window.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include <csignal>
#include <cstdio>
#include <optional>

namespace lumarc::ui {

using corvane::qtext;

namespace {
constexpr const char* kAlarmsKey = "alarms";
}  // namespace

std::string alarmRulesSetting(const QSettings& settings) {
  return QFile::encodeName(settings.value(kAlarmsKey).toString().trimmed()).toStdString();
}

std::string alarmRulesSetting() {
  const QSettings settings("BRENNIC", kWindowTitle);
  return alarmRulesSetting(settings);
}

std::string alarmCaption(const corvane::StringTable& texts, const alarms::Alarm& a) {
  int sever = kTextSeverityInfo;
  switch (a.severity) {
    case alarms::Severity::Critical: sever = kTextSeverityCritical; break;
    case alarms::Severity::Warning: sever = kTextSeverityWarning; break;
    case alarms::Severity::Info: sever = kTextSeverityInfo; break;
  }
  return texts.text(kTextAlarmCaption) + " (" + texts.text(sever) + ") " + a.rule + ": " + a.text;
}

AlarmWatch::AlarmWatch(MainWindow& window, Station& station) : window_(&window), station_(station) {
  setObjectName("alarmWatch");
  const corvane::StringTable& texts = window.texts();
  listAction_ = new QAction(qtext(texts, kTextAlarmsMenu), this);
  listAction_->setObjectName("alarmListCommand");
  listAction_->setToolTip(qtext(texts, kTextAlarmsTip));
  listAction_->setStatusTip(qtext(texts, kTextAlarmsTip));
  connect(listAction_, &QAction::triggered, this, [this] { showList(); });
  if (auto* view = window.menuBar()->findChild<QMenu*>("viewMenu")) {
    view->addSeparator();
    view->addAction(listAction_);
  }
}

AlarmWatch::~AlarmWatch() {
  stop();
  delete list_;  // it reads through this
}

bool AlarmWatch::start(const std::string& ruleFile) {
  if (ruleFile.empty() || service_ || !window_) return false;
  const corvane::StringTable& texts = window_->texts();
  store::Database* db = station_.store().mainDatabase();
  if (!db) return false;
  auto notUsed = [&](unsigned line, const std::string& why) {
    QString where = QFile::decodeName(ruleFile.c_str());
    if (line) where += ":" + QString::number(line);
    window_->setCaptionMessage(corvane::bytes(
        texts, qtext(texts, kTextAlarmRulesNotUsed) + " " + where + ": " + QString::fromUtf8(why.c_str())));
    return false;
  };
  const std::optional<std::string> text = corvane::readFileBytes(ruleFile);
  if (!text) return notUsed(0, "cannot be read");
  alarms::AlarmServiceSetup setup;
  const std::vector<alarms::RuleProblem> problems = alarms::parseAlarmRules(*text, ruleFile, setup.config);
  if (!problems.empty()) return notUsed(problems.front().line, problems.front().message);

  setup.connection = db->connectionString();
  setup.codePage = station_.store().codePage();
  setup.journal = [](int priority, const std::string& line) {
    std::fprintf(stderr, "<%d>lumarc: %s\n", priority, line.c_str());
    std::fflush(stderr);
  };
  // From the service's thread to the window's.
  setup.raised = [this](const alarms::Alarm& a) {
    QMetaObject::invokeMethod(
        this, [this, a] { alarmRaised(a); }, Qt::QueuedConnection);
  };
  // A mail program that ends without reading its input must not end the
  // program.
  std::signal(SIGPIPE, SIG_IGN);
  service_ = std::make_unique<alarms::AlarmService>(std::move(setup));
  service_->start();
  return true;
}

void AlarmWatch::wake() {
  if (service_) service_->wake();
}

void AlarmWatch::stop() {
  if (!service_) return;
  service_->stop();
  service_.reset();
}

void AlarmWatch::alarmRaised(const alarms::Alarm& a) {
  if (!window_) return;
  window_->setCaptionMessage(alarmCaption(window_->texts(), a));
  if (list_ && list_->isVisible()) list_->refresh();
}

AlarmListDialog* AlarmWatch::showList() {
  if (!window_) return nullptr;
  if (!list_) {
    // The main database of the window, read on its own thread between
    // the links' passes.
    auto reader = [this](std::vector<alarms::AlarmRow>& rows, std::string& error) {
      store::Database* db = station_.store().mainDatabase();
      if (!db) {
        error = "the database is not open";
        return false;
      }
      return alarms::readNewestAlarms(*db, AlarmListDialog::kMostRows, rows, error);
    };
    list_ = new AlarmListDialog(window_->texts(), reader, window_);
  } else {
    list_->refresh();
  }
  list_->show();
  list_->raise();
  list_->activateWindow();
  return list_;
}

}  // namespace lumarc::ui
