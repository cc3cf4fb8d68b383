#include "lumarc/alarms/alarm_store.h"

#include "common/format.h"
#include "lumarc/store/odbc.h"

#include <ctime>

namespace lumarc::alarms {

using store::Condition;
using store::Expr;
using store::SqlValue;

bool readNewestAlarms(store::Database& db, size_t limit, std::vector<AlarmRow>& out, std::string& error) {
  out.clear();
  store::Recordset<AlarmRow> rows(db, store::alarmTable());
  if (!rows.open({}, store::sortBy("sqno", true))) {
    error = rows.error();
    return false;
  }
  AlarmRow r;
  while (out.size() < limit && rows.next(r)) out.push_back(r);
  error = rows.error();
  rows.close();
  return error.empty();
}

DateTime SystemClock::now() const {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

AlarmEvaluator::AlarmEvaluator(store::Database& db, std::vector<Rule> rules, const AlarmClock& clock,
                               EvaluatorOptions options)
    : db_(db), clock_(clock), options_(options), engine_(std::move(rules), *this, clock, *this) {}

bool AlarmEvaluator::prepare(std::string& error) {
  try {
    db_.ensureTables(store::alarmTables());
    db_.begin();
    // One statement makes the row, so two programs starting together on
    // one file make one; on a server the table is locked meanwhile.
    if (db_.engine() == store::Engine::Postgres) db_.connection().execute("LOCK TABLE AlarmMark IN EXCLUSIVE MODE");
    db_.connection().execute(
        "INSERT INTO AlarmMark (lastsq) SELECT COALESCE(MAX(sqno), 0) FROM Cdata "
        "WHERE NOT EXISTS (SELECT 1 FROM AlarmMark)");
    db_.commit();
    return true;
  } catch (const std::exception& e) {
    error = store::failureText(e);
    if (db_.inTransaction()) {
      try {
        db_.rollback();
      } catch (...) {
      }
    }
    return false;
  }
}

int64_t AlarmEvaluator::readMark() {
  odbc::Statement s(db_.connection());
  s.executeDirect("SELECT lastsq FROM AlarmMark ORDER BY sqno LIMIT 1");
  int64_t v = -1;
  if (s.fetch()) s.getInt64(1, v);
  s.closeCursor();
  if (v < 0) throw std::runtime_error("table AlarmMark has no row");
  return v;
}

std::vector<CmdrRecord> AlarmEvaluator::readAbove(int64_t mark) {
  std::vector<CmdrRecord> rows;
  store::DrptCset cset(db_);
  if (!cset.open(Condition::compare(Expr::column("sqno"), Condition::Op::Gt, SqlValue{mark}), store::sortBy("sqno")))
    throw std::runtime_error(cset.error());
  CmdrRecord r;
  while (rows.size() < options_.batch + 1 && cset.next(r)) rows.push_back(r);
  if (!cset.error().empty()) throw std::runtime_error(cset.error());
  cset.close();
  return rows;
}

bool AlarmEvaluator::known(const std::string& port) {
  // A row the store made by itself for a call carries counters only: a
  // user is known once the row names someone (name, surname, department
  // or comment).
  odbc::Statement s(db_.connection());
  s.prepare("SELECT name, surn, dept, cmnt FROM Pdata WHERE cport = ?");
  store::ValueBinder b(db_);
  b.bind(s, {SqlValue{corvane::portText8(port)}});
  s.execute();
  bool named = false;
  while (!named && s.fetch()) {
    for (SQLUSMALLINT c = 1; c <= 4 && !named; ++c) {
      std::string v;
      if (s.getText(c, v) && !corvane::trimBlanks(v).empty()) named = true;
    }
  }
  s.closeCursor();
  return named;
}

void AlarmEvaluator::rebuild(int64_t mark, const std::vector<CmdrRecord>& fresh) {
  engine_.reset();
  bool silence = false;
  for (const Rule& r : engine_.rules()) silence = silence || r.kind == RuleKind::Silence;
  if (silence) {
    // Each exchange's last record (of those heard from lately).
    odbc::Statement s(db_.connection());
    s.prepare("SELECT ipadr, MAX(tdate) FROM Cdata WHERE sqno <= ? AND tdate >= ? GROUP BY ipadr");
    store::ValueBinder b(db_);
    b.bind(s, {SqlValue{mark}, SqlValue{addSeconds(clock_.now(), -int64_t{options_.silenceLookBackDays} * 86400)}});
    s.execute();
    while (s.fetch()) {
      int64_t ip = 0;
      std::string last;
      DateTime t;
      s.getInt64(1, ip);
      if (s.getText(2, last) && parseDateTime(last, t)) engine_.exchangeSeen(static_cast<uint32_t>(ip), t);
    }
    s.closeCursor();
  }
  const int64_t back = engine_.lookBackSeconds();
  if (back > 0 && !fresh.empty()) {
    // The calls inside the burst windows before the first new record.
    DateTime from = fresh.front().tdate;
    for (const CmdrRecord& r : fresh)
      if (r.tdate < from) from = r.tdate;
    store::DrptCset cset(db_);
    const Condition c = Condition::all(
        {Condition::compare(Expr::column("sqno"), Condition::Op::Le, SqlValue{mark}),
         Condition::compare(Expr::column("tdate"), Condition::Op::Ge, SqlValue{addSeconds(from, -back)})});
    if (!cset.open(c, store::sortBy("sqno"))) throw std::runtime_error(cset.error());
    CmdrRecord r;
    while (cset.next(r)) engine_.record(r, true);
    if (!cset.error().empty()) throw std::runtime_error(cset.error());
    cset.close();
  }
}

bool AlarmEvaluator::alreadyRaised(const Alarm& a) {
  odbc::Statement s(db_.connection());
  s.prepare("SELECT sqno FROM Alarm WHERE rule = ? AND atext = ? LIMIT 1");
  store::ValueBinder b(db_);
  b.bind(s, {SqlValue{a.rule}, SqlValue{a.text.substr(0, 255)}});
  s.execute();
  const bool found = s.fetch();
  s.closeCursor();
  return found;
}

void AlarmEvaluator::insert(const Alarm& a) {
  odbc::Statement s(db_.connection());
  s.prepare("INSERT INTO Alarm (adate, rule, sever, cport, rkey, atext) VALUES (?, ?, ?, ?, ?, ?)");
  store::ValueBinder b(db_);
  b.bind(s, {SqlValue{a.raised}, SqlValue{a.rule.substr(0, 64)}, SqlValue{std::string(severityName(a.severity))},
             SqlValue{a.port.substr(0, 8)}, SqlValue{int64_t{a.record}}, SqlValue{a.text.substr(0, 255)}});
  s.execute();
}

Evaluation AlarmEvaluator::evaluate() {
  Evaluation out;
  pending_.clear();
  try {
    db_.begin();
    // The mark's row is locked first, to the end of the transaction: the
    // evaluators of a shared server take turns, and on a file the write
    // lock is taken before anything is read.
    db_.connection().execute("UPDATE AlarmMark SET lastsq = lastsq");
    const int64_t mark = readMark();
    std::vector<CmdrRecord> rows = readAbove(mark);
    out.more = rows.size() > options_.batch;
    if (out.more) rows.resize(options_.batch);
    // Records after a gap in the counter wait for it (a server only).
    if (db_.engine() == store::Engine::Postgres) {
      const int64_t now = secondsOf(clock_.now());
      int64_t expect = mark + 1;
      size_t keep = rows.size();
      for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].sqno != expect) {
          auto [it, fresh] = gapSeen_.emplace(expect, now);
          if (keep == rows.size() && (fresh || now - it->second < options_.gapWaitSeconds)) keep = i;
        }
        expect = int64_t{rows[i].sqno} + 1;
      }
      if (keep < rows.size()) {
        rows.resize(keep);
        out.more = false;
      }
      // Gaps below what is evaluated now are passed for good.
      const int64_t passed = rows.empty() ? mark : rows.back().sqno;
      gapSeen_.erase(gapSeen_.begin(), gapSeen_.upper_bound(passed));
    }
    if (!synced_ || mark != mark_) rebuild(mark, rows);
    for (const CmdrRecord& r : rows) engine_.record(r);
    engine_.tick();
    std::vector<Alarm> written;
    for (const Alarm& a : pending_) {
      // A quiet exchange's alarm may have been raised by another
      // collector, or before a restart, for the same quiet spell.
      if (a.record == 0 && alreadyRaised(a)) continue;
      insert(a);
      written.push_back(a);
    }
    const int64_t newMark = rows.empty() ? mark : rows.back().sqno;
    if (newMark != mark) {
      odbc::Statement s(db_.connection());
      s.prepare("UPDATE AlarmMark SET lastsq = ?");
      store::ValueBinder b(db_);
      b.bind(s, {SqlValue{newMark}});
      s.execute();
    }
    db_.commit();
    mark_ = newMark;
    synced_ = true;
    out.records = rows.size();
    out.alarms = std::move(written);
  } catch (const std::exception& e) {
    out.ok = false;
    out.error = store::failureText(e);
    out.more = false;
    if (db_.inTransaction()) {
      try {
        db_.rollback();
      } catch (...) {
      }
    }
    synced_ = false;  // the engine saw records that were not marked: rebuild
  }
  pending_.clear();
  return out;
}

}  // namespace lumarc::alarms
