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
#include "lumarc/app/session.h"
#include "lumarc/app/station.h"
#include "lumarc/texts/texts.h"
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
#include <memory>
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

// What the command line asks for.
struct MonitorArgs {
  std::string address;
  double seconds = -1;  // below 0: until a signal
  bool layer2 = false;
  std::string pcapPath;
  bool force = false;
};

int monitor(const Options& opt, const MonitorArgs& a) {
  const std::string& address = a.address;
  PcapOutput pcap("lumarc-cli monitor");
  if (!a.pcapPath.empty() && !pcap.open(a.pcapPath, a.force, true)) return 1;

  int argc = 1;
  char name[] = "lumarc-cli";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  Session session(opt.workDir);
  ConsoleMonitorPane pane(session.language);

  StationConfig config;
  config.workDir = opt.workDir;
  config.settings = &session.settings;
  config.texts = session.texts;
  config.datagramSockets = net::qtDatagramTransportFactory();
  config.forceLayer2 = a.layer2;
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
  if (a.seconds >= 0) QTimer::singleShot(int(a.seconds * 1000), &app, [&app] { app.quit(); });

  app.exec();

  tick.stop();
  station.shutdown();
  session.save();
  std::fflush(stdout);
  if (!pcap.close() && status == 0) status = 1;
  return status;
}

Runner define(CLI::App& parser) {
  auto a = std::make_shared<MonitorArgs>();
  parser.add_option("ADDRESS", a->address, "the exchange: host:port,password-access")->type_name("")->required();
  parser.add_option("--for", a->seconds, "end after SECONDS (default: on SIGINT, SIGTERM or SIGHUP)")
      ->type_name("SECONDS")
      ->check(corvane::tools::secondsValue());
  parser.add_flag("--layer2", a->layer2, "decode layer 2 messages too");
  parser.add_option("--pcap", a->pcapPath, "also write the records to a pcapng capture file for Wireshark")
      ->type_name("FILE");
  parser.add_flag("--force", a->force, "replace the --pcap file when it exists");
  return [a](const Options& opt) { return monitor(opt, *a); };
}

Register reg({"monitor",
              "watch an exchange's signalling over one monitor link (ADDRESS: host:port,password-access); "
              "--pcap also writes the records to a pcapng file for Wireshark",
              define});

}  // namespace
}  // namespace lumarc::cli
