// The CMDR store operation and the receive pass: the duplicate test, the
// Cdata insert and the user's charge counters, one pass per transaction
// under the charged ports' locks, and the redo rule for a pass the
// database dropped.
//
// A pass costs a few statements whatever its length: one look-up of the
// Cdata rows in the pass's seconds for the duplicate test, the rows in
// batches, and one counter update per charged port with the pass's sums
// (plus its lock on a shared server).
#include "lumarc/store/cmdr_statements.h"

#include "common/format.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

namespace lumarc {

using store::Database;
using store::SqlValue;

namespace {

// The user lock's key for a port: FNV-1a of its text, so every program on a
// shared server takes the same lock for the same port.
int32_t portLockKey(const std::string& port) {
  uint32_t h = 2166136261u;
  for (unsigned char c : port) {
    h ^= c;
    h *= 16777619u;
  }
  return static_cast<int32_t>(h);
}

bool chargesUser(const CmdrRecord& r) { return r.type == "A" && !corvane::trimBlanks(r.cport).empty(); }

// How often a pass is tried when its transaction is lost or must be redone.
constexpr int kPassAttempts = 4;

// The charge counters, in the order their sums are bound.
constexpr const char* kCounters[] = {"pra0", "ppa0", "pra1", "ppa1", "pra2", "ppa2", "pra3", "ppa3", "prc", "ppc"};

// The statements for a number of ports are made for 1, 2, 4, ... ports and
// filled up, so that a connection keeps a few of them.
size_t sizeClass(size_t n) {
  size_t size = 1;
  while (size < n) size *= 2;
  return size;
}

// "?, ?, ..." n times `one`.
std::string repeated(const std::string& one, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += (i ? ", " : "") + one;
  return s;
}

// The first user row of each port of a list that has one.
std::string usersOfSql(const store::Dialect&, size_t ports) {
  return "SELECT cport, MIN(sqno) FROM Pdata WHERE cport IN (" + repeated("?", ports) + ") GROUP BY cport";
}

// Adds sums to user rows by their key, the counters growing in the
// database itself (see the store operation's update).
std::string addSumsSql(const store::Dialect&, size_t rows) {
  std::string row = "(CAST(? AS INTEGER)";
  for (size_t i = 0; i < std::size(kCounters); ++i) row += ", CAST(? AS BIGINT)";
  row += ")";
  std::string names = "user_key";
  std::string set;
  for (const char* c : kCounters) {
    names += std::string(", a_") + c;
    if (!set.empty()) set += ", ";
    set += std::string(c) + " = (" + c + " + a_" + c + " + 2147483648) % 4294967296 - 2147483648";
  }
  return "WITH sums(" + names + ") AS (VALUES " + repeated(row, rows) + ") UPDATE Pdata SET " + set +
         " FROM sums WHERE Pdata.sqno = sums.user_key";
}

// The ports' locks (PostgreSQL), taken in key order.
std::string lockPortsSql(const store::Dialect&, size_t ports) {
  return "SELECT pg_advisory_xact_lock(" + std::to_string(store::kUserLockClass) + ", k) FROM (SELECT k FROM (VALUES " +
         repeated("(CAST(? AS INTEGER))", ports) + ") AS keys(k) ORDER BY k) AS sorted";
}

// Rows per insert statement of a pass (fewer on PostgreSQL, whose driver
// takes a limited number of parameters per statement).
constexpr size_t kPassBatch = 256;

}  // namespace

RecordStore::CmdrStatements::CmdrStatements(Database& db)
    : db(db), generation(db.generation()), insert(db, kPassBatch), userInsert(db, 1), duplicate(db.connection()),
      user(db.connection()), addCounters(db.connection()), portLock(db.connection()),
      userRow(db, store::pdataTable(), 0, store::pdataTable().columns.size(), 1),
      passUsers(db, CmdrStatements::kMaxPorts), highestKey(db.connection()), dropAfter(db.connection()) {
  // Without statistics both engines would use the cport index, whose
  // values repeat for every call of a user; the one-second tdate range is
  // the narrow one.
  duplicate.prepare(std::string("SELECT sqno FROM Cdata") + db.dialect().indexHint("Cdata_tdate") + " WHERE " +
                    db.dialect().withoutIndex("cport") +
                    " = ? AND pport = ? AND uport = ? AND tdate >= ? AND tdate < ? AND rpuls = ? AND "
                    "ppuls = ? AND crefa = ? AND flags = ? AND duration = ? LIMIT 1");
  user.prepare("SELECT " + store::columnList(store::pdataTable()) +
               " FROM Pdata WHERE cport = ? ORDER BY sqno LIMIT 1");
  userRow.bindColumns(user);
  // The counters grow in the database itself, so that several programs
  // charging the same user on a shared server never lose an increment.
  // They wrap at 32 bits and are kept as their signed reinterpretation.
  std::string set;
  for (const char* c : kCounters) {
    if (!set.empty()) set += ", ";
    set += std::string(c) + " = (" + c + " + ? + 2147483648) % 4294967296 - 2147483648";
  }
  addCounters.prepare("UPDATE Pdata SET " + set + " WHERE sqno = ?");
  highestKey.prepare("SELECT MAX(sqno) FROM Cdata");
  dropAfter.prepare(db.dialect().statementPrefix() + "DELETE FROM Cdata WHERE sqno > ?");

  if (db.engine() == store::Engine::Postgres) {
    portLock.prepare("SELECT pg_advisory_xact_lock(?, ?)");
    portLock.bindParameter(1, SQL_C_SLONG, SQL_INTEGER, 0, 0, &lockClass, 0, nullptr);
    portLock.bindParameter(2, SQL_C_SLONG, SQL_INTEGER, 0, 0, &lockKey, 0, nullptr);
  }
}

namespace {

// Takes a port's lock on a shared server; it is held to the end of the
// transaction. Throws on failure.
void lockPort(RecordStore::CmdrStatements& st, int32_t key) {
  st.lockKey = key;
  st.portLock.execute();
  while (st.portLock.fetch()) {
  }
  st.portLock.closeCursor();
}

// Whether Cdata holds the type A record already: same ports, tdate within
// the same second, equal pulses, call reference, flags and duration.
// Throws on failure.
bool isDuplicate(Database& db, RecordStore::CmdrStatements& st, const CmdrRecord& rec) {
  std::vector<SqlValue> v{rec.cport,
                          rec.pport,
                          rec.uport,
                          rec.tdate,
                          addSeconds(rec.tdate, 1),
                          int64_t{static_cast<int32_t>(rec.rpuls)},
                          int64_t{static_cast<int32_t>(rec.ppuls)},
                          int64_t{static_cast<int32_t>(rec.crefa)},
                          int64_t{static_cast<int32_t>(rec.flags)},
                          int64_t{static_cast<int32_t>(rec.duration)}};
  store::ValueBinder b(db);
  b.bind(st.duplicate, v);
  st.duplicate.execute();
  bool found = st.duplicate.fetch();
  st.duplicate.closeCursor();
  return found;
}

// Adds `adds` (the record's pulses in its star class) to the user row of
// the record's first port, making the row when there is none. Throws on
// failure.
void chargeUser(Database& db, RecordStore::CmdrStatements& st, const CmdrRecord& rec, UserRecord& adds) {
  store::ValueBinder b(db);
  b.bind(st.user, {SqlValue{rec.cport}});
  st.user.execute();
  UserRecord u;
  bool found = st.user.fetch();
  if (found) st.userRow.get(0, u);
  st.user.closeCursor();
  if (!found) {
    adds.cport = rec.cport;
    st.userInsert.add(adds);
    return;
  }
  std::vector<SqlValue> values;
  for (uint32_t v :
       {adds.pra0, adds.ppa0, adds.pra1, adds.ppa1, adds.pra2, adds.ppa2, adds.pra3, adds.ppa3, adds.prc, adds.ppc})
    values.push_back(SqlValue{int64_t{v}});
  values.push_back(SqlValue{int64_t{u.sqno}});
  b.bind(st.addCounters, values);
  st.addCounters.execute();
}

// One record inside the caller's transaction (or autocommit). A failure
// that leaves more than its own statement undone (the transaction or the
// connection lost, a deadlock) is put in `failure` for the caller.
StoreOutcome storeOne(Database& db, RecordStore::CmdrStatements& st, const CmdrRecord& rec,
                      Database::Failure& failure) {
  StoreOutcome out;
  failure = Database::Failure::Row;
  auto fail = [&](const std::exception& e) {
    failure = db.failed(e);
    return store::failureText(e);
  };
  UserRecord scratch;  // cleared counters
  // The duplicate test, for type A only.
  if (rec.type == "A") {
    try {
      if (isDuplicate(db, st, rec)) {
        out.status = StoreOutcome::Status::Duplicate;
        return out;
      }
    } catch (const std::exception& e) {
      st.duplicate.closeCursor();
      out.error = fail(e);  // handled like an insert failure
      return out;
    }
    const int star = starClass(rec.flags);
    uint32_t* pr[] = {&scratch.pra0, &scratch.pra1, &scratch.pra2, &scratch.pra3};
    uint32_t* pp[] = {&scratch.ppa0, &scratch.ppa1, &scratch.ppa2, &scratch.ppa3};
    *pr[star] = rec.rpuls;
    *pp[star] = rec.ppuls;
  }
  // The Cdata row.
  try {
    st.insert.add(rec);
    st.insert.flush();
  } catch (const std::exception& e) {
    out.error = fail(e);
    return out;
  }
  out.status = StoreOutcome::Status::Stored;
  // The user's counters.
  if (!chargesUser(rec)) return out;
  try {
    chargeUser(db, st, rec, scratch);
  } catch (const std::exception& e) {
    st.user.closeCursor();
    out.error = fail(e);  // the Cdata row stays; the caller shows the text
  }
  return out;
}

}  // namespace

RecordStore::CmdrStatements* RecordStore::cmdrStatements(std::string& error) {
  if (cmdr_ && cmdr_->generation != main_->generation()) cmdr_.reset();  // the connection was reopened
  if (!cmdr_) {
    try {
      cmdr_ = std::make_unique<CmdrStatements>(*main_);
    } catch (const std::exception& e) {
      error = store::failureText(e);
      return nullptr;
    }
  }
  return cmdr_.get();
}

StoreOutcome storeCmdrRecord(RecordStore& rs, const CmdrRecord& rec) {
  StoreOutcome out;
  Database* db = rs.main_.get();
  if (!db) {
    out.error = "the main database is not open";
    return out;
  }
  RecordStore::CmdrStatements* st = rs.cmdrStatements(out.error);
  if (!st) return out;
  Database::Failure failure;
  out = storeOne(*db, *st, rec, failure);
  if (out.countersFailed()) rs.report(StoreMessage::DatabaseError, {}, out.error);
  return out;
}

RecordStore::CmdrStatements::PassLookup::PassLookup(Database& db, size_t ranges)
    : statement(db.connection()), row(db, store::cdataTable(), 0, store::cdataTable().columns.size(), 1) {
  std::string sql = "SELECT " + store::columnList(store::cdataTable()) + " FROM Cdata WHERE ";
  for (size_t i = 0; i < ranges; ++i) sql += std::string(i ? " OR " : "") + "(tdate >= ? AND tdate < ?)";
  statement.prepare(sql);
  row.bindColumns(statement);
}

RecordStore::CmdrStatements::PassLookup& RecordStore::CmdrStatements::lookup(size_t ranges) {
  assert(ranges >= 1 && ranges <= kMaxLookupRanges);
  std::unique_ptr<PassLookup>& l = lookups[ranges];
  if (!l) l = std::make_unique<PassLookup>(db, ranges);
  return *l;
}

odbc::Statement& RecordStore::CmdrStatements::sized(std::map<size_t, std::unique_ptr<odbc::Statement>>& made, size_t n,
                                                    std::string (*sql)(const store::Dialect&, size_t)) {
  assert(n >= 1 && n <= kMaxPorts);
  std::unique_ptr<odbc::Statement>& s = made[n];
  if (!s) {
    auto fresh = std::make_unique<odbc::Statement>(db.connection());
    fresh->prepare(sql(db.dialect(), n));
    s = std::move(fresh);
  }
  return *s;
}

namespace {

// What the duplicate test compares: the ports, the second, the pulses, the
// call reference, the flags and the duration.
struct DuplicateKey {
  std::string cport, pport, uport;
  DateTime second;
  uint32_t rpuls, ppuls, crefa, flags, duration;
  friend auto operator<=>(const DuplicateKey&, const DuplicateKey&) = default;
};

DuplicateKey duplicateKey(const CmdrRecord& r) {
  return {r.cport, r.pport, r.uport, r.tdate, r.rpuls, r.ppuls, r.crefa, r.flags, r.duration};
}

// Type A records take the duplicate test; one without a date never matches
// (the comparison with a NULL is never true).
bool takesDuplicateTest(const CmdrRecord& r) { return r.type == "A" && !r.tdate.isNull(); }

// A time range [from, to) in seconds since the epoch.
struct SecondRange {
  int64_t from, to;
};

// The ranges that hold every one of `seconds` (sorted, distinct): seconds
// close together share a range, and never more than `most` ranges, the
// widest gaps kept apart. A range may hold other seconds too; the look-up
// compares whole keys.
std::vector<SecondRange> lookupRanges(const std::vector<int64_t>& seconds, size_t most) {
  constexpr int64_t kCloseGap = 60;
  std::vector<SecondRange> r;
  for (int64_t s : seconds) {
    if (!r.empty() && s - r.back().to <= kCloseGap)
      r.back().to = s + 1;
    else
      r.push_back({s, s + 1});
  }
  if (r.size() <= most) return r;
  // Keep the most - 1 widest gaps.
  std::vector<std::pair<int64_t, size_t>> gaps;  // (gap, index of the range after it)
  for (size_t i = 1; i < r.size(); ++i) gaps.push_back({r[i].from - r[i - 1].to, i});
  std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(most - 1), gaps.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<size_t> cuts;
  for (size_t i = 0; i + 1 < most; ++i) cuts.push_back(gaps[i].second);
  std::sort(cuts.begin(), cuts.end());
  std::vector<SecondRange> merged;
  size_t from = 0;
  cuts.push_back(r.size());
  for (size_t cut : cuts) {
    merged.push_back({r[from].from, r[cut - 1].to});
    from = cut;
  }
  return merged;
}

// The date of a second since the epoch.
DateTime dateOfSecond(int64_t s) { return addSeconds(DateTime{1970, 1, 1, 0, 0, 0}, s); }

// A failure that ends the pass's attempt (the transaction or the
// connection is lost, or the pass must be redone).
struct PassAbandoned {
  Database::Failure failure;
  std::string text;
};

// One attempt of a receive pass, inside the open transaction.
class PassWriter {
 public:
  PassWriter(Database& db, RecordStore::CmdrStatements& st, const std::vector<CmdrRecord>& records,
             std::vector<StoreOutcome>& out)
      : db_(db), st_(st), records_(records), out_(out) {}

  // Throws PassAbandoned.
  void run() {
    for (StoreOutcome& o : out_) o = StoreOutcome{};
    std::set<DuplicateKey> known;
    if (!findStored(known)) {
      // The look-up failed on its own: the records take the test one by one.
      recordByRecord();
      return;
    }
    // The records to insert, in pass order. A record equal to one before
    // it in the pass is a duplicate of that one, once that one is stored.
    std::vector<size_t> pending;
    for (size_t i = 0; i < records_.size(); ++i) pending.push_back(i);
    while (!pending.empty()) {
      std::vector<size_t> rows, later;
      std::set<DuplicateKey> inPass;
      for (size_t i : pending) {
        const CmdrRecord& r = records_[i];
        if (takesDuplicateTest(r)) {
          DuplicateKey k = duplicateKey(r);
          if (known.count(k)) {
            out_[i].status = StoreOutcome::Status::Duplicate;
            continue;
          }
          if (!inPass.insert(std::move(k)).second) {
            later.push_back(i);  // decided once the first of them is
            continue;
          }
        }
        rows.push_back(i);
      }
      insert(rows, 0, rows.size());
      for (size_t i : rows)
        if (out_[i].stored() && takesDuplicateTest(records_[i])) known.insert(duplicateKey(records_[i]));
      pending = std::move(later);
    }
    chargeUsers();
  }

 private:
  // Reads the Cdata rows of the pass's seconds into `known`. False when the
  // look-up alone failed.
  bool findStored(std::set<DuplicateKey>& known) {
    std::vector<int64_t> seconds;
    for (const CmdrRecord& r : records_)
      if (takesDuplicateTest(r)) seconds.push_back(secondsSinceEpoch(r.tdate));
    if (seconds.empty()) return true;
    std::sort(seconds.begin(), seconds.end());
    seconds.erase(std::unique(seconds.begin(), seconds.end()), seconds.end());
    const std::vector<SecondRange> ranges = lookupRanges(seconds, RecordStore::CmdrStatements::kMaxLookupRanges);
    const size_t size = sizeClass(ranges.size());
    RecordStore::CmdrStatements::PassLookup* l = nullptr;
    try {
      l = &st_.lookup(size);
      std::vector<SqlValue> v;
      for (size_t i = 0; i < size; ++i) {
        const SecondRange& range = ranges[std::min(i, ranges.size() - 1)];  // the last one repeated
        v.push_back(dateOfSecond(range.from));
        v.push_back(dateOfSecond(range.to));
      }
      store::ValueBinder b(db_);
      b.bind(l->statement, v);
      l->statement.execute();
      CmdrRecord row;
      while (l->statement.fetch()) {
        l->row.get(0, row);
        if (row.type == "A") known.insert(duplicateKey(row));
      }
      l->statement.closeCursor();
      return true;
    } catch (const std::exception& e) {
      if (l) l->statement.closeCursor();
      Database::Failure f = db_.failed(e);
      if (f != Database::Failure::Row) throw PassAbandoned{f, store::failureText(e)};
      return false;
    }
  }

  // Inserts rows[from, to) (indexes into the pass), in batches. A batch the
  // database refuses is halved until the refused record is alone: it alone
  // is refused, its neighbours are stored.
  void insert(const std::vector<size_t>& rows, size_t from, size_t to) {
    const size_t batch = st_.insert.capacity();
    if (to - from > batch) {
      for (size_t at = from; at < to; at += batch) insert(rows, at, std::min(to, at + batch));
      return;
    }
    if (from == to) return;
    try {
      insertAtomically(rows, from, to);
      for (size_t i = from; i < to; ++i) out_[rows[i]].status = StoreOutcome::Status::Stored;
    } catch (const std::exception& e) {
      Database::Failure f = db_.failed(e);
      if (f != Database::Failure::Row) throw PassAbandoned{f, store::failureText(e)};
      if (to - from == 1) {
        out_[rows[from]].status = StoreOutcome::Status::Failed;
        out_[rows[from]].error = store::failureText(e);
        return;
      }
      const size_t half = from + (to - from) / 2;
      insert(rows, from, half);
      insert(rows, half, to);
    }
  }

  // One insert statement of at most a batch of rows, all of them or none.
  // A PostgreSQL statement is that already (the driver rolls a failed one
  // back alone). SQLite runs a batch row after row and keeps the rows
  // before a refused one: they are taken out again by their keys, which
  // follow the highest key before the batch (the transaction holds the
  // file's write lock, so no other program adds rows meanwhile). A
  // savepoint would do the same at a third of the batch's speed.
  void insertAtomically(const std::vector<size_t>& rows, size_t from, size_t to) {
    const bool sqlite = db_.engine() == store::Engine::Sqlite;
    int64_t lastKey = 0;
    if (sqlite) lastKey = highestKey();
    try {
      for (size_t i = from; i < to; ++i) st_.insert.add(records_[rows[i]]);
      st_.insert.flush();
    } catch (const std::exception& e) {
      if (sqlite) {
        try {
          store::ValueBinder b(db_);
          b.bind(st_.dropAfter, {SqlValue{lastKey}});
          st_.dropAfter.execute();
        } catch (const std::exception& d) {
          // Rows of the batch may be left: the pass cannot go on.
          const Database::Failure f = db_.failed(d);
          throw PassAbandoned{f == Database::Failure::Row ? Database::Failure::TransactionLost : f,
                              store::failureText(e)};
        }
      }
      throw;
    }
  }

  int64_t highestKey() {
    st_.highestKey.execute();
    int64_t key = 0;
    std::string v;
    if (st_.highestKey.fetch() && st_.highestKey.getText(1, v)) key = std::atoll(v.c_str());
    st_.highestKey.closeCursor();
    return key;
  }

  // The charged ports' counters: the pass's sums of each port added to its
  // first user row, or a new row holding them; a few statements for up to
  // kMaxPorts ports.
  void chargeUsers() {
    std::map<std::string, UserRecord> sums;
    for (size_t i = 0; i < records_.size(); ++i) {
      const CmdrRecord& r = records_[i];
      if (!out_[i].stored() || !chargesUser(r)) continue;
      UserRecord& u = sums[r.cport];
      const int star = starClass(r.flags);
      uint32_t* pr[] = {&u.pra0, &u.pra1, &u.pra2, &u.pra3};
      uint32_t* pp[] = {&u.ppa0, &u.ppa1, &u.ppa2, &u.ppa3};
      *pr[star] += r.rpuls;  // wraps at 32 bits, as the counters do
      *pp[star] += r.ppuls;
    }
    std::vector<std::pair<const std::string, UserRecord>*> ports;
    for (auto& p : sums) ports.push_back(&p);
    const size_t most = RecordStore::CmdrStatements::kMaxPorts;
    for (size_t from = 0; from < ports.size(); from += most) {
      const size_t to = std::min(ports.size(), from + most);
      try {
        chargePorts(ports, from, to);
      } catch (const std::exception& e) {
        Database::Failure f = db_.failed(e);
        if (f != Database::Failure::Row) throw PassAbandoned{f, store::failureText(e)};
        // The Cdata rows stay; the caller shows the text.
        std::set<std::string> failed;
        for (size_t k = from; k < to; ++k) failed.insert(ports[k]->first);
        for (size_t i = 0; i < records_.size(); ++i)
          if (out_[i].stored() && chargesUser(records_[i]) && failed.count(records_[i].cport))
            out_[i].error = store::failureText(e);
      }
    }
  }

  // Throws on failure.
  void chargePorts(std::vector<std::pair<const std::string, UserRecord>*>& ports, size_t from, size_t to) {
    const size_t n = to - from;
    // The first user row of each port that has one.
    std::map<std::string, int64_t> known;
    {
      const size_t size = sizeClass(n);
      odbc::Statement& q = st_.sized(st_.usersOf, size, usersOfSql);
      std::vector<SqlValue> v;
      for (size_t k = 0; k < size; ++k) v.push_back(ports[from + std::min(k, n - 1)]->first);  // the last repeated
      store::ValueBinder b(db_);
      b.bind(q, v);
      q.execute();
      std::string port, key;
      try {
        while (q.fetch())
          if (q.getText(1, port) && q.getText(2, key)) known[db_.codec().fromUtf8(port)] = std::atoll(key.c_str());
      } catch (...) {
        q.closeCursor();
        throw;
      }
      q.closeCursor();
    }
    std::vector<SqlValue> add;
    size_t adding = 0;
    for (size_t k = from; k < to; ++k) {
      auto& [port, u] = *ports[k];
      auto found = known.find(port);
      if (found == known.end()) continue;
      ++adding;
      add.push_back(SqlValue{found->second});
      for (uint32_t v : {u.pra0, u.ppa0, u.pra1, u.ppa1, u.pra2, u.ppa2, u.pra3, u.ppa3, u.prc, u.ppc})
        add.push_back(SqlValue{int64_t{v}});
    }
    if (adding > 0) {
      // Filled up with rows adding nothing to no row (keys start at 1).
      const size_t size = sizeClass(adding);
      for (size_t k = adding; k < size; ++k) {
        add.push_back(SqlValue{int64_t{0}});
        for (size_t c = 0; c < std::size(kCounters); ++c) add.push_back(SqlValue{int64_t{0}});
      }
      odbc::Statement& up = st_.sized(st_.addSums, size, addSumsSql);
      store::ValueBinder b(db_);
      b.bind(up, add);
      up.execute();
    }
    if (adding < n) {
      for (size_t k = from; k < to; ++k) {
        auto& [port, u] = *ports[k];
        if (known.count(port)) continue;
        u.cport = port;
        st_.passUsers.add(u);
      }
      st_.passUsers.flush();
    }
  }

  // The pass record by record, as the store operation does it.
  void recordByRecord() {
    for (size_t i = 0; i < records_.size(); ++i) {
      Database::Failure failure;
      out_[i] = storeOne(db_, st_, records_[i], failure);
      if (failure != Database::Failure::Row) throw PassAbandoned{failure, out_[i].error};
    }
  }

  Database& db_;
  RecordStore::CmdrStatements& st_;
  const std::vector<CmdrRecord>& records_;
  std::vector<StoreOutcome>& out_;
};

// A receive pass inside the open transaction. Throws PassAbandoned.
void writePass(Database& db, RecordStore::CmdrStatements& st, const std::vector<CmdrRecord>& records,
               std::vector<StoreOutcome>& out) {
  // On a shared server each charged port's user row is found or made, and
  // charged, under a lock of its own held to the end of the transaction.
  // Taking the locks first, in one order, keeps two programs charging the
  // same users from ever waiting on each other in a circle.
  if (db.engine() == store::Engine::Postgres) {
    std::vector<int32_t> keys;
    for (const CmdrRecord& r : records)
      if (chargesUser(r)) keys.push_back(portLockKey(r.cport));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    const size_t most = RecordStore::CmdrStatements::kMaxPorts;
    for (size_t from = 0; from < keys.size(); from += most) {
      const size_t n = std::min(keys.size() - from, most);
      odbc::Statement* lock = nullptr;
      try {
        const size_t size = sizeClass(n);
        lock = &st.sized(st.lockPorts, size, lockPortsSql);
        std::vector<SqlValue> v;  // the last key again fills up: a lock taken twice is held once
        for (size_t i = 0; i < size; ++i) v.push_back(SqlValue{int64_t{keys[from + std::min(i, n - 1)]}});
        store::ValueBinder b(db);
        b.bind(*lock, v);
        lock->execute();
        while (lock->fetch()) {
        }
        lock->closeCursor();
      } catch (const std::exception& e) {
        if (lock) lock->closeCursor();
        throw PassAbandoned{db.failed(e), store::failureText(e)};
      }
    }
  }
  PassWriter(db, st, records, out).run();
}

}  // namespace

RecordStore::PassResult RecordStore::tryPass(const std::vector<CmdrRecord>& records, std::vector<StoreOutcome>& out,
                                             std::string& error) {
  Database& db = *main_;
  CmdrStatements* st = cmdrStatements(error);
  if (!st) return PassResult::Lost;
  // The failure that ended the pass is the one shown (not a refused row
  // before it).
  auto abandon = [&](Database::Failure f, const std::string& text) {
    error = text;
    db.rollback();
    if (f == Database::Failure::ConnectionLost) return PassResult::ConnectionLost;
    return PassResult::Lost;
  };
  try {
    db.begin();
  } catch (const std::exception& e) {
    return abandon(db.failed(e), store::failureText(e));
  }
  try {
    writePass(db, *st, records, out);
  } catch (const PassAbandoned& a) {
    return abandon(a.failure, a.text);
  }
  try {
    db.commit();
  } catch (const std::exception& e) {
    Database::Failure f = db.failed(e);
    error = store::failureText(e);
    return f == Database::Failure::ConnectionLost ? PassResult::ConnectionLost : PassResult::Lost;
  }
  return PassResult::Committed;
}

std::vector<StoreOutcome> RecordStore::storePass(const std::vector<CmdrRecord>& records) {
  std::vector<StoreOutcome> out(records.size());
  if (records.empty()) return out;
  auto refuseAll = [&](const std::string& text) {
    for (StoreOutcome& o : out) {
      o = StoreOutcome{};
      o.error = text;
      o.shown = mainLost_;  // "Database connection lost" was shown once already
    }
    return out;
  };
  if (!main_) return refuseAll("the main database is not open");
  if (main_->inTransaction()) {
    // Inside someone else's transaction (the import): no redo, which is
    // the owner's to decide; a failure beyond a row fails the whole pass.
    std::string error;
    CmdrStatements* st = cmdrStatements(error);
    if (!st) return refuseAll(error);
    try {
      writePass(*main_, *st, records, out);
    } catch (const PassAbandoned& a) {
      return refuseAll(a.text);
    }
    return out;
  }
  if (mainLost_) return refuseAll(lostText_);
  std::string error;
  for (int attempt = 1;; ++attempt) {
    PassResult r = tryPass(records, out, error);
    if (r == PassResult::Committed) break;
    // Nothing of the pass is stored: it is redone whole, or refused whole.
    if (r == PassResult::ConnectionLost) {
      connectionLost(error);
      if (!reopenMain()) return refuseAll(lostText_);
    }
    if (attempt >= kPassAttempts) return refuseAll(error);
  }
  return out;  // the caller shows refused records and counter failures
}

StoreOutcome RecordStore::store(const CmdrRecord& record) { return storePass({record}).front(); }

bool RecordStore::ensureUserRow(const std::string& port, std::string& error) {
  if (!main_) {
    error = "the main database is not open";
    return false;
  }
  if (mainLost_) {
    error = lostText_;
    return false;
  }
  CmdrStatements* st = cmdrStatements(error);
  if (!st) return false;
  Database& db = *main_;
  const bool own = !db.inTransaction();
  try {
    if (own) db.begin();
    if (db.engine() == store::Engine::Postgres) lockPort(*st, portLockKey(port));
    store::ValueBinder b(db);
    b.bind(st->user, {SqlValue{port}});
    st->user.execute();
    bool found = st->user.fetch();
    st->user.closeCursor();
    if (!found) {
      UserRecord fresh;
      fresh.cport = port;
      st->userInsert.add(fresh);
    }
    if (own) db.commit();
    return true;
  } catch (const std::exception& e) {
    st->portLock.closeCursor();
    st->user.closeCursor();
    error = store::failureText(e);
    if (db.failed(e) == Database::Failure::ConnectionLost) connectionLost(error);
    if (own) db.rollback();
    return false;
  }
}

}  // namespace lumarc
