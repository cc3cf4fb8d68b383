// lumarc-cli collect: the "Cmdr download" pane without a window (and, with
// --voice, the "Voice recording download" pane and the converter; with
// --monitor, monitor links writing their log and frame files). Runs up to
// four CMDR links with the window program's engines, 100 ms tick and files
// (log files, histories in Lumarc.set, the databases, fcmdr.txt), prints
// every line the pane would show, and ends after --for seconds or on
// SIGINT/SIGTERM/SIGHUP, closing its links and saving the settings. With
// --config it reads its links, databases and working directory from the
// service's configuration file; under systemd it reports readiness and
// signs of life (service_notify.h); with --pcap the monitor records also go
// to a capture file.
#include "tools/cli/command.h"
#include "tools/cli/collect_config.h"
#include "tools/cli/pcap_output.h"
#include "tools/cli/service_notify.h"

#include "common/codepage.h"
#include "common/files.h"
#include "lumarc/app/settings.h"
#include "lumarc/app/station.h"
#include "lumarc/app/texts.h"
#include "lumarc/links/monitor_link.h"
#include "lumarc/links/net/stream_socket.h"
#include "lumarc/links/net/datagram_socket.h"
#include "common/qt/signal_bridge.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumarc::cli {
namespace {

// Prints what the pane would show: record lines and messages, one per line.
// Message-bar texts also go to standard error, where a service's log keeps
// them apart from the record lines.
class ConsolePane : public PaneView, public StationEvents {
 public:
  explicit ConsolePane(corvane::Language lang) : lang_(lang) {}
  void print(const std::string& bytes) {
    std::string s = corvane::toUtf8(bytes, lang_);
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
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
  void stationMessage(const std::string& text, const std::string& detail) override {
    setCaptionMessage(text);
    if (!detail.empty()) std::fprintf(stderr, "lumarc-cli: %s\n", detail.c_str());
  }
  void conversions(unsigned long n) override { print(conversionCountText(n)); }

 private:
  corvane::Language lang_;
};

// Reads the configuration file into config; false (reported) when it
// cannot be read or has bad lines.
bool readConfig(const std::string& path, CollectConfig& config) {
  const std::optional<std::string> text = corvane::readFileBytes(path);
  if (!text) {
    std::fprintf(stderr, "lumarc-cli collect: cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<ConfigProblem> problems = parseCollectConfig(*text, config);
  for (const ConfigProblem& p : problems)
    std::fprintf(stderr, "lumarc-cli collect: %s:%u: %s\n", path.c_str(), p.line, p.message.c_str());
  return problems.empty();
}

int collect(const Options& given) {
  Options opt = given;
  std::vector<std::string> addresses;
  std::vector<std::string> voiceAddresses;
  std::vector<std::string> monitorAddresses;
  std::string pcapPath;
  bool force = false;
  double seconds = -1;
  for (size_t i = 0; i < opt.args.size(); ++i) {
    const std::string& a = opt.args[i];
    if (a == "--config" && i + 1 < opt.args.size()) {
      CollectConfig config;
      if (!readConfig(opt.args[++i], config)) return 2;
      addresses.insert(addresses.end(), config.cmdr.begin(), config.cmdr.end());
      voiceAddresses.insert(voiceAddresses.end(), config.voice.begin(), config.voice.end());
      monitorAddresses.insert(monitorAddresses.end(), config.monitor.begin(), config.monitor.end());
      // What the command line names itself wins over the file.
      if (config.dir && !opt.workDirGiven) opt.workDir = *config.dir;
      if (config.db && !opt.dbGiven) opt.db = *config.db;
      if (config.voiceDb) opt.voiceDb = *config.voiceDb;
    } else if (a == "--pcap" && i + 1 < opt.args.size()) {
      pcapPath = opt.args[++i];
    } else if (a == "--force") {
      force = true;
    } else if (a == "--cmdr" && i + 1 < opt.args.size()) {
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
                 "usage: lumarc-cli collect [--config FILE] [--cmdr ADDRESS]... [--voice ADDRESS]... "
                 "[--monitor ADDRESS]... [--pcap FILE [--force]] [--for SECONDS]\n");
    return 2;
  }
  if (!pcapPath.empty() && monitorAddresses.empty()) {
    std::fprintf(stderr, "lumarc-cli collect: --pcap needs a --monitor link\n");
    return 2;
  }
  PcapOutput pcap("lumarc-cli collect");
  if (!pcapPath.empty() && !pcap.open(pcapPath, force, true)) return 1;

  int argc = 1;
  char name[] = "lumarc-cli";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  SettingsBlock settings;
  loadSettings(settings, opt.workDir);
  const corvane::StringTable& texts = textsFor(settings.language());
  corvane::Language lang =
      settings.language() == 1 && turkishPresent() ? corvane::Language::Turkish : corvane::Language::English;
  ConsolePane pane(lang);

  StationConfig config;
  config.workDir = opt.workDir;
  config.settings = &settings;
  config.texts = &texts;
  config.db = opt.db;
  config.voiceDb = opt.voiceDb;
  config.events = &pane;
  config.streamSockets = net::qtStreamTransportFactory();
  config.datagramSockets = net::qtDatagramTransportFactory();
  if (pcap.isOpen()) {
    config.monitorRecords = [&pcap](const MonitorLink& link, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame) {
      const CaptureSource source{link.target().hostText(), captureAccessCode(link.target().accessCodeText())};
      const std::optional<std::string> failure = pcap.write(source, hpidx, ptyp, frame, nowMicros());
      return MonitorRecordKept{pcap.path(), !failure, failure.value_or("")};
    };
  }
  Station station(config);
  if (!station.openDatabases()) {
    pane.print(texts.text(kTextDatabaseAccessFailed));
    return 1;
  }
  StationViews views;
  views.cmdr = &pane;
  views.monitor = &pane;
  views.voice = &pane;
  station.attachViews(views);
  LinkList& links = *station.links(LinkKind::Cmdr);
  LinkList& voiceLinks = *station.links(LinkKind::Voice);
  LinkList& monitorLinks = *station.links(LinkKind::Monitor);

  int opened = 0;
  for (const std::string& a : addresses) opened += links.openLink(a) >= 0 ? 1 : 0;
  for (const std::string& a : voiceAddresses) opened += voiceLinks.openLink(a) >= 0 ? 1 : 0;
  for (const std::string& a : monitorAddresses) opened += monitorLinks.openLink(a) >= 0 ? 1 : 0;
  if (opened == 0) {
    std::fprintf(stderr, "lumarc-cli collect: no link could be opened\n");
    return 1;
  }

  // Signals end the run through the event loop, never inside a handler.
  corvane::SignalBridge signalBridge;
  if (!signalBridge.ok()) return 1;
  QObject::connect(&signalBridge, &corvane::SignalBridge::terminateRequested, &app, [&app](int) { app.quit(); });
  ::signal(SIGPIPE, SIG_IGN);

  // Signs of life come from the tick alone: a tick that hangs stops them.
  std::unique_ptr<ServiceNotifier> notifier = systemdNotifier();
  AliveTicker alive(*notifier);
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, &app, [&station, &alive] {
    station.tick();
    station.converterStep();
    alive.tick();
  });
  tick.start(100);
  if (seconds >= 0) QTimer::singleShot(int(seconds * 1000), &app, [&app] { app.quit(); });
  notifier->ready();
  alive.tick();

  app.exec();

  notifier->stopping();
  tick.stop();
  station.shutdown();
  saveSettings(settings, opt.workDir);
  return pcap.close() ? 0 : 1;
}

Register reg({"collect",
              "[--config FILE] [--cmdr ADDRESS]... [--voice ADDRESS]... [--monitor ADDRESS]... [--pcap FILE [--force]] "
              "[--for SECONDS]",
              "download call records and voice recordings (converted to MP3) into the databases; FILE holds "
              "cmdr=, voice=, monitor=, db=, voice_db=, dir= lines",
              collect});

}  // namespace
}  // namespace lumarc::cli
