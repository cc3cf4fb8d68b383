// The alarm engine over the record database: stored call records are
// evaluated after their commit, in Cdata counter order, and the alarms they
// raise are written to table Alarm together with the new high-water mark
// (table AlarmMark, one row: the last Cdata sqno evaluated), in one
// transaction. So every record is evaluated exactly once: a collector
// stopped between a record's commit and its evaluation evaluates it at its
// next start, and collectors sharing a server take turns on the mark (it is
// locked for the evaluation), never raising an alarm twice.
//
// When the mark moved under another evaluator (or at start) the engine's
// state is rebuilt from the database: each exchange's last record for the
// silence rules, and the records inside the burst windows, replayed
// without raising.
//
// On PostgreSQL a counter value can become visible after a higher one (two
// programs storing at once): records after a gap wait until the gap is
// filled or old enough (gapWaitSeconds) to be a pass rolled back or a
// deleted record.
#pragma once

#include "lumarc/alarms/alarm_engine.h"
#include "lumarc/store/database.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lumarc::alarms {

struct EvaluatorOptions {
  size_t batch = 500;           // records per evaluation at most
  int gapWaitSeconds = 30;      // PostgreSQL: how long a gap in the counter holds back later records
  int silenceLookBackDays = 7;  // exchanges whose last record is older are not watched
};

struct Evaluation {
  bool ok = true;
  std::string error;
  size_t records = 0;         // records evaluated
  std::vector<Alarm> alarms;  // alarms written (and committed)
  bool more = false;          // more records are waiting
};

class AlarmEvaluator : private AlarmSink, private PortDirectory {
 public:
  AlarmEvaluator(store::Database& db, std::vector<Rule> rules, const AlarmClock& clock, EvaluatorOptions options = {});

  // Makes the alarm tables when missing and the mark row when there is
  // none; a new mark starts at the newest stored record (records stored
  // before alarms were set up are not evaluated). False with the text.
  bool prepare(std::string& error);
  // One evaluation in one transaction. Never throws.
  Evaluation evaluate();
  // The mark this evaluator last wrote or read; -1 before the first.
  int64_t mark() const { return mark_; }

 private:
  void raise(const Alarm& alarm) override { pending_.push_back(alarm); }
  bool known(const std::string& port) override;
  int64_t readMark();
  std::vector<CmdrRecord> readAbove(int64_t mark);
  void rebuild(int64_t mark, const std::vector<CmdrRecord>& fresh);
  bool alreadyRaised(const Alarm& a);
  void insert(const Alarm& a);

  store::Database& db_;
  const AlarmClock& clock_;
  EvaluatorOptions options_;
  AlarmEngine engine_;
  std::vector<Alarm> pending_;
  int64_t mark_ = -1;
  bool synced_ = false;                 // the engine's state follows the mark
  std::map<int64_t, int64_t> gapSeen_;  // missing counter value -> when first seen (seconds)
};

// A row of table Alarm as a reader sees it (the window's alarm list).
struct AlarmRow {
  int32_t sqno = 0;  // counter: a later alarm has a higher one
  DateTime adate;    // when it was raised
  std::string rule;
  std::string sever;  // "critical", "warning", "info"
  std::string cport;  // empty for a quiet exchange
  int32_t rkey = 0;   // the record's Cdata sqno; 0 when none
  std::string atext;
};
template <class F>
void forEachField(AlarmRow& r, F&& f) {
  f(r.sqno), f(r.adate), f(r.rule), f(r.sever), f(r.cport), f(r.rkey), f(r.atext);
}

// The newest rows of table Alarm, newest first, at most `limit`. False
// with the text in `error` (then `out` holds what was read before).
bool readNewestAlarms(store::Database& db, size_t limit, std::vector<AlarmRow>& out, std::string& error);

// The system clock as local time.
class SystemClock : public AlarmClock {
 public:
  DateTime now() const override;
};

}  // namespace lumarc::alarms
