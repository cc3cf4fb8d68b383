// What is done with an alarm once it is written: a journal line at the
// rule's severity (systemd's "<N>" priority prefix), a mail through
// sendmail (at most one per rule every few minutes; alarms in between go
// into the next one), and a program run with the alarm as its arguments
// (rule, severity, port, record, text, time). Programs are started with
// posix_spawn and an argument list, never through a shell, and are given
// 30 s. A failing action is reported once (and once more when it works
// again); it never stops anything else. Plain C++.
//
// The process must ignore SIGPIPE (a sendmail that ends without reading
// its input would otherwise end it).
#pragma once

#include "lumarc/alarms/alarm_engine.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace lumarc::alarms {

// Writes one journal line with its priority (0-7).
using JournalWriter = std::function<void(int priority, const std::string& line)>;
// Standard error, each line prefixed "<N>" as systemd's journal reads it.
JournalWriter standardErrorJournal();

// The journal's line of an alarm.
std::string alarmLine(const Alarm& a);

// Runs a program with arguments, `input` on its standard input, its output
// to standard error; its exit status, or -1 (with the cause in `error`)
// when it could not be started, was killed or outlived `seconds`.
int runProgram(const std::vector<std::string>& argv, const std::string& input, int seconds, std::string& error);

class AlarmActions {
 public:
  AlarmActions(MailSettings mail, std::string program, JournalWriter journal);

  // An alarm was written at `now` (seconds, as secondsOf).
  void alarm(const Alarm& a, int64_t now);
  // Sends the mails that are due.
  void tick(int64_t now);
  // Sends every mail still waiting (at the end).
  void flush();

  // Mails sent and action failures so far.
  uint64_t mailsSent() const { return mailsSent_; }
  uint64_t failures() const { return failures_; }

 private:
  struct Waiting {
    std::vector<Alarm> alarms;
    int64_t lastSent = 0;
    bool sentOnce = false;
  };
  void sendMail(const std::string& rule, Waiting& w, int64_t now);
  void outcome(bool& failing, const char* what, bool ok, const std::string& error);

  MailSettings mail_;
  std::string program_;
  JournalWriter journal_;
  std::map<std::string, Waiting> waiting_;
  bool mailFailing_ = false, programFailing_ = false;
  uint64_t mailsSent_ = 0, failures_ = 0;
};

}  // namespace lumarc::alarms
