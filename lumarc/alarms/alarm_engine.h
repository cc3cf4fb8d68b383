// The alarm engine: a state machine fed stored call records (in Cdata
// counter order) and ticks, raising alarms through an AlarmSink. It keeps
// the state the burst and silence rules need across records: each port's
// calls within the burst windows, each exchange's last record. Plain C++,
// no database and no real time: the clock is an interface, and whether a
// port has a user row is asked through PortDirectory.
#pragma once

#include "lumarc/alarms/alarm_rules.h"
#include "lumarc/records/records.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace lumarc::alarms {

// One raised alarm: a row of table Alarm.
struct Alarm {
  DateTime raised;
  std::string rule;
  Severity severity = Severity::Warning;
  std::string port;      // the record's first port, blanks trimmed; empty for silence
  int32_t record = 0;    // the record's Cdata sqno; 0 when none (silence)
  std::string text;      // what happened, in one line
  std::string exchange;  // silence: the quiet exchange's address
};

class AlarmSink {
 public:
  virtual ~AlarmSink() = default;
  virtual void raise(const Alarm& alarm) = 0;
};

// The local wall clock.
class AlarmClock {
 public:
  virtual ~AlarmClock() = default;
  virtual DateTime now() const = 0;
};

// Whether a port belongs to a known user (a user row of it, table Pdata).
class PortDirectory {
 public:
  virtual ~PortDirectory() = default;
  virtual bool known(const std::string& port) = 0;
};

// An exchange's address as the alarm texts write it ("192.168.1.20"; the
// record's ipadr, host order; 0 for an exchange reached over IPv6).
std::string exchangeText(uint32_t ipadr);

class AlarmEngine {
 public:
  AlarmEngine(std::vector<Rule> rules, AlarmSink& sink, const AlarmClock& clock, PortDirectory& ports);

  // A stored record. warmUp: the record only rebuilds the state (it was
  // evaluated before); nothing is raised.
  void record(const CmdrRecord& r, bool warmUp = false);
  // The silence rules' check against the clock.
  void tick();
  // Forgets every record's state; the quiet time of exchanges counts from
  // now (the collector is up from here on).
  void reset();
  // An exchange's last record before now (rebuilding the silence state).
  void exchangeSeen(uint32_t ipadr, const DateTime& last);
  // How far before a new record the burst rules look back, in seconds.
  int64_t lookBackSeconds() const;

  const std::vector<Rule>& rules() const { return rules_; }

 private:
  struct Call {
    int64_t at;
    uint32_t pulses;
  };
  struct BurstState {
    std::deque<Call> calls;
    uint64_t total = 0;
    bool raised = false;
  };
  struct Quiet {
    DateTime last;
    std::vector<bool> raised;  // per rule: raised for this quiet spell
  };
  void burst(size_t ruleIndex, const Rule& rule, const CmdrRecord& r, const std::string& port, bool warmUp);
  void raise(const Rule& rule, const std::string& port, int32_t record, std::string text, std::string exchange = {});

  std::vector<Rule> rules_;
  AlarmSink& sink_;
  const AlarmClock& clock_;
  PortDirectory& ports_;
  // Per burst rule, per port.
  std::vector<std::map<std::string, BurstState>> bursts_;
  // Per exchange (ipadr).
  std::map<uint32_t, Quiet> exchanges_;
  // Per silence rule: since when its hours hold (quiet before does not count).
  std::vector<int64_t> windowSince_;
  std::vector<bool> inWindow_;
  int64_t upSince_ = 0;
};

}  // namespace lumarc::alarms
