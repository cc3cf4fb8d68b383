// Monitor link speed: bracket frames parsed and checked per second, beside
// a baseline from the same run (one plain byte-sum pass over the same
// datagrams); and whole records through the link engine (framing, decode,
// lines, log and frame file, acknowledgement) on an in-memory socket.
// Usage: monitor_bench [DATAGRAMS]   (default 200000)
#include "common/checks.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/bracket_frame.h"
#include "lumarc/links/monitor_link.h"
#include "lumarc/links/monitor_protocol.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace lumarc;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

MonitorFrame frameFor(size_t i) {
  MonitorFrame f{};
  f[8] = 24;
  f[9] = 5;
  f[10] = 6;
  f[13] = uint8_t(i % 60);
  f[19] = 0xFD;
  const uint8_t msg[] = {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3};
  f[22] = sizeof msg;
  std::memcpy(&f[23], msg, sizeof msg);
  // Some "]" bytes so the doubling is exercised.
  for (size_t k = 40; k < 40 + i % 8; ++k) f[k] = 0x5D;
  return f;
}

class NullSocket : public DatagramTransport {
 public:
  size_t sent = 0;
  OpenResult open(const std::string&, uint16_t) override {
    OpenResult r;
    r.status = OpenResult::Status::Ok;
    return r;
  }
  bool send(std::string_view b) override {
    sent += b.size();
    return true;
  }
  void close() override {}
};

class NullView : public PaneView {
 public:
  size_t lines = 0;
  void setCaptionMessage(const std::string&) override {}
  void tabAdded(int, const std::string&) override {}
  void tabRemoved(int) override {}
  void tabIcon(int, int) override {}
  void lineAppended(int, const std::string&, bool) override { ++lines; }
  void historyChanged() override {}
};

}  // namespace

int main(int argc, char** argv) {
  size_t n = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 200000;
  std::vector<std::string> datagrams;
  datagrams.reserve(n);
  size_t bytes = 0;
  for (size_t i = 0; i < n; ++i) {
    datagrams.push_back(encodeBracketFrame(monitorRecordPayload(uint16_t(i), 0x42, 0x10, frameFor(i))));
    bytes += datagrams.back().size();
  }

  // Baseline: one byte-sum pass over every datagram.
  auto t0 = Clock::now();
  unsigned sink = 0;
  for (const std::string& d : datagrams)
    sink += corvane::byteSum14(reinterpret_cast<const uint8_t*>(d.data()), d.size());
  auto t1 = Clock::now();
  size_t parsed = 0;
  for (const std::string& d : datagrams)
    parsed += parseBracketDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size()).size();
  auto t2 = Clock::now();
  if (parsed != n) std::fprintf(stderr, "monitor_bench: %zu of %zu frames parsed\n", parsed, n);

  std::printf("baseline_byte_sum: %.0f datagrams/s\n", double(n) / seconds(t0, t1));
  std::printf("bracket_frames_parsed: %.0f frames/s (baseline: baseline_byte_sum)\n", double(parsed) / seconds(t1, t2));
  std::printf("bracket_parse_throughput: %.1f MB/s\n", double(bytes) / 1e6 / seconds(t1, t2));
  std::printf("baseline_check: %u\n", sink & 1);

  // Whole records through the engine.
  std::string dir = (std::filesystem::temp_directory_path() / "monitor_bench.XXXXXX").string();
  if (!::mkdtemp(dir.data())) return 1;
  NullView view;
  NullSocket* socket = nullptr;
  LinkEnvironment env;
  env.workDir = dir;
  env.messageText = linkMessages(englishTexts());
  env.view = &view;
  MonitorLinkSetup setup;
  setup.makeSocket = [&socket](DatagramEvents&) -> std::unique_ptr<DatagramTransport> {
    auto s = std::make_unique<NullSocket>();
    socket = s.get();
    return s;
  };
  {
    LinkList list(LinkKind::Monitor, env, monitorLinkFactory(setup));
    if (list.openLink("127.0.0.1") != 0) return 1;
    auto* link = static_cast<MonitorLink*>(list.link(0));
    auto feed = [link](const std::string& d) {
      link->onDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size());
    };
    feed(encodeBracketFrame(monitorLoginAcceptedPayload()));
    feed(encodeBracketFrame(monitorAccessAcceptedPayload(0x42)));
    size_t records = std::min<size_t>(n, 50000);
    auto t3 = Clock::now();
    for (size_t i = 0; i < records; ++i) feed(datagrams[i]);
    auto t4 = Clock::now();
    std::printf("monitor_records_through_link: %.0f records/s (baseline: baseline_byte_sum)\n",
                double(records) / seconds(t3, t4));
    std::printf("monitor_lines_per_record: %.1f lines\n", double(view.lines) / double(records));
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
