// A program for the end-to-end tests with a pipe on its standard input and
// output (`halvern --headless`: commands in, "<tick> <event>" lines out),
// started in a folder of its own with extra environment variables.
#pragma once

#include "tools/sim/test_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumarc::testproc {

class Program {
 public:
  Program(const std::vector<std::string>& argv, const std::string& dir, const std::vector<std::string>& env) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, in[1]);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addopen(&fa, 2, (dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    std::vector<std::string> envText(env);
    for (char** e = environ; *e; ++e) envText.push_back(*e);
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
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
  ~Program() {
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
  // The exit status once ended within the time, else -1.
  int exitStatus(int seconds) {
    int st = 0;
    if (!waitFor([&] { return exited_ || (exited_ = ::waitpid(pid_, &st, WNOHANG) == pid_); }, seconds)) return -1;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    output();
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  bool exited_ = false;
  int status_ = -1;
  std::string text_;
};

}  // namespace lumarc::testproc
