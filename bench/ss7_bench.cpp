// Decoded SS7 records per second (ISUP-heavy mix of MTP, ISUP and SCCP
// units), beside a baseline from the same run (FISUs: header, label and
// level 2 only) and beside `tshark -V` on the same messages written to an
// MTP2 capture. Rates are per CPU second of one core (the decoder's process
// time, tshark's child time). Prints "name: value unit" lines.
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/monitor_record.h"
#include "lumarc/decoder/ss7_pcap.h"
#include "lumarc/decoder/samples/ss7_samples.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

using lumarc::MonitorRecord;
using Bytes = std::vector<uint8_t>;

constexpr size_t kRecords = 100000;

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double childCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

MonitorRecord recordOf(int32_t type, Bytes bytes) {
  MonitorRecord r;
  r.type = type;
  r.hpidx = 1;
  r.ptyp = 0x10;
  r.dir = 0x123;
  r.tdate = {2026, 12, 9, 6, 0, 0};
  r.cport = "       1";
  r.pport = "       1";
  r.datl = int32_t(bytes.size() > 96 ? 96 : bytes.size());
  bytes.resize(96, 0);
  r.datb = lumarc::encodeMessageBytes(bytes.data(), 96);
  return r;
}

// The sample units with varied circuit codes, routing labels and sequence
// numbers; ISUP units are chosen three times as often as the others.
std::vector<Bytes> unitSet(std::mt19937& rng) {
  const auto& samples = lumarc::sampleSs7Units();
  std::vector<const Bytes*> isup, other;
  for (const Bytes& s : samples) (s.size() > 3 && (s[3] & 0x0F) == 5 ? isup : other).push_back(&s);
  std::vector<Bytes> units;
  units.reserve(kRecords);
  for (size_t i = 0; i < kRecords; ++i) {
    const bool takeIsup = (i % 4) != 0;
    Bytes u = takeIsup ? *isup[rng() % isup.size()] : *other[rng() % other.size()];
    u[0] = uint8_t(rng());
    u[1] = uint8_t(rng());
    if (u.size() >= 8) u[4] = uint8_t(rng());               // destination point code, low octet
    if (takeIsup && u.size() >= 10) u[8] = uint8_t(rng());  // circuit code, low octet
    units.push_back(std::move(u));
  }
  return units;
}

double decodeRate(const std::vector<MonitorRecord>& records, size_t& bytesOut) {
  const double t0 = cpuSeconds();
  size_t total = 0;
  for (const MonitorRecord& r : records) total += lumarc::decodeMonitorRecord(r).size();
  const double t = cpuSeconds() - t0;
  bytesOut = total;
  return double(records.size()) / (t > 0 ? t : 1e-9);
}

// tshark -V over the capture; returns records per child CPU second, or a
// negative value when tshark cannot be run.
double tsharkRate(const std::string& capture, size_t count) {
  std::string tshark;
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/"}) {
    const std::string p = std::string(dir) + "tshark";
    if (access(p.c_str(), X_OK) == 0) tshark = p;
  }
  if (tshark.empty()) return -1;
  std::vector<std::string> args = {tshark, "-n", "-r", capture, "-V"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  const double c0 = childCpuSeconds();
  pid_t pid = -1;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
    int st = 0;
    waitpid(pid, &st, 0);
    status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  posix_spawn_file_actions_destroy(&fa);
  if (status != 0) return -1;
  const double t = childCpuSeconds() - c0;
  return double(count) / (t > 0 ? t : 1e-9);
}

}  // namespace

int main() {
  std::mt19937 rng(1209);
  const std::vector<Bytes> units = unitSet(rng);
  std::vector<MonitorRecord> ss7, fisu;
  ss7.reserve(units.size());
  fisu.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    ss7.push_back(recordOf((i & 1) ? 0xF600 : 0xF500, units[i]));
    fisu.push_back(recordOf(0xF500, {uint8_t(i), uint8_t(i >> 8), 0x00}));
  }
  size_t ss7Bytes = 0, fisuBytes = 0;
  decodeRate(ss7, ss7Bytes);  // warm-up
  const double baseline = decodeRate(fisu, fisuBytes);
  const double rate = decodeRate(ss7, ss7Bytes);
  std::printf("ss7_records: %zu records\n", ss7.size());
  std::printf("ss7_baseline_fisu_decode: %.0f records/s\n", baseline);
  std::printf("ss7_decode: %.0f records/s (baseline: ss7_baseline_fisu_decode)\n", rate);
  std::printf("ss7_decode_text: %.1f bytes/record\n", double(ss7Bytes) / double(ss7.size()));

  char dir[] = "/tmp/ss7-bench-XXXXXX";
  if (!mkdtemp(dir)) {
    std::printf("ss7_tshark_decode: skipped (no temporary directory)\n");
    return 0;
  }
  const std::string capture = std::string(dir) + "/units.pcap";
  double tshark = -1;
  if (lumarc::writeMtp2Capture(capture, units)) tshark = tsharkRate(capture, units.size());
  unlink(capture.c_str());
  rmdir(dir);
  if (tshark < 0) {
    std::printf("ss7_tshark_decode: skipped (tshark not available)\n");
    return 0;
  }
  std::printf("ss7_tshark_decode: %.0f records/s\n", tshark);
  std::printf("ss7_decode_vs_tshark: %.1f times\n", rate / tshark);
  return 0;
}
