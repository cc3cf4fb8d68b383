// A child process for the end-to-end tests: its standard output arrives
// through a pipe read without blocking; standard error goes to a file or is
// inherited.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace lumarc::testproc {

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv, const std::string& errFile = {}) {
    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    if (!errFile.empty()) posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    fd_ = out[0];
    ::fcntl(fd_, F_SETFL, O_NONBLOCK);
  }
  ~ChildProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Everything printed so far.
  const std::string& output() {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd_, buf, sizeof buf)) > 0) out_.append(buf, size_t(n));
    return out_;
  }
  bool printed(const std::string& line) { return output().find(line + "\n") != std::string::npos; }
  void signal(int s) { ::kill(pid_, s); }
  // Waits for the exit; the exit status, or -1.
  int wait() {
    if (exited_) return status_;
    int st = 0;
    if (::waitpid(pid_, &st, 0) != pid_) return -1;
    record(st);
    return status_;
  }
  // False once the process has ended (its status is then kept).
  bool running() {
    if (exited_ || pid_ <= 0) return false;
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) != pid_) return true;
    record(st);
    return false;
  }
  int status() const { return status_; }
  bool ok() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

 private:
  void record(int st) {
    exited_ = true;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    output();
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  bool exited_ = false;
  int status_ = -1;
  std::string out_;
};

// A built program's path, from the environment variable the test runner
// sets (LUMARC_CLI, CORVANE_SIM, ...); empty when unset.
inline std::string programPath(const char* env) {
  const char* p = std::getenv(env);
  return p ? p : "";
}

// Polls until done() holds; gives up after a generous while so that a fault
// shows as a failed expectation instead of a hang.
inline bool waitFor(const std::function<bool()>& done, int seconds = 60) {
  auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The port of the simulator's first line "listening HOST:PORT"; empty when
// it ended or said something else first.
inline std::string listeningPort(ChildProcess& sim, int seconds = 10) {
  waitFor([&] { return sim.output().find('\n') != std::string::npos || !sim.running(); }, seconds);
  const std::string& out = sim.output();
  size_t nl = out.find('\n');
  if (out.rfind("listening ", 0) != 0 || nl == std::string::npos) return "";
  size_t colon = out.rfind(':', nl);
  return colon == std::string::npos ? "" : out.substr(colon + 1, nl - colon - 1);
}

}  // namespace lumarc::testproc
