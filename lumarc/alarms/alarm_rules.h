// The alarm rules of a collector: what makes a stored call record (or a
// quiet exchange) an alarm, and what is done with an alarm. They come from a
// TOML file (lumarc-cli collect --alarms FILE):
//
//   [mail]                          # optional: alarms by mail
//   to = ["pbx-admin@example.com"]
//   from = "lumarc@example.com"     # optional
//   sendmail = "/usr/sbin/sendmail" # optional; run as "sendmail -t"
//   every = 5                       # minutes: at most one mail per rule so often
//
//   [program]                       # optional: run for every alarm with
//   path = "/usr/local/bin/page"    # rule, severity, port, record, text, time
//
//   [[rule]]
//   name = "premium at night"
//   kind = "destination"            # destination, long_call, burst, unknown_port, silence
//   severity = "critical"           # critical, warning, info
//   prefixes = ["0900", "00"]       # destination: dialled digits starting so
//   ports = ["1001", "1002"]        # optional: only these first ports
//   hours = "08:00-18:00"           # optional: only in these hours (may wrap midnight)
//   days = ["mon", "tue", "wed", "thu", "fri"]   # optional, or "mon-fri"
//   outside = true                  # optional: only outside hours/days instead
//
// long_call takes seconds = N (duration above N); burst takes minutes = M and
// calls = N or pulses = N (more than N calls, or external pulses, by one port
// within M minutes); unknown_port has no further keys; silence takes
// minutes = N (no record from an exchange for N minutes; its hours and days
// say when the exchange is expected to be busy).
//
// Plain C++; the file is read with toml++, which gives each value's line.
#pragma once

#include "lumarc/records/date_time.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::alarms {

enum class Severity { Critical, Warning, Info };
// "critical", "warning", "info".
const char* severityName(Severity s);
// The journal's priority of a severity: 2 (crit), 4 (warning), 6 (info).
int journalPriority(Severity s);

// When a rule applies: hours of the day and days of the week, or outside them.
struct TimeWindow {
  bool allDay = true;
  int fromMinute = 0, toMinute = 0;  // minutes after midnight, [from, to), wrapping when from > to
  unsigned days = 0x7F;              // bit 0 Monday ... bit 6 Sunday
  bool outside = false;
  bool contains(const DateTime& t) const;
};

enum class RuleKind { Destination, LongCall, Burst, UnknownPort, Silence };
const char* ruleKindName(RuleKind k);

struct Rule {
  std::string name;
  RuleKind kind = RuleKind::Destination;
  Severity severity = Severity::Warning;
  std::vector<std::string> ports;  // blanks trimmed; empty: every port
  TimeWindow window;
  std::vector<std::string> prefixes;  // destination
  uint32_t seconds = 0;               // long_call
  uint32_t calls = 0, pulses = 0;     // burst: one of them
  uint32_t minutes = 0;               // burst, silence
  unsigned line = 0;                  // where the rule starts in its file
  bool appliesToPort(const std::string& trimmedPort) const;
};

struct MailSettings {
  std::vector<std::string> to;
  std::string from;
  std::string sendmail = "/usr/sbin/sendmail";
  int everyMinutes = 5;
  bool enabled() const { return !to.empty(); }
};

struct AlarmConfig {
  std::vector<Rule> rules;
  MailSettings mail;
  std::string program;  // empty: none
};

// A line of the rule file that is refused: its number (from 1) and why.
struct RuleProblem {
  unsigned line = 0;
  std::string message;
};

// Parses a rule file's text; every problem found (none: out holds it all).
std::vector<RuleProblem> parseAlarmRules(std::string_view text, const std::string& path, AlarmConfig& out);

// Seconds since 1970-01-01 of a local date-time (no zone), and its day of
// the week (0 Monday ... 6 Sunday).
int64_t secondsOf(const DateTime& t);
int weekdayOf(const DateTime& t);

}  // namespace lumarc::alarms
