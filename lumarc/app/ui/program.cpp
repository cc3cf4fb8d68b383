#include "lumarc/app/ui/program.h"

#include "common/files.h"
#include "lumarc/app/store_messages.h"
#include "lumarc/app/texts.h"
#include "lumarc/app/ui/link_pane.h"
#include "lumarc/app/ui/monitor_pane.h"
#include "lumarc/app/ui/qt_text.h"
#include "lumarc/app/ui/voice_pane.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/net/stream_socket.h"
#include "lumarc/links/voice_convert.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/voice_store.h"

#include <QApplication>
#include <QMessageBox>

namespace lumarc::ui {

namespace {

// Store failures: message boxes while the databases open at start, the
// message bar afterwards.
class StoreMessages : public StoreMessageSink {
 public:
  explicit StoreMessages(const corvane::StringTable& texts) : texts_(texts) {}
  void storeMessage(StoreMessage id, const std::string& fileName, const std::string& detail) override {
    std::string text = storeMessageText(texts_, id, fileName, detail);
    if (window && window->isVisible()) {
      window->setCaptionMessage(text);
    } else if (interactive) {
      QString box = qtext(text);
      if (!detail.empty() && !storeMessageShowsDetail(id)) box += "\n\n" + QString::fromUtf8(detail.c_str());
      QMessageBox::critical(nullptr, kWindowTitle, box);
    } else {
      startupMessages.push_back(text);
    }
  }
  MainWindow* window = nullptr;
  bool interactive = true;
  std::vector<std::string> startupMessages;

 private:
  const corvane::StringTable& texts_;
};

// The import question and progress of the older program's database.
class ImportDialogue : public ImportUi {
 public:
  ImportDialogue(MainWindow& w, bool interactive) : w_(w), interactive_(interactive) {}
  bool confirmImport() override {
    if (!interactive_) return false;
    return QMessageBox::question(&w_, kWindowTitle, qtext(w_.texts().text(kTextImportQuestion)),
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
      : workDir(std::move(dir)), settings(s), texts(t), db(std::move(d)), voiceDb(std::move(v)), messages(t),
        store(&messages, corvane::codePageFor(uiLanguage())), voiceStore(store) {}
  std::string workDir;
  SettingsBlock& settings;
  const corvane::StringTable& texts;
  std::string db, voiceDb;
  StoreMessages messages;
  RecordStore store;
  RecordVoiceStore voiceStore;
  std::unique_ptr<VoiceConverter> converter;
  LinkPane* cmdr = nullptr;
  MonitorPane* monitor = nullptr;
  VoicePane* voice = nullptr;
  bool interactive = true;
};

Program::Program(std::string workDir, SettingsBlock& settings, const corvane::StringTable& texts, std::string db,
                 std::string voiceDb)
    : parts_(std::make_unique<ProgramParts>(std::move(workDir), settings, texts, std::move(db), std::move(voiceDb))) {}

Program::~Program() { shutdown(); }

MainWindowConfig Program::windowConfig(std::string commandLine, std::string desktopDir, bool interactive) {
  ProgramParts& p = *parts_;
  p.interactive = interactive;
  p.messages.interactive = interactive;
  MainWindowConfig c;
  c.workDir = p.workDir;
  c.settings = &p.settings;
  c.texts = &p.texts;
  c.commandLine = std::move(commandLine);
  c.desktopDir = std::move(desktopDir);
  c.interactive = interactive;
  c.openDatabases = [&p] {
    std::string wav = corvane::joinPath(p.workDir, RecordStore::kVoiceFolder);
    return p.store.openVoiceDatabase(wav, p.voiceDb.empty() ? p.db : p.voiceDb) &&
           p.store.openMainDatabase(p.workDir, p.db);
  };
  c.closeDatabases = [this] { shutdown(); };
  return c;
}

void Program::attach(MainWindow& w) {
  ProgramParts& p = *parts_;
  p.messages.window = &w;
  auto caption = [&w](const std::string& text) { w.setCaptionMessage(text); };
  auto refresh = [&w] { w.refreshToolbar(); };

  p.cmdr = new LinkPane(LinkKind::Cmdr, p.settings, p.texts, caption, refresh, p.workDir,
                        cmdrLinkFactory(net::qtStreamTransportFactory(), p.store));
  p.monitor = new MonitorPane(p.settings, p.texts, caption, refresh, p.workDir, monitorPaneFactory(p.settings));
  p.voice = new VoicePane(p.settings, p.texts, caption, refresh, p.workDir, &p.voiceStore);
  w.setPaneWidget(Pane::Cmdr, p.cmdr);
  w.setPaneWidget(Pane::Monitor, p.monitor);
  w.setPaneWidget(Pane::Voice, p.voice);

  w.ticks().add(TickStep::Cmdr, [&p] {
    p.store.tick();  // a lost database server is reopened before the links store again
    if (p.cmdr) p.cmdr->tick();
  });
  w.ticks().add(TickStep::Monitor, [&p] {
    if (p.monitor) p.monitor->tick();
  });
  w.ticks().add(TickStep::Voice, [&p] {
    if (p.voice) p.voice->tick();
  });

  ConverterEvents events;
  events.conversions = [&w](unsigned long n) { w.statusText(3, conversionCountText(n)); };
  events.error = caption;
  p.converter = std::make_unique<VoiceConverter>(p.workDir, p.voiceStore, events);
  p.voiceStore.onStored = [&p] {
    if (p.converter) p.converter->wake();
  };
  w.addIdleStep([&p] {
    if (p.converter) p.converter->converterStep();
  });

  w.setLinkOpener([&p](const LinkItem& item) {
    LinkPane* pane = item.kind == LinkKind::Voice ? static_cast<LinkPane*>(p.voice) : p.cmdr;
    if (pane) pane->links().openTarget(item.target);
  });
  w.setImportHandler([&p, &w] {
    ImportDialogue dialogue(w, p.interactive);
    p.store.importOlderDatabase(p.workDir, &dialogue);
  });
}

void Program::shutdown() {
  ProgramParts& p = *parts_;
  if (p.cmdr) p.cmdr->closeAll();
  if (p.monitor) p.monitor->closeAll();
  if (p.voice) p.voice->closeAll();
  p.cmdr = nullptr;
  p.monitor = nullptr;
  p.voice = nullptr;
  if (p.converter) {
    p.converter->shutdown();
    p.converter.reset();
  }
  p.store.closeAll();
}

}  // namespace lumarc::ui
