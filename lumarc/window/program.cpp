#include "lumarc/window/program.h"

#include "common/files.h"
#include "lumarc/app/station.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/alarm_watch.h"
#include "lumarc/window/browser_host.h"
#include "lumarc/browse/ui/prop_wnd.h"
#include "lumarc/window/link_pane.h"
#include "lumarc/window/monitor_pane.h"
#include "common/qt/qt_text.h"
#include "lumarc/window/voice_pane.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/net/datagram_socket.h"
#include "lumarc/links/net/stream_socket.h"
#include "lumarc/links/voice_convert.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/voice_store.h"

#include <QApplication>
#include <QMessageBox>

#include <optional>

namespace lumarc::ui {

namespace {

// Store failures: message boxes while the databases open at start, the
// message bar afterwards; the converter's count in the status bar.
class StationMessages : public StationEvents {
 public:
  void stationMessage(const std::string& text, const std::string& detail) override {
    if (window && window->isVisible()) {
      window->setCaptionMessage(text);
    } else if (interactive) {
      QString box = qtext(*texts, text);
      if (!detail.empty()) box += "\n\n" + QString::fromUtf8(detail.c_str());
      QMessageBox::critical(nullptr, kWindowTitle, box);
    } else {
      startupMessages.push_back(text);
    }
  }
  void conversions(unsigned long n) override {
    if (window) window->statusText(3, conversionCountText(n));
  }
  MainWindow* window = nullptr;
  const corvane::StringTable* texts = nullptr;
  bool interactive = true;
  std::vector<std::string> startupMessages;
};

// The import question and progress of the older program's database.
class ImportDialogue : public ImportUi {
 public:
  ImportDialogue(MainWindow& w, bool interactive) : w_(w), interactive_(interactive) {}
  bool confirmImport() override {
    if (!interactive_) return false;
    return QMessageBox::question(&w_, kWindowTitle, qtext(w_.texts(), kTextImportQuestion),
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  }
  void importProgress(uint64_t stored, uint64_t duplicates) override {
    w_.setCaptionMessage(w_.texts().text(kTextImportedRecords) + " " + std::to_string(stored) + " - " +
                         std::to_string(duplicates));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  void importFinished() override { w_.setCaptionMessage(""); }

 private:
  MainWindow& w_;
  bool interactive_;
};

}  // namespace

struct ProgramParts {
  ProgramParts(std::string dir, SettingsBlock& s, const corvane::StringTable& t, std::string d, std::string v)
      : station(config(std::move(dir), s, t, std::move(d), std::move(v), messages, recordsStored)) {}
  static StationConfig config(std::string dir, SettingsBlock& s, const corvane::StringTable& t, std::string d,
                              std::string v, StationMessages& messages, std::function<void()>& recordsStored) {
    StationConfig c;
    c.workDir = std::move(dir);
    c.settings = &s;
    c.texts = &t;
    c.db = std::move(d);
    c.voiceDb = std::move(v);
    c.events = &messages;
    messages.texts = &t;
    c.streamSockets = net::qtStreamTransportFactory();
    c.datagramSockets = net::qtDatagramTransportFactory();
    c.recordsStored = [&recordsStored] {
      if (recordsStored) recordsStored();
    };
    return c;
  }
  StationMessages messages;
  std::function<void()> recordsStored;  // the alarms are woken
  Station station;
  LinkPane* cmdr = nullptr;
  MonitorPane* monitor = nullptr;
  VoicePane* voice = nullptr;
  std::unique_ptr<BrowserViews> browser;
  bool interactive = true;
  std::optional<std::string> alarmRules;  // instead of the setting's
  std::unique_ptr<AlarmWatch> alarms;
};

Program::Program(std::string workDir, SettingsBlock& settings, const corvane::StringTable& texts, std::string db,
                 std::string voiceDb)
    : parts_(std::make_unique<ProgramParts>(std::move(workDir), settings, texts, std::move(db), std::move(voiceDb))) {}

Program::~Program() { shutdown(); }

MainWindowConfig Program::windowConfig(std::string commandLine, std::string desktopDir, bool interactive) {
  ProgramParts& p = *parts_;
  p.interactive = interactive;
  p.messages.interactive = interactive;
  const StationConfig& sc = p.station.config();
  MainWindowConfig c;
  c.workDir = sc.workDir;
  c.settings = sc.settings;
  c.texts = sc.texts;
  c.commandLine = std::move(commandLine);
  c.desktopDir = std::move(desktopDir);
  c.interactive = interactive;
  c.openDatabases = [&p] { return p.station.openDatabases(); };
  c.closeDatabases = [this] { shutdown(); };
  return c;
}

void Program::attach(MainWindow& w) {
  ProgramParts& p = *parts_;
  p.messages.window = &w;
  const StationConfig& sc = p.station.config();
  auto caption = [&w](const std::string& text) { w.setCaptionMessage(text); };
  auto refresh = [&w] { w.refreshToolbar(); };

  p.cmdr = new LinkPane(LinkKind::Cmdr, *sc.settings, *sc.texts, caption, refresh, {}, {});
  p.monitor = new MonitorPane(*sc.settings, *sc.texts, caption, refresh, {}, {});
  p.voice = new VoicePane(*sc.settings, *sc.texts, caption, refresh);
  StationViews views;
  views.cmdr = p.cmdr;
  views.monitor = p.monitor;
  views.voice = p.voice;
  views.voiceLabel = [&p](int slot, const std::string& label) {
    if (p.voice) p.voice->setTabLabel(slot, label);
  };
  p.station.attachViews(views);
  p.cmdr->attachLinks(*p.station.links(LinkKind::Cmdr));
  p.monitor->attachLinks(*p.station.links(LinkKind::Monitor));
  p.voice->attachLinks(*p.station.links(LinkKind::Voice));
  w.setPaneWidget(Pane::Cmdr, p.cmdr);
  w.setPaneWidget(Pane::Monitor, p.monitor);
  w.setPaneWidget(Pane::Voice, p.voice);

  // The views of the client area and the properties window.
  p.browser = std::make_unique<BrowserViews>(w, p.station);
  w.setViewHost(p.browser.get());
  w.setPaneWidget(Pane::Properties, p.browser->properties());

  p.station.addTickSteps(w.ticks());
  w.addIdleStep([&p] { p.station.converterStep(); });

  w.setLinkOpener([&p](const LinkItem& item) {
    LinkPane* pane = item.kind == LinkKind::Voice ? static_cast<LinkPane*>(p.voice) : p.cmdr;
    if (pane) pane->links().openTarget(item.target);
  });
  w.setImportHandler([&p, &w] {
    ImportDialogue dialogue(w, p.interactive);
    p.station.store().importOlderDatabase(p.station.config().workDir, &dialogue);
  });

  // The alarms of the rule file in the settings, on the collector's engine.
  p.alarms = std::make_unique<AlarmWatch>(w, p.station);
  p.recordsStored = [&p] {
    if (p.alarms) p.alarms->wake();
  };
  p.alarms->start(p.alarmRules ? *p.alarmRules : alarmRulesSetting());
}

void Program::setAlarmRules(std::string ruleFile) { parts_->alarmRules = std::move(ruleFile); }

void Program::shutdown() {
  ProgramParts& p = *parts_;
  if (p.alarms) p.alarms->stop();
  if (p.browser) p.browser->closeConnections();
  // The links end while their panes still show them; then the panes let go.
  p.station.shutdown();
  for (LinkPane* pane : {p.cmdr, static_cast<LinkPane*>(p.monitor), static_cast<LinkPane*>(p.voice)})
    if (pane) pane->detachLinks();
  p.cmdr = nullptr;
  p.monitor = nullptr;
  p.voice = nullptr;
}

}  // namespace lumarc::ui
