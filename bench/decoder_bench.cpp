// Monitor decoder throughput: decoded records per second for a corpus of
// 100,000 varied ISDN records (LAPD, call control, elements, facility
// components, TEI management, V5.2 relays, line activation), beside the hex
// dump alone and the bare framework (header and dispatch) of the same run,
// and beside tshark -V dissecting the same LAPD frames from a text2pcap
// capture when tshark is installed. Prints "name: value unit" lines.
#include "common/byte_io.h"
#include "lumarc/decoder/context.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/monitor_record.h"
#include "lumarc/decoder/samples/sample_frames.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

using lumarc::MonitorRecord;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kCorpusSize = 100000;

MonitorRecord recordOf(int32_t type, const Bytes& msg, int32_t ptyp = 0x10, int32_t ind = 0) {
  using namespace lumarc::monframe;
  lumarc::MonitorFrame f{};
  corvane::ByteWriter w(f);
  w.putLe32(kCallingPort, 0x34120000u);
  w.putLe32(kPartnerPort, 0x78560000u);
  w.putBytes(kYear, Bytes{24, 5, 6, 7, 8, 9});
  w.putLe16(kDirection, 0x10);
  w.putLe16(kType, uint16_t(type));
  w.putLe16(kIndicator, uint16_t(ind));
  w.put8(kLength, uint8_t(msg.size()));
  w.putBytes(kMessage, std::span<const uint8_t>(msg.data(), std::min<size_t>(msg.size(), 96)));
  return lumarc::buildMonitorRecord(f, 1, uint8_t(ptyp));
}

struct Corpus {
  std::vector<MonitorRecord> records;
  std::vector<Bytes> lapdFrames;  // the LAPD frames among them, for tshark
};

// Varies sequence numbers, call references and digits of the samples.
Corpus buildCorpus() {
  Corpus c;
  std::mt19937 rng(1234);
  const auto& isdn = lumarc::sampleIsdnFrames();
  const auto& v5 = lumarc::sampleV5Frames();
  while (c.records.size() < kCorpusSize) {
    const unsigned pick = rng() % 20;
    if (pick < 16) {
      Bytes f = isdn[rng() % isdn.size()];
      if (f.size() > 4 && (f[2] & 0x01) == 0) {
        f[2] = uint8_t((rng() % 128) << 1);
        f[3] = uint8_t((rng() % 128) << 1 | (rng() & 1));
        if (f.size() > 6 && f[5] == 0x01) f[6] = uint8_t(rng());
      }
      for (size_t i = 8; i < f.size(); ++i) {
        if (f[i] >= '0' && f[i] <= '9' && rng() % 2) f[i] = uint8_t('0' + rng() % 10);
      }
      c.records.push_back(recordOf((rng() & 1) ? 0xFD00 : 0xFC00, f));
      c.lapdFrames.push_back(f);
    } else if (pick < 18) {
      c.records.push_back(recordOf((rng() & 1) ? 0xFD27 : 0xFC26, v5[rng() % v5.size()]));
    } else {
      c.records.push_back(recordOf((rng() & 1) ? 0xFB00 : 0xFA00, {}, 0x10 + int32_t(rng() % 3), int32_t(rng() % 16)));
    }
  }
  return c;
}

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::string findTool(const char* name) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
    std::string p = std::string(dir) + name;
    if (access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

bool runTool(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  bool ok = false;
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
    int st = 0;
    waitpid(pid, &st, 0);
    ok = WIFEXITED(st) && WEXITSTATUS(st) == 0;
  }
  posix_spawn_file_actions_destroy(&fa);
  return ok;
}

// tshark -V frames per second over the LAPD frames; 0 when unavailable.
double tsharkRate(const std::vector<Bytes>& frames) {
  const std::string tshark = findTool("tshark"), text2pcap = findTool("text2pcap");
  if (tshark.empty() || text2pcap.empty()) return 0;
  char tmpl[] = "/tmp/lumarc-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 0;
  const std::string dir = tmpl, hex = dir + "/frames.txt", pcap = dir + "/frames.pcap";
  {
    std::ofstream h(hex);
    char b[4];
    for (const Bytes& f : frames) {
      h << "0000";
      for (uint8_t x : f) {
        std::snprintf(b, sizeof b, " %02x", x);
        h << b;
      }
      h << "\n";
    }
  }
  double rate = 0;
  if (runTool({text2pcap, "-q", "-l", "203", hex, pcap})) {
    const auto t0 = Clock::now();
    if (runTool({tshark, "-n", "-V", "-r", pcap})) rate = double(frames.size()) / seconds(t0, Clock::now());
  }
  unlink(hex.c_str());
  unlink(pcap.c_str());
  rmdir(dir.c_str());
  return rate;
}

}  // namespace

int main() {
  const Corpus corpus = buildCorpus();
  const lumarc::DecodeOptions options{true};
  size_t sink = 0;

  // Baseline: message buffer preparation and hex dump only.
  auto t0 = Clock::now();
  for (const MonitorRecord& r : corpus.records) {
    lumarc::DecodeContext ctx(r, options);
    ctx.hexDump();
    sink += ctx.text().size();
  }
  const double dumpRate = double(corpus.records.size()) / seconds(t0, Clock::now());

  // Framework alone: header and dispatch of a kind without a body.
  std::vector<MonitorRecord> lineState = corpus.records;
  for (MonitorRecord& r : lineState) r.type = 0xEE00;
  t0 = Clock::now();
  for (const MonitorRecord& r : lineState) sink += lumarc::decodeMonitorRecord(r, options).size();
  const double frameworkRate = double(lineState.size()) / seconds(t0, Clock::now());

  // The whole decode of the ISDN corpus.
  t0 = Clock::now();
  for (const MonitorRecord& r : corpus.records) sink += lumarc::decodeMonitorRecord(r, options).size();
  const double decodeRate = double(corpus.records.size()) / seconds(t0, Clock::now());

  std::printf("decoder_corpus_records: %zu records\n", corpus.records.size());
  std::printf("decoder_hexdump_baseline: %.0f records/s\n", dumpRate);
  std::printf("decoder_framework_only: %.0f records/s (baseline: decoder_hexdump_baseline)\n", frameworkRate);
  std::printf("decoder_isdn_records: %.0f records/s (baseline: decoder_hexdump_baseline)\n", decodeRate);
  const double tshark = tsharkRate(corpus.lapdFrames);
  if (tshark > 0) {
    std::printf("tshark_lapd_q931_V: %.0f records/s\n", tshark);
    std::printf("decoder_isdn_vs_tshark: %.1f times\n", decodeRate / tshark);
  } else {
    std::printf("tshark_lapd_q931_V: 0 records/s (tshark not installed)\n");
  }
  return sink == 0 ? 1 : 0;
}
