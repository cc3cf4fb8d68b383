// End to end over loopback: `halvern --headless` registers with corvane-sim's
// keyset role, which announces the recording port, and "download" fetches
// the extension's recordings from corvane-sim's voice role in keyset mode;
// each ends as "Wav/<title>.mp3".
#include "common/mp3.h"
#include "common/test_support.h"
#include "tools/sim/test_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

extern char** environ;

namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;
using lumarc::testproc::ChildProcess;
using lumarc::testproc::programPath;
using lumarc::testproc::waitFor;

// Its own loopback address for every run, so parallel runs never meet.
std::string loopbackAddress(int n) {
  return "127.84." + std::to_string(::getpid() % 250 + 1) + "." + std::to_string(n);
}

std::set<std::string> filesIn(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.insert(e->d_name);
    ::closedir(d);
  }
  return names;
}

// The softphone: commands in through a pipe, lines out through another.
class Phone {
 public:
  Phone(const std::string& host, const std::string& dir) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, in[1]);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addopen(&fa, 2, (dir + "/phone.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    const std::vector<std::string> argv{programPath("HALVERN"), "--headless", "-C100", "-I" + host,
                                        "-P123456789012",       "-U100"};
    const std::vector<std::string> env{"XDG_RUNTIME_DIR=" + dir + "/run", "LANG=C", "LC_ALL=C",
                                       "QT_QPA_PLATFORM=offscreen"};
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
    ::fcntl(out_, F_SETFL, O_NONBLOCK);
  }
  ~Phone() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
  }
  bool ok() const { return pid_ > 0; }
  void type(const std::string& line) {
    const std::string l = line + "\n";
    EXPECT_EQ(::write(in_, l.data(), l.size()), ssize_t(l.size()));
  }
  const std::string& output() {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out_, buf, sizeof buf)) > 0) text_.append(buf, size_t(n));
    return text_;
  }
  // Whether a line "<tick> <event>" was printed.
  bool printed(const std::string& event) { return output().find(" " + event + "\n") != std::string::npos; }
  int exitStatus(int seconds) {
    int st = 0;
    if (!waitFor([&] { return exited_ || (exited_ = ::waitpid(pid_, &st, WNOHANG) == pid_); }, seconds)) return -1;
    output();
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  bool exited_ = false;
  std::string text_;
};

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
  Phone phone(host, dir.path());
  ASSERT_TRUE(phone.ok());
  ASSERT_TRUE(waitFor([&] { return phone.printed("link ready"); }, 60)) << phone.output();
  phone.type("download");
  EXPECT_TRUE(waitFor([&] { return phone.printed(done); }, 60)) << phone.output() << voice.output();
  phone.type("quit");
  EXPECT_EQ(phone.exitStatus(30), 0) << readAll(dir.path() + "/phone.err");
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
  Phone phone(host, dir.path());
  ASSERT_TRUE(waitFor([&] { return phone.printed("link ready"); }, 60)) << phone.output();
  phone.type("download");
  EXPECT_TRUE(waitFor([&] { return phone.printed("error no recording port announced"); }, 30)) << phone.output();
  phone.type("quit");
  EXPECT_EQ(phone.exitStatus(30), 0);
  EXPECT_EQ(phone.output().find(" status "), std::string::npos) << phone.output();
}

}  // namespace
