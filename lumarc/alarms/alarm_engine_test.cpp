// The alarm engine alone: each rule kind on a short sequence of records
// (and ticks of a clock the test sets), raising or keeping quiet.
#include "lumarc/alarms/alarm_engine.h"

#include <gtest/gtest.h>

#include <set>

namespace lumarc::alarms {
namespace {

struct Raised : AlarmSink {
  std::vector<Alarm> alarms;
  void raise(const Alarm& a) override { alarms.push_back(a); }
};
struct Clock : AlarmClock {
  DateTime t{2024, 5, 6, 9, 0, 0};  // a Monday
  DateTime now() const override { return t; }
};
struct Ports : PortDirectory {
  std::set<std::string> named{"1001", "1002"};
  bool known(const std::string& p) override { return named.count(p) > 0; }
};

// A call record: port, dialled digits, time (minutes after 09:00 on the Monday), duration, pulses.
CmdrRecord call(int sqno, const char* port, const char* digits, int minute, uint32_t duration = 60, uint32_t pulses = 1,
                const char* type = "A") {
  CmdrRecord r;
  r.sqno = sqno;
  r.type = type;
  r.cport = std::string(8 - std::string(port).size(), ' ') + port;
  r.rdata = digits + std::string(32 - std::string(digits).size(), ' ');
  r.tdate = addSeconds({2024, 5, 6, 9, 0, 0}, int64_t{minute} * 60);
  r.duration = duration;
  r.rpuls = pulses;
  r.ipadr = 0x7F000001;
  return r;
}

Rule rule(RuleKind kind) {
  Rule r;
  r.name = ruleKindName(kind);
  r.kind = kind;
  return r;
}

TEST(AlarmEngine, EachRuleKindRaisesOnItsRecordsAndOnlyThere) {
  Rule night = rule(RuleKind::Destination);
  night.prefixes = {"0900", "00"};
  night.window.allDay = false;
  night.window.fromMinute = 8 * 60;
  night.window.toMinute = 18 * 60;
  night.window.outside = true;
  Rule premium = rule(RuleKind::Destination);
  premium.prefixes = {"0900"};
  premium.ports = {"1001"};
  Rule longCall = rule(RuleKind::LongCall);
  longCall.seconds = 3600;
  Rule calls = rule(RuleKind::Burst);
  calls.calls = 3;
  calls.minutes = 10;
  Rule pulses = rule(RuleKind::Burst);
  pulses.pulses = 100;
  pulses.minutes = 60;
  struct Case {
    const char* what;
    Rule rule;
    std::vector<CmdrRecord> records;
    std::vector<int> raisedBy;  // sqno of each record expected to raise
  } cases[] = {
      {"a prefix in the day is inside office hours", night, {call(1, "1001", "0900123", 0)}, {}},
      {"a prefix at night", night, {call(1, "1001", "0900123", 600), call(2, "1001", "0212555", 601)}, {1}},
      {"00 after a blank-trimmed start", night, {call(1, "1003", "0044123", -120)}, {1}},
      {"only the listed port", premium, {call(1, "1002", "0900", 0), call(2, "1001", "09001", 1)}, {2}},
      {"not a call record", premium, {call(1, "1001", "0900", 0, 60, 1, "D")}, {}},
      {"a long call", longCall, {call(1, "1001", "0212", 0, 3600), call(2, "1001", "0212", 0, 3601)}, {2}},
      {"calls within the window, once per burst",
       calls,
       {call(1, "1001", "1", 0), call(2, "1001", "1", 3), call(3, "1002", "1", 4), call(4, "1001", "1", 9),
        call(5, "1001", "1", 9), call(6, "1001", "1", 30), call(7, "1001", "1", 31), call(8, "1001", "1", 32),
        call(9, "1001", "1", 33)},
       {5, 9}},
      {"calls spread wider than the window",
       calls,
       {call(1, "1001", "1", 0), call(2, "1001", "1", 5), call(3, "1001", "1", 10), call(4, "1001", "1", 15)},
       {}},
      {"pulses", pulses, {call(1, "1001", "1", 0, 60, 60), call(2, "1001", "1", 30, 60, 41)}, {2}},
      {"a port without a user",
       rule(RuleKind::UnknownPort),
       {call(1, "1001", "1", 0), call(2, "1999", "1", 1), call(3, "", "1", 2)},
       {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Raised sink;
    Clock clock;
    Ports ports;
    AlarmEngine engine({c.rule}, sink, clock, ports);
    for (const CmdrRecord& r : c.records) engine.record(r);
    std::vector<int> got;
    for (const Alarm& a : sink.alarms) {
      got.push_back(a.record);
      EXPECT_EQ(a.rule, c.rule.name);
      EXPECT_FALSE(a.text.empty());
    }
    EXPECT_EQ(got, c.raisedBy) << (sink.alarms.empty() ? "" : sink.alarms.front().text);
  }
}

TEST(AlarmEngine, RecordsReplayedToRebuildTheStateRaiseNothingButCount) {
  Rule calls = rule(RuleKind::Burst);
  calls.calls = 2;
  calls.minutes = 10;
  Raised sink;
  Clock clock;
  Ports ports;
  AlarmEngine engine({calls}, sink, clock, ports);
  EXPECT_EQ(engine.lookBackSeconds(), 600);
  engine.record(call(1, "1001", "1", 0), true);
  engine.record(call(2, "1001", "1", 1), true);
  EXPECT_TRUE(sink.alarms.empty());
  engine.record(call(3, "1001", "1", 2));
  ASSERT_EQ(sink.alarms.size(), 1u);
  EXPECT_EQ(sink.alarms[0].record, 3);
  EXPECT_EQ(sink.alarms[0].port, "1001");
}

TEST(AlarmEngine, SilenceInItsHoursOncePerQuietSpell) {
  Rule quiet = rule(RuleKind::Silence);
  quiet.minutes = 30;
  quiet.window.allDay = false;
  quiet.window.fromMinute = 8 * 60;
  quiet.window.toMinute = 18 * 60;
  Raised sink;
  Clock clock;
  clock.t = {2024, 5, 6, 7, 0, 0};
  Ports ports;
  AlarmEngine engine({quiet}, sink, clock, ports);
  engine.record(call(1, "1001", "1", -125));  // 06:55
  auto at = [&](int h, int m) {
    clock.t = {2024, 5, 6, h, m, 0};
    engine.tick();
    return sink.alarms.size();
  };
  EXPECT_EQ(at(7, 50), 0u) << "quiet, but outside the hours";
  EXPECT_EQ(at(8, 0), 0u);
  EXPECT_EQ(at(8, 29), 0u) << "the quiet time counts from 08:00";
  EXPECT_EQ(at(8, 30), 1u);
  EXPECT_EQ(at(9, 30), 1u) << "once per quiet spell";
  EXPECT_EQ(sink.alarms[0].record, 0);
  EXPECT_EQ(sink.alarms[0].exchange, "127.0.0.1");
  EXPECT_NE(sink.alarms[0].text.find("127.0.0.1 since 2024-05-06 06:55:00"), std::string::npos) << sink.alarms[0].text;
  engine.record(call(2, "1001", "1", 40));  // 09:40: the exchange is back
  EXPECT_EQ(at(10, 9), 1u);
  EXPECT_EQ(at(10, 10), 2u) << "a new spell";
}

}  // namespace
}  // namespace lumarc::alarms
