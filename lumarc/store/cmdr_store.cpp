// The CMDR store operation and the receive pass: the duplicate test, the
// Cdata insert and the user's charge counters, one pass per transaction
// under the charged ports' locks, and the redo rule for a pass the
// database dropped.
#include "lumarc/store/cmdr_statements.h"

#include "common/format.h"

#include <algorithm>

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

}  // namespace

RecordStore::CmdrStatements::CmdrStatements(Database& db)
    : db(db), generation(db.generation()), insert(db, 1), userInsert(db, 1), duplicate(db.connection()),
      user(db.connection()), addCounters(db.connection()), portLock(db.connection()),
      userRow(db, store::pdataTable(), 0, store::pdataTable().columns.size(), 1) {
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
  for (const char* c : {"pra0", "ppa0", "pra1", "ppa1", "pra2", "ppa2", "pra3", "ppa3", "prc", "ppc"}) {
    if (!set.empty()) set += ", ";
    set += std::string(c) + " = (" + c + " + ? + 2147483648) % 4294967296 - 2147483648";
  }
  addCounters.prepare("UPDATE Pdata SET " + set + " WHERE sqno = ?");
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
    st.insert.add(rec);  // batch of 1: executes now
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
    for (int32_t k : keys) {
      try {
        lockPort(*st, k);
      } catch (const std::exception& e) {
        st->portLock.closeCursor();
        return abandon(db.failed(e), store::failureText(e));
      }
    }
  }
  for (size_t i = 0; i < records.size(); ++i) {
    Database::Failure failure;
    out[i] = storeOne(db, *st, records[i], failure);
    if (failure != Database::Failure::Row) return abandon(failure, out[i].error);
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
    // Inside someone else's transaction (the import): record by record.
    for (size_t i = 0; i < records.size(); ++i) out[i] = storeCmdrRecord(*this, records[i]);
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
