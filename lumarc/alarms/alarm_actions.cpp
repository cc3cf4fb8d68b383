#include "lumarc/alarms/alarm_actions.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace lumarc::alarms {

JournalWriter standardErrorJournal() {
  return [](int priority, const std::string& line) {
    std::fprintf(stderr, "<%d>lumarc-cli: %s\n", priority, line.c_str());
    std::fflush(stderr);
  };
}

namespace {

std::string oneLine(std::string s) {
  for (char& c : s)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return s;
}

}  // namespace

std::string alarmLine(const Alarm& a) {
  std::string s = "alarm " + std::string(severityName(a.severity)) + " \"" + oneLine(a.rule) + "\"";
  if (!a.port.empty()) s += " port " + a.port;
  if (a.record) s += " record " + std::to_string(a.record);
  return s + ": " + oneLine(a.text);
}

int runProgram(const std::vector<std::string>& argv, const std::string& input, int seconds, std::string& error) {
  if (argv.empty()) return -1;
  int in[2];
  if (::pipe2(in, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return -1;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, 2, 1);  // never into the record lines
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(in[0]);
  if (rc != 0) {
    ::close(in[1]);
    error = argv[0] + ": " + std::strerror(rc);
    return -1;
  }
  // The input, then end of file; a program that stops reading is no fault
  // of ours (EPIPE, with SIGPIPE ignored).
  size_t done = 0;
  while (done < input.size()) {
    const ssize_t n = ::write(in[1], input.data() + done, input.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  ::close(in[1]);
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  for (;;) {
    const pid_t w = ::waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if (w < 0 && errno != EINTR) {
      error = argv[0] + ": " + std::strerror(errno);
      return -1;
    }
    if (std::chrono::steady_clock::now() > giveUp) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      error = argv[0] + " did not end within " + std::to_string(seconds) + " s";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (WIFEXITED(status)) {
    if (WEXITSTATUS(status) != 0) error = argv[0] + " ended with status " + std::to_string(WEXITSTATUS(status));
    return WEXITSTATUS(status);
  }
  error = argv[0] + " was ended by signal " + std::to_string(WTERMSIG(status));
  return -1;
}

AlarmActions::AlarmActions(MailSettings mail, std::string program, JournalWriter journal)
    : mail_(std::move(mail)), program_(std::move(program)), journal_(std::move(journal)) {}

void AlarmActions::outcome(bool& failing, const char* what, bool ok, const std::string& error) {
  if (!ok) ++failures_;
  if (!ok && !failing) journal_(3, std::string("alarm ") + what + " failed: " + error + " (reported once)");
  if (ok && failing) journal_(5, std::string("alarm ") + what + " works again");
  failing = !ok;
}

void AlarmActions::alarm(const Alarm& a, int64_t now) {
  journal_(journalPriority(a.severity), alarmLine(a));
  if (!program_.empty()) {
    std::string error;
    const int status = runProgram(
        {program_, a.rule, severityName(a.severity), a.port, std::to_string(a.record), a.text, dateTimeText(a.raised)},
        {}, 30, error);
    outcome(programFailing_, "program", status == 0, error);
  }
  if (!mail_.enabled()) return;
  Waiting& w = waiting_[a.rule];
  w.alarms.push_back(a);
  if (!w.sentOnce || now - w.lastSent >= int64_t{mail_.everyMinutes} * 60) sendMail(a.rule, w, now);
}

void AlarmActions::tick(int64_t now) {
  for (auto& [rule, w] : waiting_)
    if (!w.alarms.empty() && now - w.lastSent >= int64_t{mail_.everyMinutes} * 60) sendMail(rule, w, now);
}

void AlarmActions::flush() {
  for (auto& [rule, w] : waiting_)
    if (!w.alarms.empty()) sendMail(rule, w, w.lastSent);
}

void AlarmActions::sendMail(const std::string& rule, Waiting& w, int64_t now) {
  const Alarm& first = w.alarms.front();
  std::string m = "To: ";
  for (size_t i = 0; i < mail_.to.size(); ++i) m += (i ? ", " : "") + mail_.to[i];
  m += "\n";
  if (!mail_.from.empty()) m += "From: " + mail_.from + "\n";
  m += "Subject: Lumarc alarm: " + oneLine(rule) + " (" + severityName(first.severity) + ", " +
       std::to_string(w.alarms.size()) + (w.alarms.size() == 1 ? " alarm)" : " alarms)") + "\n";
  m += "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n\n";
  for (const Alarm& a : w.alarms) m += dateTimeText(a.raised) + " " + alarmLine(a) + "\n";
  std::string error;
  const int status = runProgram({mail_.sendmail, "-t"}, m, 30, error);
  outcome(mailFailing_, "mail", status == 0, error);
  if (status == 0) ++mailsSent_;
  // A failed mail is not tried again: its alarms are in the journal and
  // the table, and a mail server that is down would only pile them up.
  w.alarms.clear();
  w.lastSent = now;
  w.sentOnce = true;
}

}  // namespace lumarc::alarms
