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
// to a capture file. With --alarms the stored call records are evaluated
// against a rule file (lumarc/alarms) on a thread of their own; with
// --metrics the collector's health is served as /metrics.
#include "tools/cli/command.h"
#include "tools/cli/collect_config.h"
#include "tools/cli/metrics_server.h"
#include "tools/cli/pcap_output.h"
#include "tools/cli/service_notify.h"

#include "common/codepage.h"
#include "common/files.h"
#include "lumarc/alarms/alarm_service.h"
#include "lumarc/app/session.h"
#include "lumarc/app/station.h"
#include "lumarc/texts/texts.h"
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

// Reads the alarm rule file into config; false (reported) when it cannot
// be read or is refused.
bool readAlarmRules(const std::string& path, alarms::AlarmConfig& config) {
  const std::optional<std::string> text = corvane::readFileBytes(path);
  if (!text) {
    std::fprintf(stderr, "lumarc-cli collect: cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<alarms::RuleProblem> problems = alarms::parseAlarmRules(*text, path, config);
  for (const alarms::RuleProblem& p : problems)
    std::fprintf(stderr, "lumarc-cli collect: %s:%u: %s\n", path.c_str(), p.line, p.message.c_str());
  return problems.empty();
}

// What the command line asks for.
struct CollectArgs {
  std::string config, pcap, alarms, metrics;
  alarms::AlarmConfig alarmRules;
  std::string metricsHost;
  int metricsPort = 0;
  std::vector<std::string> cmdr, voice, monitor;
  bool force = false;
  double seconds = -1;  // below 0: until a signal
};

// The links and databases of the command line and of --config (whose
// links come first); 2 after a usage error, else -1.
int gather(const CLI::App& parser, Options& opt, CollectArgs& a) {
  if (!a.config.empty()) {
    CollectConfig config;
    if (!readConfig(a.config, config)) return 2;
    a.cmdr.insert(a.cmdr.begin(), config.cmdr.begin(), config.cmdr.end());
    a.voice.insert(a.voice.begin(), config.voice.begin(), config.voice.end());
    a.monitor.insert(a.monitor.begin(), config.monitor.begin(), config.monitor.end());
    // What the command line names itself wins over the file.
    if (config.dir && !opt.workDirGiven) opt.workDir = *config.dir;
    if (config.db && !opt.dbGiven) opt.db = *config.db;
    if (config.voiceDb) opt.voiceDb = *config.voiceDb;
    if (config.alarms && a.alarms.empty()) a.alarms = *config.alarms;
    if (config.metrics && a.metrics.empty()) a.metrics = *config.metrics;
  }
  // A rule file or a metrics address that cannot be used stops the start,
  // before anything is opened.
  if (!a.alarms.empty() && !readAlarmRules(a.alarms, a.alarmRules)) return 2;
  if (!a.metrics.empty()) {
    std::string error;
    if (!parseListenAddress(a.metrics, a.metricsHost, a.metricsPort, error))
      return corvane::tools::usageError(parser, "--metrics: " + error);
  }
  if (a.cmdr.empty() && a.voice.empty() && a.monitor.empty())
    return corvane::tools::usageError(parser, "no link: give --cmdr, --voice, --monitor or --config");
  if (!a.pcap.empty() && a.monitor.empty()) return corvane::tools::usageError(parser, "--pcap needs a --monitor link");
  return -1;
}

int collect(const Options& opt, const CollectArgs& a) {
  PcapOutput pcap("lumarc-cli collect");
  if (!a.pcap.empty() && !pcap.open(a.pcap, a.force, true)) return 1;

  int argc = 1;
  char name[] = "lumarc-cli";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  Session session(opt.workDir);
  const corvane::StringTable& texts = *session.texts;
  ConsolePane pane(session.language);

  StationConfig config;
  config.workDir = opt.workDir;
  config.settings = &session.settings;
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
  // The alarms evaluate what a pass committed, on their own thread.
  std::unique_ptr<alarms::AlarmService> alarmService;
  config.recordsStored = [&alarmService] {
    if (alarmService) alarmService->wake();
  };
  Station station(config);
  if (!station.openDatabases()) {
    pane.print(texts.text(kTextDatabaseAccessFailed));
    return 1;
  }
  if (!a.alarms.empty()) {
    alarms::AlarmServiceSetup setup;
    setup.config = a.alarmRules;
    setup.connection = station.store().mainDatabase()->connectionString();
    setup.codePage = station.store().codePage();
    alarmService = std::make_unique<alarms::AlarmService>(std::move(setup));
    // Before the links open: the records they store are all evaluated, and
    // those a stopped collector left are evaluated at once.
    alarmService->start();
  }
  MetricsServer metrics;
  if (!a.metrics.empty()) {
    std::string error;
    if (!metrics.start(a.metricsHost, a.metricsPort, error)) {
      std::fprintf(stderr, "lumarc-cli collect: --metrics: %s\n", error.c_str());
      return 1;
    }
    if (!isLoopbackHost(a.metricsHost))
      std::fprintf(stderr,
                   "lumarc-cli collect: warning: /metrics is served on %s, beyond this machine; it has no "
                   "password\n",
                   a.metricsHost.c_str());
    std::fprintf(
        stderr, "lumarc-cli collect: metrics on http://%s:%d/metrics\n",
        a.metricsHost.find(':') != std::string::npos ? ("[" + a.metricsHost + "]").c_str() : a.metricsHost.c_str(),
        metrics.port());
  }
  // The health snapshot, made on the event thread, for /metrics.
  auto publishHealth = [&] {
    if (a.metrics.empty()) return;
    CollectorHealth health = station.health();
    if (alarmService)
      for (const auto& [rule, n] : alarmService->raisedPerRule()) health.alarms.emplace_back(rule, n);
    metrics.publish(prometheusText(health));
  };
  StationViews views;
  views.cmdr = &pane;
  views.monitor = &pane;
  views.voice = &pane;
  station.attachViews(views);
  LinkList& links = *station.links(LinkKind::Cmdr);
  LinkList& voiceLinks = *station.links(LinkKind::Voice);
  LinkList& monitorLinks = *station.links(LinkKind::Monitor);

  int opened = 0;
  for (const std::string& address : a.cmdr) opened += links.openLink(address) >= 0 ? 1 : 0;
  for (const std::string& address : a.voice) opened += voiceLinks.openLink(address) >= 0 ? 1 : 0;
  for (const std::string& address : a.monitor) opened += monitorLinks.openLink(address) >= 0 ? 1 : 0;
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
  int healthTicks = 0;
  QObject::connect(&tick, &QTimer::timeout, &app, [&station, &alive, &healthTicks, &publishHealth] {
    station.tick();
    station.converterStep();
    alive.tick();
    if (++healthTicks >= 10) {
      healthTicks = 0;
      publishHealth();
    }
  });
  tick.start(100);
  publishHealth();
  if (a.seconds >= 0) QTimer::singleShot(int(a.seconds * 1000), &app, [&app] { app.quit(); });
  notifier->ready();
  alive.tick();

  app.exec();

  notifier->stopping();
  tick.stop();
  metrics.stop();
  station.shutdown();
  if (alarmService) alarmService->stop();
  session.save();
  return pcap.close() ? 0 : 1;
}

Runner define(CLI::App& parser) {
  using corvane::tools::repeatable;
  auto a = std::make_shared<CollectArgs>();
  parser
      .add_option(
          "--config", a->config,
          "read links, databases and the working directory from FILE: cmdr=, voice=, monitor=, db=, voice_db=, dir=, "
          "alarms=, metrics= lines")
      ->type_name("FILE");
  repeatable(parser.add_option("--cmdr", a->cmdr, "a CMDR link (up to 4)")->type_name("ADDRESS"));
  repeatable(parser.add_option("--voice", a->voice, "a voice recording link (up to 4)")->type_name("ADDRESS"));
  repeatable(parser.add_option("--monitor", a->monitor, "a monitor link (up to 2)")->type_name("ADDRESS"));
  parser
      .add_option("--alarms", a->alarms,
                  "raise alarms on the stored call records by the rules of a TOML file (see ALARMS in man lumarc-cli)")
      ->type_name("FILE");
  parser
      .add_option("--metrics", a->metrics,
                  "serve the collector's health as /metrics (Prometheus) on ADDRESS:PORT (default address 127.0.0.1)")
      ->type_name("ADDRESS:PORT");
  parser.add_option("--pcap", a->pcap, "also write the monitor records to a pcapng capture file")->type_name("FILE");
  parser.add_flag("--force", a->force, "replace the --pcap file when it exists");
  parser.add_option("--for", a->seconds, "end after SECONDS (default: on SIGINT, SIGTERM or SIGHUP)")
      ->type_name("SECONDS")
      ->check(corvane::tools::secondsValue());
  return [&parser, a](const Options& given) {
    Options opt = given;
    CollectArgs args = *a;
    if (int status = gather(parser, opt, args); status >= 0) return status;
    return collect(opt, args);
  };
}

Register reg({"collect", "download call records and voice recordings (converted to MP3) into the databases", define});

}  // namespace
}  // namespace lumarc::cli
