// --pcap end to end: a saved session written by lumarc-cli decode and a live
// one written by lumarc-cli monitor against corvane-sim are read back by
// tshark, which must find every record, each with its link type, and name
// the same ISUP and Q.931 message types as our decoder. Skipped when tshark
// is not installed.
#include "common/byte_io.h"
#include "common/test_support.h"
#include "lumarc/decoder/frame_text.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/q931.h"
#include "lumarc/decoder/samples/sample_frames.h"
#include "lumarc/decoder/samples/ss7_samples.h"
#include "tools/sim/test_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace lumarc {
namespace {

using Bytes = std::vector<uint8_t>;
using corvane::testing::readAll;
using corvane::testing::TempDir;
constexpr auto binary = testproc::programPath;

std::string findTshark() {
  for (const char* p : {"/usr/bin/tshark", "/usr/local/bin/tshark"})
    if (::access(p, X_OK) == 0) return p;
  return {};
}

// Runs a program, standard output and error to files; its exit status.
int run(std::vector<std::string> args, const std::string& out, const std::string& err) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
    int st = 0;
    ::waitpid(pid, &st, 0);
    status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  posix_spawn_file_actions_destroy(&fa);
  return status;
}

std::vector<std::string> splitOn(const std::string& s, char sep) {
  std::vector<std::string> out(1);
  for (char c : s) {
    if (c == sep)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// tshark's fields of every packet of a capture, one vector per packet.
std::vector<std::vector<std::string>> tsharkFields(const std::string& tshark, const std::string& capture,
                                                   const std::vector<std::string>& fields, const std::string& dir) {
  std::vector<std::string> args = {tshark, "-n", "-r", capture, "-T", "fields", "-E", "separator=/t"};
  for (const std::string& f : fields) {
    args.push_back("-e");
    args.push_back(f);
  }
  EXPECT_EQ(run(args, dir + "/tshark.out", dir + "/tshark.err"), 0) << readAll(dir + "/tshark.err");
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(readAll(dir + "/tshark.out"));
  std::string line;
  while (std::getline(in, line)) rows.push_back(splitOn(line, '\t'));
  return rows;
}

MonitorFrame frameOf(uint16_t type, const Bytes& bytes, uint16_t ind = 0) {
  MonitorFrame f{};
  corvane::ByteWriter w(f.data(), f.size());
  const uint8_t date[6] = {24, 5, 6, 7, 8, 9};
  for (size_t i = 0; i < 6; ++i) w.put8(monframe::kYear + i, date[i]);
  w.putLe16(monframe::kType, type);
  w.putLe16(monframe::kIndicator, ind);
  w.put8(monframe::kLength, uint8_t(bytes.size()));
  for (size_t i = 0; i < bytes.size(); ++i) w.put8(monframe::kMessage + i, bytes[i]);
  return f;
}

// The message type our decoder names on the first line of a Q.931 message
// ("Cref=" and the name) or of an ISUP message ("Message type:" line): its
// code, or -1 when it names none.
int ourMessageType(const MonitorFrame& frame, bool isup) {
  static const std::map<std::string, int> q931 = [] {
    std::map<std::string, int> m;
    for (int t = 0; t < 256; ++t)
      if (!messageTypeName(uint8_t(t)).empty()) m.emplace(std::string(messageTypeName(uint8_t(t))), t);
    return m;
  }();
  DecodeOptions options;
  options.layer2 = true;
  for (const std::string& line : splitDecodeText(decodeMonitorRecord(buildMonitorRecord(frame, 1, 0x10), options))) {
    if (isup) {
      const size_t p = line.find(" Message type:");
      if (p != std::string::npos) return int(std::strtol(line.substr(p + 14, 2).c_str(), nullptr, 16));
      continue;
    }
    const size_t cref = line.find("Cref=");
    if (cref == std::string::npos) continue;
    const std::string rest = line.size() > cref + 11 ? line.substr(cref + 11) : "";
    auto it = q931.find(rest);
    return it == q931.end() ? -1 : it->second;
  }
  return -1;
}

TEST(DecodeToPcap, WiresharkReadsEveryRecordWithItsLinkTypeAndOurMessageTypes) {
  const std::string tshark = findTshark();
  if (tshark.empty()) GTEST_SKIP() << "tshark is not installed: the capture is not read back";
  TempDir dir("lumarc-pcap");
  ASSERT_FALSE(dir.path().empty());

  struct Record {
    MonitorFrame frame;
    std::string protocol;  // the first protocol tshark names (that of the link type)
    bool isdn = false, isup = false;
  };
  std::vector<Record> records;
  for (const Bytes& f : sampleIsdnFrames()) records.push_back({frameOf(0xFD00, f), "lapd", true, false});
  for (const Bytes& u : sampleSs7Units())
    records.push_back({frameOf(0xF500, u), "mtp2", false, u.size() > 3 && (u[3] & 0x0F) == 5});
  for (const Bytes& v : sampleV5Frames()) {
    const unsigned address = unsigned(v[0] >> 2) << 7 | unsigned(v[1] >> 1);
    records.push_back({frameOf(0xFC27, v), address >= 8176 ? "exported_pdu" : "lapd"});
  }
  records.push_back({frameOf(0xEE00, {}, 1), "user_dlt"});
  records.push_back({frameOf(0xF900, {1, 2}, 3), "user_dlt"});
  records.push_back({frameOf(0xED00, {'B', 'Y', 'E', ' ', 's', 'i', 'p', ':', '1'}), "user_dlt"});

  std::string session = "# /var/lib/lumarc/site1/logM00.frm 2024/05/06 07:08:09 pbx1:9876\n";
  for (const Record& r : records) session += formatFrameLine(1, 0x10, r.frame) + "\n";
  { std::ofstream(dir.file("logM00.frm"), std::ios::binary) << session; }
  ASSERT_EQ(run({binary("LUMARC_CLI"), "decode", "--pcap", dir.file("s.pcapng"), dir.file("logM00.frm")},
                dir.file("out.txt"), dir.file("err.txt")),
            0)
      << readAll(dir.file("err.txt"));

  const auto rows = tsharkFields(
      tshark, dir.file("s.pcapng"),
      {"frame.protocols", "q931.message_type", "isup.message_type", "frame.interface_description", "frame.comment"},
      dir.path());
  ASSERT_EQ(rows.size(), records.size()) << "one packet per record";
  size_t isdnNamed = 0, isupNamed = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("packet " + std::to_string(i + 1) + ": " + rows[i][0]);
    ASSERT_EQ(rows[i].size(), 5u);
    const std::vector<std::string> protocols = splitOn(rows[i][0], ':');
    ASSERT_GE(protocols.size(), 1u);
    EXPECT_EQ(protocols[0], records[i].protocol);
    EXPECT_EQ(rows[i][3].rfind("Corvane exchange pbx1", 0), 0u) << rows[i][3];
    if (records[i].isdn && !rows[i][1].empty()) {
      EXPECT_EQ(ourMessageType(records[i].frame, false), std::stoi(rows[i][1], nullptr, 0));
      ++isdnNamed;
    }
    if (records[i].isup) {
      ASSERT_FALSE(rows[i][2].empty()) << "tshark sees no ISUP message";
      EXPECT_EQ(ourMessageType(records[i].frame, true), std::stoi(rows[i][2], nullptr, 0));
      ++isupNamed;
    }
    if (records[i].protocol == "user_dlt") {
      EXPECT_FALSE(rows[i][4].empty()) << "the decoded text is kept";
    }
  }
  EXPECT_GE(isdnNamed, 10u);
  EXPECT_GE(isupNamed, 10u);
  EXPECT_NE(rows.back()[4].find("BYE sip:1"), std::string::npos) << rows.back()[4];
}

TEST(DecodeToPcap, AnExistingFileIsReplacedOnlyWithForce) {
  TempDir dir("lumarc-pcap");
  ASSERT_FALSE(dir.path().empty());
  {
    std::ofstream(dir.file("logM00.frm")) << formatFrameLine(1, 0x10, frameOf(0xEE00, {})) << "\n";
    std::ofstream(dir.file("s.pcapng")) << "an earlier capture";
  }
  const std::string cli = binary("LUMARC_CLI");
  EXPECT_EQ(run({cli, "decode", "--pcap", dir.file("s.pcapng"), dir.file("logM00.frm")}, dir.file("out.txt"),
                dir.file("err.txt")),
            1);
  EXPECT_EQ(readAll(dir.file("s.pcapng")), "an earlier capture");
  EXPECT_NE(readAll(dir.file("err.txt")).find("s.pcapng exists (--force replaces it)"), std::string::npos);
  EXPECT_EQ(readAll(dir.file("out.txt")), "") << "nothing is decoded either";

  EXPECT_EQ(run({cli, "decode", "--pcap", dir.file("s.pcapng"), "--force", dir.file("logM00.frm")}, dir.file("out.txt"),
                dir.file("err.txt")),
            0);
  EXPECT_EQ(readAll(dir.file("s.pcapng")).substr(0, 4), std::string("\x0A\x0D\x0D\x0A", 4));
}

TEST(MonitorToPcap, EveryRecordArrivesOnceStampedOnArrivalUnderTheExchangeAndAccessCode) {
  const std::string tshark = findTshark();
  if (tshark.empty()) GTEST_SKIP() << "tshark is not installed: the capture is not read back";
  TempDir dir("lumarc-pcap");
  ASSERT_FALSE(dir.path().empty());
  testproc::ChildProcess sim({binary("CORVANE_SIM"), "--listen", "127.0.0.1", "monitor", "--any-port", "--password",
                              "secret12", "--access", "12AB=0x42", "--count", "6", "--repeat", "4", "--resend", "300"},
                             dir.file("sim.err"));
  const std::string port = testproc::listeningPort(sim, 60);
  ASSERT_FALSE(port.empty()) << sim.output();
  const auto started = std::chrono::system_clock::now();
  testproc::ChildProcess cli({binary("LUMARC_CLI"), "--dir", dir.path(), "monitor",
                              "127.0.0.1:" + port + ",secret12-12AB", "--pcap", dir.file("live.pcapng")},
                             dir.file("cli.err"));
  ASSERT_TRUE(testproc::waitFor([&] { return sim.printed("done") || !cli.running(); })) << sim.output();
  cli.signal(SIGINT);
  ASSERT_EQ(cli.wait(), 0) << readAll(dir.file("cli.err"));

  const auto rows =
      tsharkFields(tshark, dir.file("live.pcapng"),
                   {"frame.interface_name", "frame.interface_description", "frame.time_epoch"}, dir.path());
  ASSERT_EQ(rows.size(), 6u) << "the repeated record is written once";
  const double from = std::chrono::duration<double>(started.time_since_epoch()).count() - 1;
  const double to = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() + 1;
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[0], "127.0.0.1-12AB");
    EXPECT_EQ(row[1], "Corvane exchange 127.0.0.1, access code 12AB");
    const double t = std::strtod(row[2].c_str(), nullptr);
    EXPECT_GE(t, from) << "stamped on arrival, not with the record's own date";
    EXPECT_LE(t, to);
  }
}

}  // namespace
}  // namespace lumarc
