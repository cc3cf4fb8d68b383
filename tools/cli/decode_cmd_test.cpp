// lumarc-cli decode on small frame files: decoded lines, skipped comment and
// blank lines, malformed lines reported by number while the rest decode.
#include "common/byte_io.h"
#include "common/test_support.h"
#include "lumarc/decoder/frame_text.h"
#include "lumarc/decoder/framework.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

using corvane::testing::readAll;

class DecodeCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp_.path().empty());
    dir_ = tmp_.path();
    const char* cli = std::getenv("LUMARC_CLI");
    if (!cli) GTEST_SKIP() << "LUMARC_CLI not set";
    cli_ = cli;
  }
  std::string path(const char* name) const { return dir_ + "/" + name; }

  void write(const char* name, const std::string& text) {
    std::ofstream f(path(name), std::ios::binary);
    f << text;
  }

  // Runs lumarc-cli decode with args; stdin from stdinFile when given.
  RunResult run(std::vector<std::string> args, const char* stdinFile = nullptr) {
    std::vector<std::string> all = {cli_, "decode"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, stdinFile ? path(stdinFile).c_str() : "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, path("out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, path("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    RunResult r;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
      int st = 0;
      waitpid(pid, &st, 0);
      r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    r.out = readAll(path("out.txt"));
    r.err = readAll(path("err.txt"));
    return r;
  }

  corvane::testing::TempDir tmp_{"lumarc-decode"};
  std::string dir_;
  std::string cli_;
};

// A monitor frame of kind type with the given message bytes, dated
// 2024/05/06 07:08:09.
lumarc::MonitorFrame frameOf(uint16_t type, std::vector<uint8_t> msg) {
  using namespace lumarc::monframe;
  lumarc::MonitorFrame f{};
  corvane::ByteWriter w(f);
  w.putLe32(kCallingPort, 0xFFFFFFFFu);
  w.putLe32(kPartnerPort, 0xFFFFFFFFu);
  w.putBytes(kYear, std::vector<uint8_t>{24, 5, 6, 7, 8, 9});
  w.putLe16(kType, type);
  w.put8(kLength, uint8_t(msg.size()));
  w.putBytes(kMessage, msg);
  EXPECT_FALSE(w.overran());
  return f;
}

const std::string kSetupLine =
    " 0001 2024/05/06 07:08:09.000 RCV PKT Sapi=00 Tei=00 C/R=0 P/F=0 INFO  NR=00 NS=00 Ptcl=08\n"
    "                 Cref=d01   SETUP\n"
    "                 Sending Complete\n"
    "        Hex Dump 00 01 00 00 08 01 81 05 A1 \n";

TEST_F(DecodeCommand, PrintsEveryDecodedLineAndSkipsCommentsAndBlanks) {
  const auto setup = frameOf(0xFD00, {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05, 0xA1});
  const auto line = frameOf(0xEE00, {});
  write("in.frm", "# a comment\n\n" + lumarc::formatFrameLine(1, 0x10, setup) + "\n   \n" +
                      lumarc::formatFrameLine(2, 0x10, line) + "\r\n");
  RunResult r = run({path("in.frm")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            kSetupLine + " 0002 2024/05/06 07:08:09.000 L.event 0000" + std::string(21, ' ') + "Line activated\n");
}

TEST_F(DecodeCommand, MalformedLinesAreNamedAndTheOthersStillDecode) {
  const auto setup = frameOf(0xFD00, {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05, 0xA1});
  std::string good = lumarc::formatFrameLine(1, 0x10, setup);
  write("in.frm", "0001 10 00FF\n" + good + "\nzz01 10 " + good.substr(8) + "\n" + good + " extra\n");
  RunResult r = run({path("in.frm")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kSetupLine);
  EXPECT_NE(r.err.find("line 1:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("line 3:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("line 4:"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("line 2:"), std::string::npos) << r.err;
}

TEST_F(DecodeCommand, Layer2OptionShowsSupervisoryFramesFromStandardInput) {
  write("in.frm", lumarc::formatFrameLine(1, 0x10, frameOf(0xFD00, {0x00, 0x01, 0x01, 0x05})) + "\n");
  RunResult off = run({}, "in.frm");
  EXPECT_EQ(off.status, 0);
  EXPECT_EQ(off.out, "");
  RunResult on = run({"--layer2"}, "in.frm");
  EXPECT_EQ(on.status, 0);
  EXPECT_EQ(on.out,
            " 0001 2024/05/06 07:08:09.000 RCV PKT Sapi=00 Tei=00 C/R=0 P/F=1 RR    NR=02\n"
            "        Hex Dump 00 01 01 05 \n");
}

TEST_F(DecodeCommand, StatsCountRecordsLinesAndMalformedRecordsByReasonPerKindOnStandardError) {
  const auto setup = frameOf(0xFD00, {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05, 0xA1});
  // The same SETUP cut inside a bearer capability that claims three octets,
  // and cut before its message type.
  const auto cut = frameOf(0xFD00, {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05, 0x04, 0x03, 0x80});
  const auto noType = frameOf(0xFD00, {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81});
  const auto line = frameOf(0xEE00, {});
  write("in.frm", lumarc::formatFrameLine(1, 0x10, setup) + "\n" + lumarc::formatFrameLine(1, 0x10, cut) + "\n" +
                      lumarc::formatFrameLine(1, 0x10, noType) + "\n" + lumarc::formatFrameLine(1, 0x10, cut) + "\n" +
                      lumarc::formatFrameLine(2, 0x10, line) + "\n");
  RunResult plain = run({path("in.frm")});
  RunResult r = run({"--stats", path("in.frm")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, plain.out) << "standard output must not change with --stats";
  const long lines = std::count(r.out.begin(), r.out.end(), '\n');
  EXPECT_EQ(lines, 16);
  EXPECT_EQ(r.err, "records: 5\nlines: " + std::to_string(lines) +
                       "\nmalformed EE: 0 of 1\nmalformed FD: 3 of 4\n"
                       "  element past the end: 2\n"
                       "  message type missing: 1\n");
}

TEST_F(DecodeCommand, MissingFileFails) {
  RunResult r = run({path("absent.frm")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("absent.frm"), std::string::npos);
}

TEST(FrameText, FormatAndParseRoundTrip) {
  lumarc::MonitorFrame f{};
  for (size_t i = 0; i < f.size(); ++i) f[i] = uint8_t(i * 7);
  const std::string line = lumarc::formatFrameLine(0xBEEF, 0x12, f);
  EXPECT_EQ(line.size(), 248u);
  lumarc::FrameLine back;
  std::string error;
  ASSERT_EQ(lumarc::parseFrameLine(line, back, error), lumarc::FrameLineStatus::Frame);
  EXPECT_EQ(back.hpidx, 0xBEEF);
  EXPECT_EQ(back.ptyp, 0x12);
  EXPECT_EQ(back.frame, f);
  EXPECT_EQ(lumarc::parseFrameLine("  # note", back, error), lumarc::FrameLineStatus::Skip);
  EXPECT_EQ(lumarc::parseFrameLine("", back, error), lumarc::FrameLineStatus::Skip);
  EXPECT_EQ(lumarc::parseFrameLine(line.substr(0, 247), back, error), lumarc::FrameLineStatus::Malformed);
}

}  // namespace
