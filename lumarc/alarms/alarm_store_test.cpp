// Alarms over a real record database: every stored record evaluated once
// across a collector stopped between its records' commit and their
// alarms (an SQLite file), and two evaluators on one PostgreSQL server
// raising each alarm once (when LUMARC_TEST_PG is set).
#include "lumarc/alarms/alarm_store.h"

#include "common/fault_seam.h"
#include "lumarc/store/odbc.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/store_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace lumarc::alarms {
namespace {

struct FixedClock : AlarmClock {
  DateTime now() const override { return {2024, 5, 6, 12, 0, 0}; }
};

std::vector<Rule> premiumRule() {
  Rule r;
  r.name = "premium";
  r.kind = RuleKind::Destination;
  r.severity = Severity::Critical;
  r.prefixes = {"0900"};
  return {r};
}

CmdrRecord premiumCall(int n) {
  CmdrRecord r;
  r.type = "A";
  r.tdate = {2024, 5, 6, 10, n / 60 % 60, n % 60};
  r.cport = "    1001";
  r.pport = "    2001";
  r.uport = "     901";
  r.rdata = "0900" + std::to_string(n);
  r.crefa = uint32_t(n);  // records differ, so none is a duplicate
  r.duration = 30;
  r.ipadr = 0x7F000001;
  return r;
}

void storeCalls(RecordStore& rs, int from, int count) {
  std::vector<CmdrRecord> pass;
  for (int i = 0; i < count; ++i) pass.push_back(premiumCall(from + i));
  for (const StoreOutcome& o : rs.storePass(pass)) ASSERT_TRUE(o.stored()) << o.error;
}

// The record keys of the Alarm rows, in order.
std::vector<int64_t> alarmKeys(store::Database& db) {
  std::vector<int64_t> keys;
  odbc::Statement s(db.connection());
  s.executeDirect("SELECT rkey, rule, sever FROM Alarm ORDER BY rkey");
  while (s.fetch()) {
    int64_t k = 0;
    std::string rule, sever;
    s.getInt64(1, k);
    s.getText(2, rule);
    s.getText(3, sever);
    EXPECT_EQ(rule, "premium");
    EXPECT_EQ(sever, "critical");
    keys.push_back(k);
  }
  return keys;
}

std::vector<int64_t> range(int64_t from, int64_t to) {
  std::vector<int64_t> v;
  for (int64_t i = from; i <= to; ++i) v.push_back(i);
  return v;
}

TEST(AlarmStore, EveryRecordIsEvaluatedOnceAcrossAStopBetweenCommitAndAlarms) {
  corvane::testing::TempDir dir("alarm-store");
  RecordStore rs;
  ASSERT_TRUE(rs.openMainDatabase(dir.path()));
  storeCalls(rs, 0, 2);  // stored before alarms were set up: never evaluated
  const std::string conn = rs.mainDatabase()->connectionString();
  FixedClock clock;
  {
    store::Database db(conn);
    AlarmEvaluator first(db, premiumRule(), clock);
    std::string error;
    ASSERT_TRUE(first.prepare(error)) << error;
    storeCalls(rs, 2, 3);
    Evaluation e = first.evaluate();
    ASSERT_TRUE(e.ok) << e.error;
    EXPECT_EQ(e.records, 3u);
    EXPECT_EQ(e.alarms.size(), 3u);
    // Records 6 and 7 are committed; the evaluation that follows fails on
    // its way (the collector is killed): nothing of it stays.
    storeCalls(rs, 5, 2);
    corvane::fault::Guard guard;
    corvane::fault::arm(corvane::fault::Point::Statement, 1, {.message = "killed", .only = "INSERT INTO Alarm"});
    EXPECT_FALSE(first.evaluate().ok);
    EXPECT_EQ(alarmKeys(db), range(3, 5));
  }
  // The next start finds them above the mark.
  storeCalls(rs, 7, 1);
  store::Database db(conn);
  AlarmEvaluator next(db, premiumRule(), clock);
  std::string error;
  ASSERT_TRUE(next.prepare(error)) << error;
  Evaluation e = next.evaluate();
  ASSERT_TRUE(e.ok) << e.error;
  EXPECT_EQ(e.records, 3u);
  EXPECT_EQ(next.mark(), 8);
  EXPECT_TRUE(next.evaluate().alarms.empty());
  EXPECT_EQ(alarmKeys(db), range(3, 8));
}

TEST(AlarmStore, TheNewestAlarmsAreReadBackNewestFirst) {
  corvane::testing::TempDir dir("alarm-store");
  RecordStore rs;
  ASSERT_TRUE(rs.openMainDatabase(dir.path()));
  FixedClock clock;
  store::Database db(rs.mainDatabase()->connectionString());
  AlarmEvaluator evaluator(db, premiumRule(), clock);
  std::string error;
  ASSERT_TRUE(evaluator.prepare(error)) << error;
  std::vector<AlarmRow> rows;
  ASSERT_TRUE(readNewestAlarms(db, 10, rows, error)) << error;
  EXPECT_TRUE(rows.empty());

  storeCalls(rs, 0, 3);
  ASSERT_TRUE(evaluator.evaluate().ok);
  ASSERT_TRUE(readNewestAlarms(db, 2, rows, error)) << error;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].rkey, 3);
  EXPECT_EQ(rows[1].rkey, 2);
  EXPECT_GT(rows[0].sqno, rows[1].sqno);
  EXPECT_EQ(rows[0].adate, clock.now());
  EXPECT_EQ(rows[0].rule, "premium");
  EXPECT_EQ(rows[0].sever, "critical");
  EXPECT_EQ(rows[0].cport, "1001");
  EXPECT_EQ(rows[0].atext, "call from port 1001 to 09002 (prefix 0900)");
}

struct SetClock : AlarmClock {
  DateTime t;
  DateTime now() const override { return t; }
};

TEST(AlarmStore, AQuietExchangeIsReportedOncePerSpellAcrossARestart) {
  corvane::testing::TempDir dir("alarm-store");
  RecordStore rs;
  ASSERT_TRUE(rs.openMainDatabase(dir.path()));
  Rule quiet;
  quiet.name = "quiet";
  quiet.kind = RuleKind::Silence;
  quiet.minutes = 30;
  SetClock clock;
  clock.t = {2024, 5, 6, 10, 0, 0};
  store::Database db(rs.mainDatabase()->connectionString());
  std::string error;
  {
    AlarmEvaluator first(db, {quiet}, clock);
    ASSERT_TRUE(first.prepare(error)) << error;
    storeCalls(rs, 0, 1);  // 10:00:00
    EXPECT_TRUE(first.evaluate().alarms.empty());
    clock.t = {2024, 5, 6, 10, 29, 59};
    EXPECT_TRUE(first.evaluate().alarms.empty());
    clock.t = {2024, 5, 6, 10, 30, 0};
    Evaluation e = first.evaluate();
    ASSERT_EQ(e.alarms.size(), 1u) << e.error;
    EXPECT_EQ(e.alarms[0].text,
              "no call record from exchange 127.0.0.1 since 2024-05-06 10:00:00 (30 minutes or more)");
    clock.t = {2024, 5, 6, 11, 0, 0};
    EXPECT_TRUE(first.evaluate().alarms.empty());
  }
  // A restart 30 minutes later finds the exchange still quiet: the same
  // spell, already reported.
  clock.t = {2024, 5, 6, 11, 30, 0};
  AlarmEvaluator next(db, {quiet}, clock);
  ASSERT_TRUE(next.prepare(error)) << error;
  EXPECT_TRUE(next.evaluate().alarms.empty());
  clock.t = {2024, 5, 6, 12, 1, 0};
  EXPECT_TRUE(next.evaluate().alarms.empty());
  odbc::Statement s(db.connection());
  s.executeDirect("SELECT COUNT(*) FROM Alarm WHERE rkey = 0");
  int64_t n = 0;
  ASSERT_TRUE(s.fetch());
  s.getInt64(1, n);
  EXPECT_EQ(n, 1);
}

TEST(AlarmStore, TwoEvaluatorsOnOneServerRaiseEachAlarmOnce) {
  const std::string pg = storetest::pgServer();
  if (pg.empty()) GTEST_SKIP() << "LUMARC_TEST_PG is not set";
  storetest::PgSchema schema(pg, "alarm_two_evaluators");
  RecordStore rs;
  ASSERT_TRUE(rs.openMainDatabase("", schema.connection()));
  FixedClock clock;
  store::Database db1(schema.connection()), db2(schema.connection());
  AlarmEvaluator a(db1, premiumRule(), clock), b(db2, premiumRule(), clock);
  std::string error;
  ASSERT_TRUE(a.prepare(error)) << error;
  ASSERT_TRUE(b.prepare(error)) << error;
  std::atomic<bool> storing{true};
  std::atomic<size_t> raisedA{0}, raisedB{0};
  auto loop = [&](AlarmEvaluator& ev, std::atomic<size_t>& raised) {
    for (;;) {
      const bool last = !storing.load();
      Evaluation e = ev.evaluate();
      EXPECT_TRUE(e.ok) << e.error;
      raised += e.alarms.size();
      if (last && !e.more) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  std::thread ta(loop, std::ref(a), std::ref(raisedA)), tb(loop, std::ref(b), std::ref(raisedB));
  for (int pass = 0; pass < 20; ++pass) storeCalls(rs, pass * 5, 5);
  storing = false;
  ta.join();
  tb.join();
  EXPECT_EQ(raisedA + raisedB, 100u);
  EXPECT_EQ(alarmKeys(db1), range(1, 100));
}

}  // namespace
}  // namespace lumarc::alarms
