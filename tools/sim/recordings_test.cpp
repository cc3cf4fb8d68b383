// End to end over loopback: `halvern --headless` registers with corvane-sim's
// keyset role, which announces the recording port, and "download" fetches
// the extension's recordings from corvane-sim's voice role in keyset mode;
// each ends as "Wav/<title>.mp3".
#include "common/mp3.h"
#include "common/test_support.h"
#include "tools/sim/headless_program.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using corvane::testing::filesIn;
using corvane::testing::readAll;
using corvane::testing::TempDir;
using lumarc::testproc::ChildProcess;
using lumarc::testproc::programPath;
using lumarc::testproc::waitFor;

// Its own loopback address for every run, so parallel runs never meet.
std::string loopbackAddress(int n) {
  return "127.84." + std::to_string(::getpid() % 250 + 1) + "." + std::to_string(n);
}

// The softphone in its folder, with a runtime folder of its own.
lumarc::testproc::Program startPhone(const std::string& host, const std::string& dir) {
  return lumarc::testproc::Program(
      {programPath("HALVERN"), "--headless", "-C100", "-I" + host, "-P123456789012", "-U100"}, dir,
      {"XDG_RUNTIME_DIR=" + dir + "/run", "LANG=C", "LC_ALL=C"});
}

struct Session {
  std::string phoneOutput;
  std::string voiceOutput;
  std::set<std::string> wav;  // what is left in Wav after "quit"
  std::string wavDir;
};

// Registers, waits for the link, types "download" and waits for `done`,
// then quits. The voice role serves two 1-second recordings with `faults`.
void downloadSession(TempDir& dir, int n, const std::vector<std::string>& faults, const std::string& done, Session& r) {
  const std::string host = loopbackAddress(n);
  ::mkdir((dir.path() + "/run").c_str(), 0700);
  std::vector<std::string> voiceArgs{programPath("CORVANE_SIM"),
                                     "--listen",
                                     host,
                                     "--port",
                                     "9874",
                                     "voice",
                                     "--keyset",
                                     "200",
                                     "--count",
                                     "2",
                                     "--seconds",
                                     "1"};
  voiceArgs.insert(voiceArgs.end(), faults.begin(), faults.end());
  ChildProcess voice(voiceArgs, dir.path() + "/voice.err");
  ASSERT_EQ(lumarc::testproc::listeningPort(voice), "9874") << readAll(dir.path() + "/voice.err");
  ChildProcess keyset({programPath("CORVANE_SIM"), "--listen", host, "keyset", "--recording-port", "9874", "--log",
                       dir.path() + "/keyset.log"},
                      dir.path() + "/keyset.err");
  ASSERT_EQ(lumarc::testproc::listeningPort(keyset), "9877") << readAll(dir.path() + "/keyset.err");
  lumarc::testproc::Program phone = startPhone(host, dir.path());
  ASSERT_TRUE(phone.ok());
  ASSERT_TRUE(waitFor([&] { return phone.printed("link ready"); }, 60)) << phone.output();
  phone.type("download");
  EXPECT_TRUE(waitFor([&] { return phone.printed(done); }, 60)) << phone.output() << voice.output();
  phone.type("quit");
  EXPECT_EQ(phone.exitStatus(30), 0) << readAll(dir.path() + "/stderr");
  r.phoneOutput = phone.output();
  r.voiceOutput = voice.output();
  r.wavDir = dir.path() + "/Wav";
  r.wav = filesIn(r.wavDir);
}

bool haveTools() { return !programPath("CORVANE_SIM").empty() && !programPath("HALVERN").empty(); }

TEST(KeysetRecordings, DownloadFetchesEveryRecordingOfTheExtensionAndLeavesOnlyMp3Files) {
  if (!haveTools()) GTEST_SKIP() << "halvern not built";
  TempDir dir;
  Session r;
  // Every second reply comes twice: the copy answers an old request and is
  // ignored.
  downloadSession(dir, 1, {"--duplicate", "2,4,6"}, "status \"Downloaded file: 0002\"", r);
  EXPECT_NE(r.voiceOutput.find("done 2"), std::string::npos) << r.voiceOutput;
  EXPECT_NE(r.phoneOutput.find(" status \"Connecting to server \"\n"), std::string::npos) << r.phoneOutput;
  ASSERT_EQ(r.wav.size(), 2u) << r.phoneOutput;
  for (const std::string& name : r.wav) {
    ASSERT_EQ(name.substr(name.size() - 4), ".mp3") << name;
    EXPECT_EQ(name.rfind("200______240506_10000", 0), 0u) << name;
    auto pcm = corvane::decodeMp3(readAll(r.wavDir + "/" + name));
    ASSERT_TRUE(pcm) << name;
    EXPECT_GT(pcm->samples.size(), 6000u) << name;
  }
}

TEST(KeysetRecordings, DownloadIsRefusedWhileTheExchangeAnnouncedNoRecordingPort) {
  if (!haveTools()) GTEST_SKIP() << "halvern not built";
  TempDir dir;
  const std::string host = loopbackAddress(3);
  ::mkdir((dir.path() + "/run").c_str(), 0700);
  ChildProcess keyset({programPath("CORVANE_SIM"), "--listen", host, "keyset", "--recording-port", "0", "--log",
                       dir.path() + "/keyset.log"},
                      dir.path() + "/keyset.err");
  ASSERT_EQ(lumarc::testproc::listeningPort(keyset), "9877") << readAll(dir.path() + "/keyset.err");
  lumarc::testproc::Program phone = startPhone(host, dir.path());
  ASSERT_TRUE(waitFor([&] { return phone.printed("link ready"); }, 60)) << phone.output();
  phone.type("download");
  EXPECT_TRUE(waitFor([&] { return phone.printed("error no recording port announced"); }, 30)) << phone.output();
  phone.type("quit");
  EXPECT_EQ(phone.exitStatus(30), 0);
  EXPECT_EQ(phone.output().find(" status "), std::string::npos) << phone.output();
}

}  // namespace
