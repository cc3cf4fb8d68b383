// lumarc-cli monitor: the "Monitor" pane without a window. Runs one monitor
// link with the window program's engine, 100 ms tick and files (logM00.txt,
// logM00.frm, the monitor history in Lumarc.set), prints every decoded line
// on standard output (bytes as the pane shows them) and messages on standard
// error, and ends after --for seconds or on SIGINT/SIGTERM/SIGHUP, logging
// out first. A link that fails (refused, unknown access code) ends the run.
// With --pcap every record also goes to a pcapng capture file.
#include "tools/cli/command.h"
#include "tools/cli/pcap_output.h"

#include "common/codepage.h"
#include "lumarc/app/settings.h"
#include "lumarc/app/station.h"
#include "lumarc/app/texts.h"
#include "lumarc/links/monitor_link.h"
#include "lumarc/links/net/datagram_socket.h"
#include "common/qt/signal_bridge.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace lumarc::cli {
namespace {

class ConsoleMonitorPane : public PaneView {
 public:
  explicit ConsoleMonitorPane(corvane::Language lang) : lang_(lang) {}
  void setCaptionMessage(const std::string& text) override {
    if (text.empty()) return;
    std::string s = corvane::toUtf8(text, lang_);
    std::fprintf(stderr, "%s\n", s.c_str());
  }
  void tabAdded(int, const std::string&) override {}
  void tabRemoved(int) override {}
  void tabIcon(int, int) override {}
  void lineAppended(int, const std::string& line, bool) override {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  void historyChanged() override {}

 private:
  corvane::Language lang_;
};

int monitor(const Options& opt) {
  std::string address;
  double seconds = -1;
  bool layer2 = false;
  std::string pcapPath;
  bool force = false;
  for (size_t i = 0; i < opt.args.size(); ++i) {
    const std::string& a = opt.args[i];
    if (a == "--pcap" && i + 1 < opt.args.size()) {
      pcapPath = opt.args[++i];
    } else if (a == "--force") {
      force = true;
    } else if (a == "--for" && i + 1 < opt.args.size()) {
      char* end = nullptr;
      seconds = std::strtod(opt.args[++i].c_str(), &end);
      if (!end || *end || seconds < 0) {
        std::fprintf(stderr, "lumarc-cli monitor: --for needs a number of seconds\n");
        return 2;
      }
    } else if (a == "--layer2") {
      layer2 = true;
    } else if (address.empty() && !(a.size() > 1 && a[0] == '-' && a[1] == '-')) {
      address = a;
    } else {
      std::fprintf(stderr, "lumarc-cli monitor: unexpected argument %s\n", a.c_str());
      return 2;
    }
  }
  if (address.empty()) {
    std::fprintf(stderr, "usage: lumarc-cli monitor ADDRESS [--for SECONDS] [--layer2] [--pcap FILE [--force]]\n");
    return 2;
  }
  PcapOutput pcap("lumarc-cli monitor");
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
  ConsoleMonitorPane pane(lang);

  StationConfig config;
  config.workDir = opt.workDir;
  config.settings = &settings;
  config.texts = &texts;
  config.datagramSockets = net::qtDatagramTransportFactory();
  config.forceLayer2 = layer2;
  if (pcap.isOpen()) {
    config.monitorRecords = [&pcap](const MonitorLink& link, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame) {
      const CaptureSource source{link.target().hostText(), captureAccessCode(link.target().accessCodeText())};
      const std::optional<std::string> failure = pcap.write(source, hpidx, ptyp, frame, nowMicros());
      return MonitorRecordKept{pcap.path(), !failure, failure.value_or("")};
    };
  }
  Station station(config);
  StationViews views;
  views.monitor = &pane;
  station.attachViews(views);
  LinkList& links = *station.links(LinkKind::Monitor);
  int slot = links.openLink(address);
  if (slot < 0) {
    if (parseAddressText(address).hostText().empty())
      std::fprintf(stderr, "lumarc-cli monitor: %s names no usable host\n", address.c_str());
    return 1;
  }

  // Signals end the run through the event loop, never inside a handler.
  corvane::SignalBridge signalBridge;
  if (!signalBridge.ok()) return 1;
  QObject::connect(&signalBridge, &corvane::SignalBridge::terminateRequested, &app, [&app](int) { app.quit(); });
  ::signal(SIGPIPE, SIG_IGN);

  int status = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, &app, [&] {
    station.tick();
    auto* link = static_cast<MonitorLink*>(links.link(slot));
    if (link && link->state() == MonitorState::Failed) {
      status = 1;
      app.quit();
    }
  });
  tick.start(100);
  if (seconds >= 0) QTimer::singleShot(int(seconds * 1000), &app, [&app] { app.quit(); });

  app.exec();

  tick.stop();
  station.shutdown();
  saveSettings(settings, opt.workDir);
  std::fflush(stdout);
  if (!pcap.close() && status == 0) status = 1;
  return status;
}

Register reg({"monitor", "ADDRESS [--for SECONDS] [--layer2] [--pcap FILE [--force]]",
              "watch an exchange's signalling over one monitor link (ADDRESS: host:port,password-access); "
              "--pcap also writes the records to a pcapng file for Wireshark",
              monitor});

}  // namespace
}  // namespace lumarc::cli
