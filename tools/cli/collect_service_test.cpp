// lumarc-cli collect as the lumarc-collect@ service runs it: its
// configuration file, and what it tells systemd through a notify socket
// the test binds in systemd's place (READY=1 once the links are open,
// WATCHDOG=1 from the tick, STOPPING=1 at the end).
#include "common/test_support.h"
#include "tools/sim/test_process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace lumarc {
namespace {

using Child = testproc::ChildProcess;
using Clock = std::chrono::steady_clock;
using corvane::testing::readAll;
using corvane::testing::TempDir;
using testproc::waitFor;
constexpr auto binary = testproc::programPath;

// systemd's side of sd_notify: a datagram socket whose path goes to the
// children started while it exists (NOTIFY_SOCKET), with a watchdog of the
// given time-out (WATCHDOG_USEC).
class NotifySocket {
 public:
  NotifySocket(const std::string& path, std::chrono::milliseconds watchdog) : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) return;
    std::memcpy(a.sun_path, path.c_str(), path.size());
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
    bound_ = true;
    ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    ::setenv("WATCHDOG_USEC", std::to_string(watchdog.count() * 1000).c_str(), 1);
  }
  ~NotifySocket() {
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
    if (fd_ >= 0) ::close(fd_);
    ::unlink(path_.c_str());
  }
  bool ok() const { return bound_; }

  struct Message {
    std::string text;
    Clock::time_point at;
  };
  // The messages received so far.
  const std::vector<Message>& messages() {
    char buf[512];
    ssize_t n;
    while ((n = ::recv(fd_, buf, sizeof buf, 0)) > 0) received_.push_back({std::string(buf, size_t(n)), Clock::now()});
    return received_;
  }
  bool got(const std::string& text) {
    for (const Message& m : messages())
      if (m.text == text) return true;
    return false;
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool bound_ = false;
  std::vector<Message> received_;
};

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(CollectService, ABadConfigurationEndsWithStatus2NamesItsLinesAndIsNeverReady) {
  TempDir dir("lumarc-service");
  ASSERT_FALSE(dir.path().empty());
  NotifySocket systemd(dir.file("notify"), std::chrono::milliseconds(1000));
  ASSERT_TRUE(systemd.ok());
  struct Case {
    const char* what;
    std::string text;  // empty: no file
    std::string message;
  } cases[] = {
      {"a misspelt key", "cmdr=127.0.0.1:1\n# the database\ndatabase=x\n", "site.conf:3: unknown key \"database\""},
      {"a relative directory", "cmdr=127.0.0.1:1\ndir=site1\n", "site.conf:2: dir= needs an absolute path"},
      {"no file", "", "cannot read " + dir.file("site.conf")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir.file("site.conf"));
    if (!c.text.empty()) writeFile(dir.file("site.conf"), c.text);
    Child cli({binary("LUMARC_CLI"), "--dir", dir.path(), "collect", "--config", dir.file("site.conf"), "--for", "5"},
              dir.file("err.txt"));
    EXPECT_EQ(cli.wait(), 2);
    EXPECT_NE(readAll(dir.file("err.txt")).find(c.message), std::string::npos) << readAll(dir.file("err.txt"));
  }
  EXPECT_TRUE(systemd.messages().empty()) << systemd.messages().front().text;
}

// The longest time between two signs of life after the first one.
std::chrono::milliseconds longestSilence(const std::vector<NotifySocket::Message>& messages) {
  std::chrono::milliseconds longest{0};
  const NotifySocket::Message* last = nullptr;
  for (const NotifySocket::Message& m : messages) {
    if (m.text != "WATCHDOG=1") continue;
    if (last) longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(m.at - last->at));
    last = &m;
  }
  return longest;
}

TEST(CollectService, ReadyOnceTheLinksAreOpenThenSignsOfLifeFromTheTickThenStopping) {
  TempDir dir("lumarc-service");
  ASSERT_FALSE(dir.path().empty());
  const std::string site = dir.file("site1");
  ASSERT_TRUE(std::filesystem::create_directory(site));
  // One record every 2 s, so that one arrives while the test holds the database.
  Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--count", "4", "--batch", "1", "--pause", "2000"});
  const std::string port = testproc::listeningPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  writeFile(dir.file("site1.conf"), "cmdr=127.0.0.1:" + port + "\ndir=" + site + "\n");

  NotifySocket systemd(dir.file("notify"), std::chrono::milliseconds(1000));
  ASSERT_TRUE(systemd.ok());
  Child cli({binary("LUMARC_CLI"), "collect", "--config", dir.file("site1.conf")}, dir.file("err.txt"));
  ASSERT_TRUE(waitFor([&] { return systemd.got("READY=1") || !cli.running(); })) << readAll(dir.file("err.txt"));
  ASSERT_TRUE(cli.running()) << readAll(dir.file("err.txt"));
  EXPECT_EQ(systemd.messages().front().text, "READY=1") << "nothing before the service is ready";

  // The first record is stored; the next one finds the database held by
  // another program, and the collector waits for it within its tick's turn
  // of the event loop: the signs of life stop meanwhile, as they must for
  // systemd to restart a collector that hangs.
  // Every wait keeps reading the socket, so that each message is timed.
  ASSERT_TRUE(waitFor([&] {
    systemd.messages();
    return sim.output().find("ack ") != std::string::npos;
  })) << sim.output();
  Child holder({"/usr/bin/sqlite3", site + "/Lumarc.mdb", "BEGIN EXCLUSIVE;", ".shell sleep 4.5", "COMMIT;"});
  ASSERT_TRUE(waitFor([&] {
    systemd.messages();
    return !holder.running();
  }));
  EXPECT_EQ(holder.status(), 0);
  ASSERT_TRUE(waitFor([&] {
    systemd.messages();
    return sim.printed("done") || !cli.running();
  })) << sim.output();
  const auto end = Clock::now() + std::chrono::milliseconds(1200);
  waitFor([&] {
    systemd.messages();
    return Clock::now() > end;
  });
  cli.signal(SIGTERM);
  EXPECT_EQ(cli.wait(), 0) << readAll(dir.file("err.txt"));

  const std::vector<NotifySocket::Message>& messages = systemd.messages();
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(messages.back().text, "STOPPING=1");
  size_t alive = 0;
  for (const auto& m : messages) alive += m.text == "WATCHDOG=1" ? 1 : 0;
  EXPECT_EQ(alive + 2, messages.size()) << "READY=1, signs of life, STOPPING=1 and nothing else";
  EXPECT_GE(alive, 8u) << "every 0.5 s over several seconds";
  EXPECT_GE(longestSilence(messages), std::chrono::milliseconds(1500)) << "a hanging tick stops the signs of life";
  EXPECT_TRUE(std::filesystem::exists(site + "/Lumarc.set")) << "dir= of the file is the working directory";
}

}  // namespace
}  // namespace lumarc
