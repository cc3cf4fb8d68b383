#include "lumarc/store/record_store.h"

#include "common/files.h"
#include "common/format.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumarc {

using store::Condition;
using store::Database;
using store::SqlValue;

namespace {

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Opens for reading and writing without creating: the test of an
// existing database file.
bool readWritable(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}


std::string serverName(const std::string& conn) {
  // "SERVER=host" (or the whole string's driver) for messages; never the password.
  std::string lc = conn;
  for (auto& c : lc) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t p = lc.find("server=");
  if (p == std::string::npos) return "database server";
  size_t e = conn.find(';', p);
  return conn.substr(p + 7, e == std::string::npos ? std::string::npos : e - p - 7);
}

}  // namespace

DbFileKind detectDbFileKind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? DbFileKind::Missing : DbFileKind::Unreadable;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return DbFileKind::Unreadable;
  unsigned char head[32] = {0};
  ssize_t n = ::read(fd, head, sizeof head);
  ::close(fd);
  if (n < 0) return DbFileKind::Unreadable;
  if (n == 0) return DbFileKind::Empty;
  if (n >= 16 && std::memcmp(head, "SQLite format 3\0", 16) == 0) return DbFileKind::Sqlite;
  // Jet 3/4 and ACE: 00 01 00 00 "Standard Jet DB" / "Standard ACE DB".
  if (n >= 19 && (std::memcmp(head + 4, "Standard Jet DB", 15) == 0 || std::memcmp(head + 4, "Standard ACE DB", 15) == 0))
    return DbFileKind::Access;
  return DbFileKind::Other;
}

uint32_t rebuildImportedFlags(uint32_t f, uint32_t i) {
  uint32_t r = f & 0xFFu;
  r |= (i & 0x3FFu) << 8;
  r |= ((f >> 9) & 1u) << 18;
  r |= ((f >> 12) & 3u) << 19;
  r |= ((f >> 16) & 0xFu) << 21;
  return r;
}

CmdrRecord importedRecord(const OlderCmdrRecord& old) {
  CmdrRecord r;
  r.type = old.type.substr(0, 1);
  r.tdate = old.tdate;
  r.duration = old.duration;
  r.rpuls = old.rpuls;
  r.ppuls = old.ppuls;
  r.cport = corvane::portText8(old.cport);
  r.pport = corvane::portText8(old.pport);
  r.uport = corvane::portText8(old.uport);
  r.rdata = corvane::blankPad(old.rdata, 32).substr(0, 32);
  r.xdata = corvane::blankPad(old.xdata, 32).substr(0, 32);
  r.cdata = corvane::blankPad(old.cdata, 32).substr(0, 32);
  r.flags = rebuildImportedFlags(old.flags, old.info);
  return r;
}

std::string sqliteConnectionString(const std::string& path, bool mayCreate) {
  std::string s = "DRIVER=SQLite3;Database=" + odbc::quoteConnValue(path) + ";Timeout=5000;StepAPI=1;";
  if (!mayCreate) s += "NoCreat=1;";
  return s;
}

bool userDsnDefined(const std::string& name) {
  try {
    auto env = odbc::Environment::shared();
    SQLCHAR dsn[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR desc[256];
    SQLSMALLINT dl = 0, el = 0;
    SQLUSMALLINT dir = SQL_FETCH_FIRST_USER;
    while (odbc::ok(SQLDataSources(env->handle(), dir, dsn, sizeof dsn, &dl, desc, sizeof desc, &el))) {
      if (strcasecmp(reinterpret_cast<char*>(dsn), name.c_str()) == 0) return true;
      dir = SQL_FETCH_NEXT;
    }
  } catch (...) {
  }
  return false;
}

std::string mdbtoolsConnectionString(const std::string& path) {
  return "DRIVER=MDBTools;DBQ=" + odbc::quoteConnValue(path) + ";";
}

std::optional<std::string> renameNoReplace(const std::string& from, const std::string& to) {
  std::string stem = to, ext;
  size_t dot = to.find_last_of('.');
  size_t slash = to.find_last_of('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    stem = to.substr(0, dot);
    ext = to.substr(dot);
  }
  for (int i = 0; i < 10000; ++i) {
    std::string target = i == 0 ? to : stem + std::to_string(i) + ext;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return target;
    if (errno == EEXIST) continue;
    if (errno == EINVAL || errno == ENOSYS) {
      // File systems without RENAME_NOREPLACE: link, then unlink.
      if (::link(from.c_str(), target.c_str()) == 0) {
        ::unlink(from.c_str());
        return target;
      }
      if (errno == EEXIST) continue;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

// ---- the CMDR store operation ----

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

// The prepared statements of the store operation, kept while the main
// database's connection lasts.
struct RecordStore::CmdrStatements {
  explicit CmdrStatements(Database& db)
      : db(db), generation(db.generation()), insert(db, 1), userInsert(db, 1), duplicate(db.connection()),
        user(db.connection()), addCounters(db.connection()), portLock(db.connection()),
        userRow(db, store::pdataTable(), 0, store::pdataTable().columns.size(), 1) {
    // Without statistics both engines would use the cport index, whose
    // values repeat for every call of a user; the one-second tdate range is
    // the narrow one.
    duplicate.prepare(std::string("SELECT sqno FROM Cdata") + db.dialect().indexHint("Cdata_tdate") + " WHERE " +
                      db.dialect().withoutIndex("cport") + " = ? AND pport = ? AND uport = ? AND tdate >= ? AND tdate < ? AND rpuls = ? AND "
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
  Database& db;
  uint64_t generation;
  store::BulkInserter<CmdrRecord> insert;
  store::BulkInserter<UserRecord> userInsert;
  odbc::Statement duplicate;
  odbc::Statement user;
  odbc::Statement addCounters;
  odbc::Statement portLock;
  store::RowBuffer userRow;
  SQLINTEGER lockClass = store::kUserLockClass;
  SQLINTEGER lockKey = 0;
};

namespace {

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
  const bool typeA = rec.type == "A";
  // The duplicate test, for type A only.
  if (typeA) {
    try {
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
      if (found) {
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
    store::ValueBinder b(db);
    b.bind(st.user, {SqlValue{rec.cport}});
    st.user.execute();
    UserRecord u;
    bool found = st.user.fetch();
    if (found) st.userRow.get(0, u);
    st.user.closeCursor();
    if (!found) {
      scratch.cport = rec.cport;
      st.userInsert.add(scratch);
    } else {
      std::vector<SqlValue> adds;
      for (uint32_t v : {scratch.pra0, scratch.ppa0, scratch.pra1, scratch.ppa1, scratch.pra2, scratch.ppa2,
                         scratch.pra3, scratch.ppa3, scratch.prc, scratch.ppc})
        adds.push_back(SqlValue{int64_t{v}});
      adds.push_back(SqlValue{int64_t{u.sqno}});
      b.bind(st.addCounters, adds);
      st.addCounters.execute();
    }
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

RecordStore::PassResult RecordStore::tryPass(const std::vector<CmdrRecord>& records,
                                             std::vector<StoreOutcome>& out, std::string& error) {
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
        st->lockKey = k;
        st->portLock.execute();
        while (st->portLock.fetch()) {
        }
        st->portLock.closeCursor();
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
    if (db.engine() == store::Engine::Postgres) {
      st->lockKey = portLockKey(port);
      st->portLock.execute();
      while (st->portLock.fetch()) {
      }
      st->portLock.closeCursor();
    }
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

void RecordStore::connectionLost(const std::string& text) {
  reconnectTicks_ = 0;
  if (mainLost_) return;
  mainLost_ = true;
  lostText_ = "Database connection lost: " + text;
  report(StoreMessage::ConnectionLost, mainName_, text);
}

bool RecordStore::reopenMain() {
  if (!main_) return false;
  cmdr_.reset();
  try {
    main_->reconnect();
  } catch (const std::exception& e) {
    return false;
  }
  mainLost_ = false;
  lostText_.clear();
  report(StoreMessage::ConnectionRestored, mainName_, {});
  return true;
}

void RecordStore::tick() {
  // A lost server is tried again every 10 s.
  if (!mainLost_) return;
  if (++reconnectTicks_ < kReconnectTicks) return;
  reconnectTicks_ = 0;
  reopenMain();
}

// ---- opening ----

RecordStore::RecordStore(StoreMessageSink* messages, corvane::CodePage codePage)
    : messages_(messages), codePage_(codePage) {}

RecordStore::~RecordStore() { closeAll(); }

void RecordStore::report(StoreMessage id, const std::string& fileName, const std::string& detail) {
  if (messages_) messages_->storeMessage(id, fileName, detail);
}

bool RecordStore::createBlankDatabase(const std::string& path, bool replaceConfirmed) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (replaceConfirmed ? O_TRUNC : O_EXCL);
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) return false;
  ::close(fd);
  if (replaceConfirmed) {
    // The old database's journals would belong to another file.
    ::unlink((path + "-wal").c_str());
    ::unlink((path + "-shm").c_str());
    ::unlink((path + "-journal").c_str());
  }
  return true;
}

bool RecordStore::prepareFile(const std::string& path, const std::string& name, bool& created) {
  created = false;
  DbFileKind kind = detectDbFileKind(path);
  if (kind == DbFileKind::Missing) {
    if (!createBlankDatabase(path)) {
      report(StoreMessage::FileAccessFailed, name, path + ": " + std::strerror(errno));
      return false;
    }
    created = true;
    return true;
  }
  if (kind == DbFileKind::Unreadable || !readWritable(path)) {
    // Never deleted or replaced.
    report(StoreMessage::FileAccessFailed, name, path + ": " + std::strerror(errno));
    return false;
  }
  if (kind == DbFileKind::Access) {
    report(StoreMessage::DbaseOpenFailed, name,
           path + " is a Microsoft Access (Jet/ACE) database; it is left untouched (use lumarc-cli import)");
    return false;
  }
  if (kind == DbFileKind::Other) {
    report(StoreMessage::DbaseOpenFailed, name, path + " is not an SQLite database; it is left untouched");
    return false;
  }
  return true;
}

std::unique_ptr<Database> RecordStore::connect(const std::string& conn, const std::string& name) {
  try {
    return std::make_unique<Database>(conn, codePage_);
  } catch (const odbc::OdbcError& e) {
    const std::string& st = e.sqlState();
    const std::string text = e.what();
    // The driver manager cannot find or load the driver: a configuration
    // matter (unixODBC says IM002, or 01000 "Can't open lib").
    if (st.rfind("IM", 0) == 0 || text.find("Can't open lib") != std::string::npos ||
        text.find("Data source name not found") != std::string::npos)
      report(StoreMessage::SqlConfigError, name, e.what());
    else if (st == "HY001" || st == "HY013" || std::string(e.what()).find("allocat") != std::string::npos)
      report(StoreMessage::DbaseAllocationFailed, name, e.what());
    else
      report(StoreMessage::DbaseOpenFailed, name, e.what());
  } catch (const std::exception& e) {
    report(StoreMessage::DbaseAllocationFailed, name, e.what());
  }
  return nullptr;
}

bool RecordStore::openMainDatabase(const std::string& workDir, const std::string& connection) {
  if (main_) return true;
  std::string conn = connection, name = kMainFile;
  if (conn.empty() && userDsnDefined("LumarcDb")) conn = "DSN=LumarcDb;";
  bool created = false;
  const bool embedded = conn.empty();
  if (embedded) {
    std::string path = corvane::joinPath(workDir, kMainFile);
    if (!prepareFile(path, name, created)) return false;
    conn = sqliteConnectionString(path);
  } else {
    name = serverName(conn);
  }
  std::unique_ptr<Database> db = connect(conn, name);
  if (!db) return false;
  mainName_ = name;
  try {
    db->ensureTables(store::mainTables());  // also adds Tmpl03 to an older database
  } catch (const std::exception& e) {
    report(StoreMessage::DbaseOpenFailed, name, e.what());
    return false;
  }
  auto cset = std::make_unique<store::DrptCset>(*db);
  auto pset = std::make_unique<store::DrptPset>(*db);
  auto mset = std::make_unique<store::DrptMset>(*db);
  auto rset = std::make_unique<store::DrptRset>(*db);
  auto tset = std::make_unique<store::DrptTset>(*db);
  // Opening each recordset checks that its table has the expected columns.
  auto probe = [&](auto& rs) {
    if (!rs->open(Condition::none())) return false;
    rs->close();
    return true;
  };
  std::string err;
  if (!probe(cset)) err = cset->error();
  else if (!probe(pset)) err = pset->error();
  else if (!probe(mset)) err = mset->error();
  else if (!probe(rset)) err = rset->error();
  else if (!probe(tset)) err = tset->error();
  if (!err.empty()) {
    report(StoreMessage::MemoryAllocationFailed, name, err);
    return false;
  }
  main_ = std::move(db);
  cset_ = std::move(cset);
  pset_ = std::move(pset);
  mset_ = std::move(mset);
  rset_ = std::move(rset);
  tset_ = std::move(tset);
  mainState_ = embedded ? (created ? "created" : "opened") : "server";
  return true;
}

bool RecordStore::openVoiceDatabase(const std::string& directory, const std::string& connection) {
  if (voice_) return true;
  std::string conn = connection, name = kVoiceFile;
  if (conn.empty() && userDsnDefined("KvVrcDb")) conn = "DSN=KvVrcDb;";
  bool created = false;
  const bool embedded = conn.empty();
  if (embedded) {
    std::string path = corvane::joinPath(directory, kVoiceFile);
    if (!prepareFile(path, name, created)) return false;
    conn = sqliteConnectionString(path);
  } else {
    name = serverName(conn);
  }
  std::unique_ptr<Database> db = connect(conn, name);
  if (!db) return false;
  try {
    db->ensureTables(store::voiceTables());
  } catch (const std::exception& e) {
    report(StoreMessage::DbaseOpenFailed, name, e.what());
    return false;
  }
  auto vset = std::make_unique<store::DrptVset>(*db);
  if (!vset->open(Condition::none())) {
    report(StoreMessage::MemoryAllocationFailed, name, vset->error());
    return false;
  }
  vset->close();
  voice_ = std::move(db);
  vset_ = std::move(vset);
  voiceState_ = embedded ? (created ? "created" : "opened") : "server";
  return true;
}

std::unique_ptr<CmdrArchive> RecordStore::openCmdrArchive(const std::string& path, bool create, bool replaceConfirmed) {
  if (create) {
    if (fileExists(path) && !replaceConfirmed) {
      report(StoreMessage::FileAccessFailed, path, path + " exists");
      return nullptr;
    }
    if (!createBlankDatabase(path, replaceConfirmed)) {
      report(StoreMessage::FileAccessFailed, path, path + ": " + std::strerror(errno));
      return nullptr;
    }
  } else {
    DbFileKind kind = detectDbFileKind(path);
    if ((kind != DbFileKind::Sqlite && kind != DbFileKind::Empty) || !readWritable(path)) return nullptr;
  }
  auto a = std::make_unique<CmdrArchive>();
  a->path = path;
  a->db = connect(sqliteConnectionString(path, create), path);
  if (!a->db) return nullptr;
  try {
    a->db->ensureTables({&store::cdataTable()});
  } catch (const std::exception& e) {
    report(StoreMessage::DbaseOpenFailed, path, e.what());
    return nullptr;
  }
  a->cset = std::make_unique<store::DrptCset>(*a->db);
  if (!a->cset->open(Condition::none())) {
    report(StoreMessage::MemoryAllocationFailed, {}, a->cset->error());
    return nullptr;
  }
  a->cset->close();
  return a;
}

std::optional<CmdrRecord> RecordStore::findCmdrBySqno(CmdrArchive& archive, int32_t sqno) {
  if (!archive.db) return std::nullopt;
  store::DrptCset tmp(*archive.db);
  return tmp.find(sqno);
}

void RecordStore::closeAll() {
  cmdr_.reset();
  mainLost_ = false;
  cset_.reset();
  pset_.reset();
  mset_.reset();
  rset_.reset();
  tset_.reset();
  vset_.reset();
  main_.reset();
  voice_.reset();
}

// ---- import ----

ImportResult RecordStore::importOlderDatabase(const std::string& workDir, ImportUi* ui) {
  std::string path = corvane::joinPath(workDir, kOlderFile);
  ImportResult r;
  if (!fileExists(path) || !readWritable(path)) return r;  // NoFile
  r = importFrom(path, ui, true);
  if (r.status != ImportResult::Status::Done) return r;
  auto renamed = renameNoReplace(path, corvane::joinPath(workDir, "OlvarImp.mdb"));
  if (renamed) r.renamedTo = *renamed;
  else r.error = std::string("could not rename ") + path + ": " + std::strerror(errno);
  return r;
}

ImportResult RecordStore::importFile(const std::string& path, ImportUi* ui) {
  ImportResult r;
  if (!fileExists(path)) {
    r.error = path + ": no such file";
    return r;
  }
  return importFrom(path, ui, false);
}

ImportResult RecordStore::importFrom(const std::string& path, ImportUi* ui, bool ask) {
  ImportResult r;
  r.status = ImportResult::Status::Unreadable;
  if (!main_) {
    r.status = ImportResult::Status::Failed;
    r.error = "the main database is not open";
    return r;
  }
  DbFileKind kind = detectDbFileKind(path);
  std::string conn;
  if (kind == DbFileKind::Access) conn = mdbtoolsConnectionString(path);
  else if (kind == DbFileKind::Sqlite) conn = sqliteConnectionString(path, false);
  else {
    r.error = path + ": neither an Access nor an SQLite database";
    return r;
  }
  // Without a driver that reads the file the import is skipped silently.
  std::unique_ptr<Database> src;
  try {
    src = std::make_unique<Database>(conn, codePage_, true);
  } catch (const std::exception& e) {
    r.error = e.what();
    return r;
  }
  store::DrptXset old(*src);
  if (!old.open()) {
    r.error = old.error();
    return r;
  }
  if (ask && ui && !ui->confirmImport()) {
    r.status = ImportResult::Status::Cancelled;
    return r;
  }
  try {
    main_->begin();
  } catch (const std::exception& e) {
    r.status = ImportResult::Status::Failed;
    r.error = e.what();
    return r;
  }
  OlderCmdrRecord row;
  while (old.next(row)) {
    if (row.type.empty() || row.type[0] != 'A') {
      ++r.skipped;
      continue;
    }
    StoreOutcome o = storeCmdrRecord(*this, importedRecord(row));
    if (o.failed() || o.countersFailed()) {
      main_->rollback();
      r.status = ImportResult::Status::Failed;
      r.error = o.error;
      r.stored = 0;
      return r;
    }
    if (o.duplicate()) {
      ++r.duplicates;
    } else {
      ++r.stored;
      if (r.stored % 256 == 0 && ui) ui->importProgress(r.stored, r.duplicates);
    }
  }
  if (!old.error().empty()) {
    main_->rollback();
    r.status = ImportResult::Status::Failed;
    r.error = old.error();
    r.stored = 0;
    return r;
  }
  try {
    main_->commit();
  } catch (const std::exception& e) {
    r.status = ImportResult::Status::Failed;
    r.error = e.what();
    r.stored = 0;
    return r;
  }
  old.close();
  src.reset();
  if (ui) ui->importFinished();
  r.status = ImportResult::Status::Done;
  return r;
}

}  // namespace lumarc
