// The record store's databases: the one opener of the main and the voice
// database, and the main database's server connection (lost, retried,
// restored). The CMDR store operation is in cmdr_store.cpp, the archives
// in cmdr_archive.cpp, the older program's import in older_import.cpp.
#include "lumarc/store/record_store.h"

#include "lumarc/store/cmdr_statements.h"

#include "common/files.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace lumarc {

using store::Condition;
using store::Database;

namespace {

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
  if (kind == DbFileKind::Unreadable || !store::readWritable(path)) {
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

std::unique_ptr<Database> RecordStore::connectWithTables(const std::string& conn, const std::string& name,
                                                         const std::vector<const store::TableDef*>& tables) {
  std::unique_ptr<Database> db = connect(conn, name);
  if (!db) return nullptr;
  try {
    db->ensureTables(tables);  // also adds tables an older database lacks (Tmpl03)
  } catch (const std::exception& e) {
    report(StoreMessage::DbaseOpenFailed, name, e.what());
    return nullptr;
  }
  return db;
}

RecordStore::Opened RecordStore::openDatabase(const std::string& directory, const char* file, const char* dsn,
                                              const std::string& connection,
                                              const std::vector<const store::TableDef*>& tables) {
  Opened o;
  std::string conn = connection;
  o.name = file;
  if (conn.empty() && userDsnDefined(dsn)) conn = std::string("DSN=") + dsn + ";";
  bool created = false;
  const bool embedded = conn.empty();
  if (embedded) {
    std::string path = corvane::joinPath(directory, file);
    if (!prepareFile(path, o.name, created)) return o;
    conn = sqliteConnectionString(path);
  } else {
    o.name = serverName(conn);
  }
  o.db = connectWithTables(conn, o.name, tables);
  o.state = embedded ? (created ? "created" : "opened") : "server";
  return o;
}

bool RecordStore::openMainDatabase(const std::string& workDir, const std::string& connection) {
  if (main_) return true;
  std::vector<const store::TableDef*> tables = store::mainTables();
  for (const store::TableDef* t : store::alarmTables()) tables.push_back(t);
  Opened o = openDatabase(workDir, kMainFile, "LumarcDb", connection, tables);
  if (!o.db) return false;
  mainName_ = o.name;
  Database& db = *o.db;
  auto cset = std::make_unique<store::DrptCset>(db);
  auto pset = std::make_unique<store::DrptPset>(db);
  auto mset = std::make_unique<store::DrptMset>(db);
  auto rset = std::make_unique<store::DrptRset>(db);
  auto tset = std::make_unique<store::DrptTset>(db);
  // Opening each recordset checks that its table has the expected columns.
  auto probe = [&](auto& rs) {
    if (!rs->open(Condition::none())) return false;
    rs->close();
    return true;
  };
  std::string err;
  if (!probe(cset))
    err = cset->error();
  else if (!probe(pset))
    err = pset->error();
  else if (!probe(mset))
    err = mset->error();
  else if (!probe(rset))
    err = rset->error();
  else if (!probe(tset))
    err = tset->error();
  if (!err.empty()) {
    report(StoreMessage::MemoryAllocationFailed, o.name, err);
    return false;
  }
  main_ = std::move(o.db);
  cset_ = std::move(cset);
  pset_ = std::move(pset);
  mset_ = std::move(mset);
  rset_ = std::move(rset);
  tset_ = std::move(tset);
  mainState_ = o.state;
  return true;
}

bool RecordStore::openVoiceDatabase(const std::string& directory, const std::string& connection) {
  if (voice_) return true;
  Opened o = openDatabase(directory, kVoiceFile, "KvVrcDb", connection, store::voiceTables());
  if (!o.db) return false;
  auto vset = std::make_unique<store::DrptVset>(*o.db);
  if (!vset->open(Condition::none())) {
    report(StoreMessage::MemoryAllocationFailed, o.name, vset->error());
    return false;
  }
  vset->close();
  voice_ = std::move(o.db);
  vset_ = std::move(vset);
  voiceState_ = o.state;
  return true;
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

// ---- the main database's server connection ----

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

}  // namespace lumarc
