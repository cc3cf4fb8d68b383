// End to end: corvane-sim's voice role on the loopback address against
// lumarc-cli collect --voice (the real voice link, its UDP sockets, the
// SQLite record store and the converter), with lost, stale and duplicate
// replies; and lumarc-cli convert.
#include "common/mp3.h"
#include "common/recording_name.h"
#include "common/test_support.h"
#include "lumarc/store/database.h"
#include "lumarc/store/record_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include "tools/sim/test_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace lumarc {
namespace {

using Process = testproc::ChildProcess;
constexpr auto tool = testproc::programPath;
constexpr auto simPort = [](Process& sim) { return testproc::listeningPort(sim); };
// Voice transfers take their time: a longer default wait.
bool waitFor(const std::function<bool()>& done, int seconds = 90) { return testproc::waitFor(done, seconds); }

using corvane::testing::readAll;
using corvane::testing::TempDir;

std::vector<std::string> filesIn(const std::string& dir, const std::string& suffix) {
  std::vector<std::string> out;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0) out.push_back(n);
    }
    ::closedir(d);
  }
  return out;
}

std::vector<VoiceRecord> voiceRows(const std::string& dir) {
  RecordStore store;
  std::vector<VoiceRecord> rows;
  if (!store.openVoiceDatabase(dir + "/Wav")) return rows;
  store::DrptVset vs(*store.voiceDatabase());
  vs.open();
  VoiceRecord r;
  while (vs.next(r)) rows.push_back(r);
  return rows;
}

std::vector<UserRecord> userRows(const std::string& dir) {
  RecordStore store;
  std::vector<UserRecord> rows;
  if (!store.openMainDatabase(dir)) return rows;
  store::DrptPset ps(*store.mainDatabase());
  ps.open();
  UserRecord u;
  while (ps.next(u)) rows.push_back(u);
  return rows;
}

// Downloads count recordings of `seconds` from the simulator with the given
// faults through lumarc-cli collect and waits until all are converted.
// Returns what the simulator printed.
std::string downloadAll(const TempDir& dir, const std::string& listen, const std::string& host, int count,
                        const std::vector<std::string>& faults) {
  // clang-format off
  std::vector<std::string> simArgs{tool("CORVANE_SIM"), "--listen", listen, "voice", "--any-port", "--count",
                                   std::to_string(count), "--seconds", "2", "--channels", "3", "--exit-when-done"};
  // clang-format on
  simArgs.insert(simArgs.end(), faults.begin(), faults.end());
  Process sim(simArgs);
  std::string port = simPort(sim);
  EXPECT_FALSE(port.empty()) << sim.output();
  if (port.empty()) return {};
  Process cli({tool("LUMARC_CLI"), "--dir", dir.path(), "collect", "--voice", host + ":" + port});
  const std::string wav = dir.path() + "/Wav";
  EXPECT_TRUE(waitFor([&] { return sim.printed("all files confirmed"); })) << sim.output() << cli.output();
  EXPECT_TRUE(waitFor([&] {
    return cli.printed("mp3:" + std::to_string(count)) && filesIn(wav, ".apc").empty() &&
           filesIn(wav, ".tmp").empty() && int(filesIn(wav, ".mp3").size()) == count;
  })) << cli.output();
  cli.signal(SIGTERM);
  EXPECT_EQ(cli.wait(), 0);
  EXPECT_EQ(sim.wait(), 0);
  return sim.output();
}

double rms(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(to - from));
}

}  // namespace

TEST(VoiceEndToEnd, EveryRecordingArrivesIsListedAndConvertedDespiteLostStaleAndDuplicateReplies) {
  if (tool("CORVANE_SIM").empty() || tool("LUMARC_CLI").empty()) GTEST_SKIP() << "tools not built";
  TempDir dir;
  std::string simOut =
      downloadAll(dir, "127.0.0.1", "127.0.0.1", 6, {"--lose", "6", "--duplicate", "9", "--stale", "14"});
  EXPECT_NE(simOut.find("lost reply 6\n"), std::string::npos);
  EXPECT_NE(simOut.find("stale reply 14\n"), std::string::npos);
  for (int c = 0; c < 3; ++c) EXPECT_NE(simOut.find(" on channel " + std::to_string(c) + "\n"), std::string::npos);
  std::vector<VoiceRecord> rows = voiceRows(dir.path());
  ASSERT_EQ(rows.size(), 6u);
  std::set<std::string> ports;
  for (const VoiceRecord& r : rows) {
    EXPECT_EQ(r.rcdfx, "mp3") << r.rcdfn;
    EXPECT_FALSE(r.Wavu);
    EXPECT_EQ(r.ipadr, 0x7F000001u);
    EXPECT_EQ(r.rcddate, 0x240506u);
    EXPECT_EQ(r.duration, 2u);
    ports.insert(r.rcdport);
    // The name reads back into the same row.
    auto back = corvane::parseVoiceFileName(r.rcdfn + ".mp3", 1);
    ASSERT_TRUE(back) << r.rcdfn;
    EXPECT_EQ(back->rcdport, r.rcdport);
    EXPECT_EQ(back->rcdtime, r.rcdtime);
    EXPECT_EQ(back->rcddsq, r.rcddsq);
    EXPECT_EQ(back->cref, r.cref);
    EXPECT_EQ(back->Drog, r.Drog);
    // The MP3 holds the whole recording at its level.
    auto pcm = corvane::decodeMp3(readAll(r.rcdfn + ".mp3"));
    ASSERT_TRUE(pcm) << r.rcdfn;
    EXPECT_EQ(pcm->sampleRate, 8000);
    EXPECT_GE(pcm->samples.size(), 15840u);  // 66 blocks of 240 samples
    EXPECT_LE(pcm->samples.size(), 15840u + 4 * 576);
    if (r.Drog) {  // the simulator's tones: amplitude 8000
      EXPECT_NEAR(rms(pcm->samples, 2000, 14000), 8000 / std::sqrt(2.0), 1200) << r.rcdfn;
    } else {
      EXPECT_GT(rms(pcm->samples, 2000, 14000), 1000) << r.rcdfn;
    }
  }
  EXPECT_EQ(ports.size(), 6u);
  // Every recorded port has a user row.
  std::vector<UserRecord> users = userRows(dir.path());
  for (const std::string& p : ports) {
    bool found = false;
    for (const UserRecord& u : users) found = found || u.cport == p;
    EXPECT_TRUE(found) << p;
  }
  // The log lists every downloaded file.
  std::string log = readAll(dir.path() + "/logV00.txt");
  for (const VoiceRecord& r : rows) EXPECT_NE(log.find(r.rcdfn + ".apc\r\n"), std::string::npos);
}

TEST(VoiceEndToEnd, ShortAndEmptyBlocksEndTheirFilesWhichAreStillListedAndConverted) {
  if (tool("CORVANE_SIM").empty() || tool("LUMARC_CLI").empty()) GTEST_SKIP() << "tools not built";
  TempDir dir;
  downloadAll(dir, "127.0.0.1", "127.0.0.1", 4, {"--short", "2", "--empty", "3"});
  std::vector<VoiceRecord> rows = voiceRows(dir.path());
  ASSERT_EQ(rows.size(), 4u);
  std::vector<size_t> lengths;
  for (const VoiceRecord& r : rows) {
    EXPECT_EQ(r.rcdfx, "mp3");
    auto pcm = corvane::decodeMp3(readAll(r.rcdfn + ".mp3"));
    ASSERT_TRUE(pcm) << r.rcdfn;
    lengths.push_back(pcm->samples.size() / 240);  // whole ADPCM blocks
  }
  std::sort(lengths.begin(), lengths.end());
  // 1024 + 100 bytes and 1024 bytes: 8 blocks of sound each; the others 66.
  EXPECT_GE(lengths[0], 8u);
  EXPECT_LE(lengths[1], 8u + 10u);
  EXPECT_GE(lengths[2], 66u);
  EXPECT_GE(lengths[3], 66u);
}

TEST(VoiceEndToEnd, Ipv6ExchangeDeliversOnAllChannels) {
  if (tool("CORVANE_SIM").empty() || tool("LUMARC_CLI").empty()) GTEST_SKIP() << "tools not built";
  int probe = ::socket(AF_INET6, SOCK_DGRAM, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  bool v6 = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (probe >= 0) ::close(probe);
  if (!v6) GTEST_SKIP() << "no IPv6 loopback";
  TempDir dir;
  downloadAll(dir, "::1", "[::1]", 4, {});
  std::vector<VoiceRecord> rows = voiceRows(dir.path());
  ASSERT_EQ(rows.size(), 4u);
  for (const VoiceRecord& r : rows) {
    EXPECT_EQ(r.ipadr, 0u);
    EXPECT_EQ(r.rcdfx, "mp3");
  }
}

// The collector is killed the moment the exchange has taken "file done"
// (and forgotten the recording, its answer never sent): the recording must
// already be listed, and the next start converts it.
TEST(VoiceEndToEnd, RecordingConfirmedJustBeforeACrashIsListedAfterTheRestart) {
  if (tool("CORVANE_SIM").empty() || tool("LUMARC_CLI").empty()) GTEST_SKIP() << "tools not built";
  TempDir dir;
  // clang-format off
  Process sim({tool("CORVANE_SIM"), "--listen", "127.0.0.1", "voice", "--any-port", "--count", "1", "--seconds",
               "1", "--channels", "1", "--unanswered-done"});
  // clang-format on
  const std::string port = simPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  const std::string address = "127.0.0.1:" + port;
  {
    Process cli({tool("LUMARC_CLI"), "--dir", dir.path(), "collect", "--voice", address});
    ASSERT_TRUE(waitFor([&] { return sim.printed("done 1 on channel 0"); }, 20)) << sim.output() << cli.output();
    cli.signal(SIGKILL);
    cli.wait();
  }
  ASSERT_EQ(voiceRows(dir.path()).size(), 1u) << "not listed when the exchange was told it is done";

  const std::string wav = dir.path() + "/Wav";
  Process again({tool("LUMARC_CLI"), "--dir", dir.path(), "collect", "--voice", address});
  std::vector<VoiceRecord> rows;
  EXPECT_TRUE(waitFor(
      [&] {
        rows = voiceRows(dir.path());
        return rows.size() == 1 && rows[0].rcdfx == "mp3" && filesIn(wav, ".apc").empty();
      },
      20))
      << again.output();
  again.signal(SIGTERM);
  EXPECT_EQ(again.wait(), 0);
  ASSERT_EQ(rows.size(), 1u) << "the recording confirmed to the exchange is not listed";
  EXPECT_EQ(rows[0].rcdfx, "mp3");
  EXPECT_FALSE(rows[0].Wavu);
  EXPECT_TRUE(corvane::decodeMp3(readAll(rows[0].rcdfn + ".mp3"))) << rows[0].rcdfn;
  // The exchange offered it once: nothing was downloaded a second time.
  EXPECT_EQ(sim.output().find("offered 1", sim.output().find("offered 1") + 1), std::string::npos) << sim.output();
}

TEST(ConvertCommand, ApcBecomesWavAndMp3AndOtherFilesAreRefused) {
  if (tool("CORVANE_SIM").empty() || tool("LUMARC_CLI").empty()) GTEST_SKIP() << "tools not built";
  TempDir dir;
  std::string apc(64, 'h');
  for (int i = 0; i < 120 * 100; ++i) apc += char(i % 8 < 4 ? 0x33 : 0xBB);
  std::FILE* f = std::fopen((dir.path() + "/rec.apc").c_str(), "wb");
  std::fwrite(apc.data(), 1, apc.size(), f);
  std::fclose(f);
  Process ok({tool("LUMARC_CLI"), "convert", dir.path() + "/rec.apc"});
  EXPECT_EQ(ok.wait(), 0);
  EXPECT_EQ(readAll(dir.path() + "/rec.wav").size(), 44u + 100u * 480u);
  EXPECT_TRUE(corvane::decodeMp3(readAll(dir.path() + "/rec.mp3")));
  EXPECT_EQ(readAll(dir.path() + "/rec.apc"), apc);
  std::remove((dir.path() + "/rec.mp3").c_str());
  Process again({tool("LUMARC_CLI"), "convert", dir.path() + "/rec.wav"});
  EXPECT_EQ(again.wait(), 0);
  EXPECT_TRUE(corvane::decodeMp3(readAll(dir.path() + "/rec.mp3")));

  f = std::fopen((dir.path() + "/notes.txt").c_str(), "wb");
  std::fclose(f);
  Process bad({tool("LUMARC_CLI"), "convert", dir.path() + "/notes.txt"});
  EXPECT_EQ(bad.wait(), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/notes.mp3"));
}

}  // namespace lumarc
