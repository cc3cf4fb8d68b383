// lumarc-cli collect: the "Cmdr download" pane without a window (and, with
// --voice, the "Voice recording download" pane and the converter; with
// --monitor, monitor links writing their log and frame files). Runs up to
// four CMDR links with the window program's engines, 100 ms tick and files
// (log files, histories in Lumarc.set, the databases, fcmdr.txt), prints
// every line the pane would show, and ends after --for seconds or on
// SIGINT/SIGTERM/SIGHUP, closing its links and saving the settings.
#include "tools/cli/command.h"

#include "common/codepage.h"
#include "common/files.h"
#include "lumarc/app/settings.h"
#include "lumarc/app/store_messages.h"
#include "lumarc/app/texts.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/monitor_link.h"
#include "lumarc/links/net/stream_socket.h"
#include "lumarc/links/net/datagram_socket.h"
#include "lumarc/links/voice_convert.h"
#include "lumarc/links/voice_link.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/voice_store.h"
#include "lumarc/links/net/signal_bridge.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace lumarc::cli {
namespace {

// Prints what the pane would show: record lines and messages, one per line.
class ConsolePane : public PaneView, public StoreMessageSink {
 public:
  ConsolePane(const corvane::StringTable& texts, corvane::Language lang) : texts_(texts), lang_(lang) {}
  void print(const std::string& bytes) {
    std::string s = corvane::toUtf8(bytes, lang_);
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  // Message-bar texts also go to standard error, where a service's log
  // keeps them apart from the record lines.
  void setCaptionMessage(const std::string& text) override {
    if (text.empty()) return;
    print(text);
    std::string s = corvane::toUtf8(text, lang_);
    std::fprintf(stderr, "lumarc-cli: %s\n", s.c_str());
  }
  void tabAdded(int, const std::string&) override {}
  void tabRemoved(int) override {}
  void tabIcon(int, int) override {}
  void lineAppended(int, const std::string& line, bool) override { print(line); }
  void historyChanged() override {}
  void storeMessage(StoreMessage id, const std::string& fileName, const std::string& detail) override {
    setCaptionMessage(storeMessageText(texts_, id, fileName, detail));
    if (!storeMessageShowsDetail(id) && !detail.empty()) std::fprintf(stderr, "lumarc-cli: %s\n", detail.c_str());
  }

 private:
  const corvane::StringTable& texts_;
  corvane::Language lang_;
};

int collect(const Options& opt) {
  std::vector<std::string> addresses;
  std::vector<std::string> voiceAddresses;
  std::vector<std::string> monitorAddresses;
  double seconds = -1;
  for (size_t i = 0; i < opt.args.size(); ++i) {
    const std::string& a = opt.args[i];
    if (a == "--cmdr" && i + 1 < opt.args.size()) {
      addresses.push_back(opt.args[++i]);
    } else if (a == "--voice" && i + 1 < opt.args.size()) {
      voiceAddresses.push_back(opt.args[++i]);
    } else if (a == "--monitor" && i + 1 < opt.args.size()) {
      monitorAddresses.push_back(opt.args[++i]);
    } else if (a == "--for" && i + 1 < opt.args.size()) {
      char* end = nullptr;
      seconds = std::strtod(opt.args[++i].c_str(), &end);
      if (!end || *end || seconds < 0) {
        std::fprintf(stderr, "lumarc-cli collect: --for needs a number of seconds\n");
        return 2;
      }
    } else {
      std::fprintf(stderr, "lumarc-cli collect: unexpected argument %s\n", a.c_str());
      return 2;
    }
  }
  if (addresses.empty() && voiceAddresses.empty() && monitorAddresses.empty()) {
    std::fprintf(stderr,
                 "usage: lumarc-cli collect [--cmdr ADDRESS]... [--voice ADDRESS]... [--monitor ADDRESS]... "
                 "[--for SECONDS]\n");
    return 2;
  }

  int argc = 1;
  char name[] = "lumarc-cli";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  SettingsBlock settings;
  loadSettings(settings, opt.workDir);
  const corvane::StringTable& texts = textsFor(settings.language());
  corvane::Language lang =
      settings.language() == 1 && turkishPresent() ? corvane::Language::Turkish : corvane::Language::English;
  ConsolePane pane(texts, lang);

  // The databases, as the window program opens them: voice, then main.
  std::string wavDir = corvane::joinPath(opt.workDir, RecordStore::kVoiceFolder);
  corvane::ensureDirectory(wavDir);
  RecordStore store(&pane, corvane::codePageFor(lang));
  if (!store.openVoiceDatabase(wavDir, opt.voiceDb.empty() ? opt.db : opt.voiceDb) ||
      !store.openMainDatabase(opt.workDir, opt.db)) {
    pane.print(texts.text(kTextDatabaseAccessFailed));
    return 1;
  }

  LinkEnvironment env;
  env.workDir = opt.workDir;
  env.texts = &texts;
  env.view = &pane;
  env.addToHistory = [&settings](const ConnectionTarget& t) { settings.history(LinkKind::Cmdr).add(t); };
  env.flipAutoScroll = [&settings] { settings.setAutoScroll(settings.autoScroll() ? 0 : 1); };
  LinkList links(LinkKind::Cmdr, env, cmdrLinkFactory(net::qtStreamTransportFactory(), store));

  // Voice links: recordings into "Wav" and Vdata00, converted to MP3 as
  // they arrive (the converter's step runs on the same tick).
  RecordVoiceStore voiceStore(store);
  ConverterEvents convEvents;
  convEvents.conversions = [&pane](unsigned long n) { pane.print(conversionCountText(n)); };
  convEvents.error = [&pane](const std::string& text) { pane.print(text); };
  VoiceConverter converter(opt.workDir, voiceStore, convEvents);
  voiceStore.onStored = [&converter] { converter.wake(); };
  LinkEnvironment voiceEnv = env;
  voiceEnv.addToHistory = [&settings](const ConnectionTarget& t) { settings.history(LinkKind::Voice).add(t); };
  VoiceLinkSetup voiceSetup;
  voiceSetup.makeSocket = net::qtDatagramTransportFactory();
  voiceSetup.sink = &voiceStore;
  LinkList voiceLinks(LinkKind::Voice, voiceEnv, voiceLinkFactory(voiceSetup));

  // Monitor links: decoded lines on standard output, frames in their files.
  LinkEnvironment monitorEnv = env;
  monitorEnv.addToHistory = [&settings](const ConnectionTarget& t) { settings.history(LinkKind::Monitor).add(t); };
  MonitorLinkSetup monitorSetup;
  monitorSetup.makeSocket = net::qtDatagramTransportFactory();
  monitorSetup.decodeOptions = [&settings] {
    DecodeOptions o;
    o.layer2 = settings.layer2() != 0;
    return o;
  };
  LinkList monitorLinks(LinkKind::Monitor, monitorEnv, monitorLinkFactory(monitorSetup));

  int opened = 0;
  for (const std::string& a : addresses) opened += links.openLink(a) >= 0 ? 1 : 0;
  for (const std::string& a : voiceAddresses) opened += voiceLinks.openLink(a) >= 0 ? 1 : 0;
  for (const std::string& a : monitorAddresses) opened += monitorLinks.openLink(a) >= 0 ? 1 : 0;
  if (opened == 0) {
    std::fprintf(stderr, "lumarc-cli collect: no link could be opened\n");
    store.closeAll();
    return 1;
  }

  // Signals end the run through the event loop, never inside a handler.
  net::SignalBridge signalBridge;
  if (!signalBridge.ok()) return 1;
  QObject::connect(&signalBridge, &net::SignalBridge::terminateRequested, &app, [&app](int) { app.quit(); });
  ::signal(SIGPIPE, SIG_IGN);

  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, &app, [&store, &links, &voiceLinks, &monitorLinks, &converter] {
    store.tick();
    links.tick();
    voiceLinks.tick();
    monitorLinks.tick();
    converter.converterStep();
  });
  tick.start(100);
  if (seconds >= 0) QTimer::singleShot(int(seconds * 1000), &app, [&app] { app.quit(); });

  app.exec();

  tick.stop();
  links.closeAll();
  voiceLinks.closeAll();
  monitorLinks.closeAll();
  converter.shutdown();
  store.closeAll();
  saveSettings(settings, opt.workDir);
  return 0;
}

Register reg({"collect", "[--cmdr ADDRESS]... [--voice ADDRESS]... [--monitor ADDRESS]... [--for SECONDS]",
              "download call records and voice recordings (converted to MP3) into the databases", collect});

}  // namespace
}  // namespace lumarc::cli
