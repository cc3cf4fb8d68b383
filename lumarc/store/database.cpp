#include "lumarc/store/database.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace lumarc::store {

namespace {

Engine engineOf(const std::string& driver, const std::string& dbms) {
  std::string d = driver;
  std::transform(d.begin(), d.end(), d.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::string m = dbms;
  std::transform(m.begin(), m.end(), m.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (d.find("sqlite") != std::string::npos || m.find("sqlite") != std::string::npos) return Engine::Sqlite;
  if (d.find("psqlodbc") != std::string::npos || m.find("postgres") != std::string::npos) return Engine::Postgres;
  if (d.find("mdb") != std::string::npos) return Engine::Access;
  return Engine::Other;
}

}  // namespace

Database::Database(const std::string& connectionString, corvane::CodePage cp, bool readOnly)
    : connStr_(connectionString), readOnly_(readOnly), dialect_(Engine::Other), codec_(cp) {
  // psqlODBC's default statement-level rollback stays (a savepoint around
  // each statement inside a transaction, two more round trips): the CMDR
  // link stores a whole receive pass in one transaction, and one failed
  // insert must not abort the others (its line goes to
  // "fcmdr.txt", the link goes on). "Protocol=7.4-0" would almost double
  // the PostgreSQL store rate but lose that.
  conn_ = std::make_unique<odbc::Connection>(connStr_);
  dialect_ = Dialect(engineOf(conn_->driverName(), conn_->dbmsName()));
  setUp();
}

void Database::setUp() {
  if (dialect_.engine() == Engine::Sqlite && !readOnly_) {
    conn_->execute("PRAGMA busy_timeout = 5000");
    odbc::Statement s(*conn_);
    s.executeDirect("PRAGMA journal_mode = WAL");
    while (s.fetch()) {
    }
    s.closeCursor();
    // A record is acknowledged to the exchange once its transaction has
    // committed, so every commit reaches the disk before it returns: a power
    // failure must not take back what the exchange was told is stored.
    conn_->execute("PRAGMA synchronous = FULL");
  }
}

void Database::reconnect() {
  auto fresh = std::make_unique<odbc::Connection>(connStr_);
  std::swap(conn_, fresh);
  fresh.reset();  // the old connection and its statements
  inTx_ = false;
  ++generation_;
  setUp();
}

namespace {

bool startsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

bool containsNoCase(const std::string& s, const char* needle) {
  std::string l = s;
  std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return l.find(needle) != std::string::npos;
}

// SQLite's native codes: a refused row (constraint, or RAISE in a trigger),
// and a file another connection holds.
constexpr int kSqliteConstraint = 19;
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;

}  // namespace

std::string failureText(const std::exception& e) {
  const auto* oe = dynamic_cast<const odbc::OdbcError*>(&e);
  std::string t = oe ? oe->driverText() : std::string(e.what());
  for (char& c : t)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

Database::Failure Database::failed(const std::exception& e) {
  if (inTx_ && firstError_.empty()) firstError_ = failureText(e);
  const auto* oe = dynamic_cast<const odbc::OdbcError*>(&e);
  const std::string state = oe ? oe->sqlState() : std::string();
  const std::string text = oe ? oe->driverText() : std::string(e.what());
  if (state == "40P01" || state == "40001") return Failure::Retry;
  if (startsWith(state, "08") || startsWith(state, "57P") || containsNoCase(text, "server closed the connection") ||
      containsNoCase(text, "no connection to the server") || containsNoCase(text, "connection is dead") ||
      containsNoCase(text, "could not send") || containsNoCase(text, "terminating connection") ||
      containsNoCase(text, "connection not open"))
    return engine() == Engine::Sqlite ? Failure::TransactionLost : Failure::ConnectionLost;
  if (!inTx_) return Failure::Row;
  if (state == "25P02") return Failure::TransactionLost;  // "current transaction is aborted"
  // Another program held the SQLite file past the busy timeout: worth doing
  // the whole transaction again rather than refusing the record.
  if (engine() == Engine::Sqlite && oe && (oe->native() == kSqliteBusy || oe->native() == kSqliteLocked)) {
    conn_->tryExecute("BEGIN");  // if the transaction went with it, the driver's view is right again
    return Failure::Retry;
  }
  if (engine() == Engine::Sqlite && !(oe && oe->native() == kSqliteConstraint)) {
    // SQLite rolls the whole transaction back on some errors (a full disk,
    // I/O errors) without the driver noticing; later statements would run
    // one by one outside it. BEGIN succeeds only when that happened, and
    // then leaves a transaction open again, as the driver believes.
    if (conn_->tryExecute("BEGIN")) return Failure::TransactionLost;
  }
  return Failure::Row;
}

Database::~Database() {
  if (inTx_) {
    try {
      rollback();
    } catch (...) {
    }
  }
}

void Database::ensureTables(const std::vector<const TableDef*>& tables) {
  // Programs that share a server may start together: CREATE ... IF NOT
  // EXISTS is not safe against a concurrent creation of the same table, so
  // the schema is made under one server-wide lock.
  const bool shared = engine() == Engine::Postgres;
  if (shared) conn_->execute("SELECT pg_advisory_lock(" + std::to_string(kSchemaLockKey) + ")");
  try {
    for (const TableDef* t : tables) {
      conn_->execute(dialect_.createTable(*t));
      for (const std::string& s : dialect_.createIndexes(*t)) conn_->execute(s);
    }
  } catch (...) {
    if (shared) conn_->tryExecute("SELECT pg_advisory_unlock(" + std::to_string(kSchemaLockKey) + ")");
    throw;
  }
  if (shared) conn_->execute("SELECT pg_advisory_unlock(" + std::to_string(kSchemaLockKey) + ")");
}

bool Database::tableExists(const std::string& name) {
  odbc::Statement s(*conn_);
  std::string lc = name;
  if (engine() == Engine::Postgres)
    // clang-format off
    std::transform(lc.begin(), lc.end(), lc.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  SQLRETURN rc = SQLTables(s.handle(), nullptr, 0, nullptr, 0,
                           reinterpret_cast<SQLCHAR*>(const_cast<char*>(lc.c_str())), SQL_NTS,
                           reinterpret_cast<SQLCHAR*>(const_cast<char*>("TABLE")), SQL_NTS);
  // clang-format on
  odbc::check(rc, SQL_HANDLE_STMT, s.handle(), "SQLTables");
  return s.fetch();
}

int64_t Database::rowCount(const TableDef& t) {
  odbc::Statement s(*conn_);
  s.executeDirect(std::string("SELECT COUNT(*) FROM ") + t.name);
  int64_t n = 0;
  if (s.fetch()) s.getInt64(1, n);
  return n;
}

void Database::begin() {
  if (inTx_) return;
  conn_->setAutocommit(false);
  inTx_ = true;
  firstError_.clear();
  ++begun_;
}

void Database::commit() {
  if (!inTx_) return;
  try {
    conn_->commit();
  } catch (const std::exception& e) {
    std::string first = firstError_;
    failed(e);
    inTx_ = false;
    try {
      conn_->rollback();
    } catch (...) {
    }
    try {
      conn_->setAutocommit(true);
    } catch (...) {
    }
    // A commit that finds no transaction follows an earlier failure that
    // ended it: that one is the cause worth showing.
    const bool followOn = std::string(e.what()).find("no transaction is active") != std::string::npos;
    if (followOn && !first.empty()) {
      const auto* oe = dynamic_cast<const odbc::OdbcError*>(&e);
      // clang-format off
      throw odbc::OdbcError("commit failed after: " + first, oe ? oe->sqlState() : std::string(),
                            oe ? oe->native() : 0, first);
      // clang-format on
    }
    throw;
  }
  inTx_ = false;
  conn_->setAutocommit(true);
}

void Database::rollback() {
  if (!inTx_) return;
  inTx_ = false;
  try {
    conn_->rollback();
  } catch (...) {
  }
  try {
    conn_->setAutocommit(true);
  } catch (...) {
  }
}

std::string columnList(const TableDef& t, size_t first) {
  std::string s;
  for (size_t i = first; i < t.columns.size(); ++i) {
    if (i > first) s += ", ";
    s += t.columns[i].name;
  }
  return s;
}

std::string insertSql(const TableDef& t, size_t rows) {
  std::string one = "(";
  for (size_t i = 1; i < t.columns.size(); ++i) one += i > 1 ? ", ?" : "?";
  one += ")";
  std::string s = std::string("INSERT INTO ") + t.name + " (" + columnList(t, 1) + ") VALUES ";
  s.reserve(s.size() + rows * (one.size() + 2));
  for (size_t r = 0; r < rows; ++r) {
    if (r) s += ", ";
    s += one;
  }
  return s;
}

std::string updateSql(const TableDef& t) {
  std::string s = std::string("UPDATE ") + t.name + " SET ";
  for (size_t i = 1; i < t.columns.size(); ++i) {
    if (i > 1) s += ", ";
    s += t.columns[i].name;
    s += " = ?";
  }
  s += std::string(" WHERE ") + t.key() + " = ?";
  return s;
}

// ---- RowBuffer ----

RowBuffer::RowBuffer(Database& db, const TableDef& t, size_t firstColumn, size_t endColumn, size_t rows)
    : db_(db), first_(firstColumn), rows_(rows) {
  const bool wide = db.dialect().wideText();
  const bool dateText = db.dialect().dateAsText();
  for (size_t i = firstColumn; i < endColumn; ++i) {
    const ColumnDef& cd = t.columns[i];
    Col c{cd.type, cd.width, 0, {}, {}};
    switch (cd.type) {
      case ColType::Counter:
      case ColType::Long:
      case ColType::Short: c.slot = sizeof(SQLINTEGER); break;
      case ColType::Float: c.slot = sizeof(double); break;
      case ColType::Bit: c.slot = sizeof(SQLSMALLINT); break;
      case ColType::Text: c.slot = wide ? (cd.width + 1) * sizeof(SQLWCHAR) : cd.width * 3 + 1; break;
      case ColType::Date: c.slot = dateText ? 32 : sizeof(SQL_TIMESTAMP_STRUCT); break;
    }
    c.data.assign(c.slot * rows, 0);
    c.ind.assign(rows, 0);
    cols_.push_back(std::move(c));
  }
}

void RowBuffer::bindOne(odbc::Statement& s, SQLUSMALLINT n, size_t i, size_t row) {
  const bool wide = db_.dialect().wideText();
  const bool dateText = db_.dialect().dateAsText();
  Col& c = cols_[i];
  void* p = &c.data[row * c.slot];
  SQLLEN* ind = &c.ind[row];
  switch (c.type) {
    case ColType::Counter:
    case ColType::Long: s.bindParameter(n, SQL_C_SLONG, SQL_INTEGER, 0, 0, p, 0, ind); break;
    case ColType::Short: s.bindParameter(n, SQL_C_SLONG, SQL_SMALLINT, 0, 0, p, 0, ind); break;
    case ColType::Float: s.bindParameter(n, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, p, 0, ind); break;
    case ColType::Bit: s.bindParameter(n, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, p, 0, ind); break;
    case ColType::Text:
      if (wide)
        // clang-format off
        s.bindParameter(n, SQL_C_WCHAR, SQL_WVARCHAR, std::max<size_t>(c.width, 1), 0, p,
                        static_cast<SQLLEN>(c.slot), ind);
      // clang-format on
      else
        s.bindParameter(n, SQL_C_CHAR, SQL_VARCHAR, std::max<size_t>(c.width, 1), 0, p, static_cast<SQLLEN>(c.slot),
                        ind);
      break;
    case ColType::Date:
      if (dateText)
        s.bindParameter(n, SQL_C_CHAR, SQL_VARCHAR, 19, 0, p, static_cast<SQLLEN>(c.slot), ind);
      else
        s.bindParameter(n, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, p, 0, ind);
      break;
  }
}

void RowBuffer::bindParameters(odbc::Statement& s, SQLUSMALLINT firstParam) {
  for (size_t i = 0; i < cols_.size(); ++i) {
    SQLUSMALLINT n;
    if (firstParam == 0)  // UPDATE: key (column 0) last, the others from 1
      n = static_cast<SQLUSMALLINT>(i == 0 ? cols_.size() : i);
    else
      n = static_cast<SQLUSMALLINT>(firstParam + i);
    bindOne(s, n, i, 0);  // row 0; further rows follow as arrays (column-wise)
  }
}

void RowBuffer::bindParametersRowByRow(odbc::Statement& s, size_t rows) {
  size_t n = 1;
  for (size_t r = 0; r < rows; ++r)
    for (size_t i = 0; i < cols_.size(); ++i) bindOne(s, static_cast<SQLUSMALLINT>(n++), i, r);
}

void RowBuffer::bindColumns(odbc::Statement& s, SQLUSMALLINT firstColumn) {
  const bool wide = db_.dialect().wideText();
  const bool dateText = db_.dialect().dateAsText();
  for (size_t i = 0; i < cols_.size(); ++i) {
    Col& c = cols_[i];
    SQLUSMALLINT n = static_cast<SQLUSMALLINT>(firstColumn + i);
    void* p = c.data.data();
    SQLLEN* ind = c.ind.data();
    SQLLEN len = static_cast<SQLLEN>(c.slot);
    switch (c.type) {
      case ColType::Counter:
      case ColType::Long:
      case ColType::Short: s.bindColumn(n, SQL_C_SLONG, p, 0, ind); break;
      case ColType::Float: s.bindColumn(n, SQL_C_DOUBLE, p, 0, ind); break;
      case ColType::Bit: s.bindColumn(n, SQL_C_SSHORT, p, 0, ind); break;
      case ColType::Text: s.bindColumn(n, wide ? SQL_C_WCHAR : SQL_C_CHAR, p, len, ind); break;
      case ColType::Date: s.bindColumn(n, dateText ? SQL_C_CHAR : SQL_C_TYPE_TIMESTAMP, p, len, ind); break;
    }
  }
}

void RowBuffer::putField(size_t c, size_t row, int32_t v) {
  Col& col = cols_[c];
  if (col.type == ColType::Bit) {
    SQLSMALLINT b = v ? 1 : 0;
    std::memcpy(&col.data[row * col.slot], &b, sizeof b);
  } else {
    SQLINTEGER x = v;
    std::memcpy(&col.data[row * col.slot], &x, sizeof x);
  }
  col.ind[row] = 0;
}

void RowBuffer::putField(size_t c, size_t row, double v) {
  Col& col = cols_[c];
  std::memcpy(&col.data[row * col.slot], &v, sizeof v);
  col.ind[row] = 0;
}

void RowBuffer::putField(size_t c, size_t row, bool v) {
  Col& col = cols_[c];
  SQLSMALLINT b = v ? 1 : 0;
  std::memcpy(&col.data[row * col.slot], &b, sizeof b);
  col.ind[row] = 0;
}

void RowBuffer::putField(size_t c, size_t row, const std::string& v) {
  Col& col = cols_[c];
  std::string_view text(v);
  if (text.size() > col.width) text = text.substr(0, col.width);
  unsigned char* p = &col.data[row * col.slot];
  if (db_.dialect().wideText()) {
    static_assert(sizeof(SQLWCHAR) == sizeof(uint16_t));
    uint16_t units[1025];
    size_t n = db_.codec().toUtf16(text, units);
    std::memcpy(p, units, n * sizeof(uint16_t));
    uint16_t zero = 0;
    std::memcpy(p + n * sizeof(uint16_t), &zero, sizeof zero);
    col.ind[row] = static_cast<SQLLEN>(n * sizeof(uint16_t));
  } else {
    bool ascii = true;
    for (unsigned char ch : text)
      if (ch >= 0x80) {
        ascii = false;
        break;
      }
    if (ascii) {
      std::memcpy(p, text.data(), text.size());
      p[text.size()] = 0;
      col.ind[row] = static_cast<SQLLEN>(text.size());
    } else {
      scratch_.clear();
      db_.codec().toUtf8(text, scratch_);
      std::memcpy(p, scratch_.data(), scratch_.size());
      p[scratch_.size()] = 0;
      col.ind[row] = static_cast<SQLLEN>(scratch_.size());
    }
  }
}

void RowBuffer::putField(size_t c, size_t row, const DateTime& v) {
  Col& col = cols_[c];
  unsigned char* p = &col.data[row * col.slot];
  if (v.isNull()) {
    col.ind[row] = SQL_NULL_DATA;
    return;
  }
  if (db_.dialect().dateAsText()) {
    // 'YYYY-MM-DD HH:MM:SS', written by hand: this is on the bulk path.
    char* s = reinterpret_cast<char*>(p);
    auto two = [](char* d, int x) {
      d[0] = static_cast<char>('0' + (x / 10) % 10);
      d[1] = static_cast<char>('0' + x % 10);
    };
    int y = v.year < 0 ? 0 : v.year % 10000;
    s[0] = static_cast<char>('0' + y / 1000);
    s[1] = static_cast<char>('0' + (y / 100) % 10);
    two(s + 2, y % 100);
    s[4] = '-';
    two(s + 5, v.month);
    s[7] = '-';
    two(s + 8, v.day);
    s[10] = ' ';
    two(s + 11, v.hour);
    s[13] = ':';
    two(s + 14, v.minute);
    s[16] = ':';
    two(s + 17, v.second);
    s[19] = 0;
    col.ind[row] = 19;
  } else {
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = static_cast<SQLSMALLINT>(v.year);
    ts.month = static_cast<SQLUSMALLINT>(v.month);
    ts.day = static_cast<SQLUSMALLINT>(v.day);
    ts.hour = static_cast<SQLUSMALLINT>(v.hour);
    ts.minute = static_cast<SQLUSMALLINT>(v.minute);
    ts.second = static_cast<SQLUSMALLINT>(v.second);
    std::memcpy(p, &ts, sizeof ts);
    col.ind[row] = sizeof ts;
  }
}

void RowBuffer::getField(size_t c, size_t row, int32_t& v) const {
  const Col& col = cols_[c];
  v = 0;
  if (col.ind[row] == SQL_NULL_DATA) return;
  if (col.type == ColType::Bit) {
    SQLSMALLINT b = 0;
    std::memcpy(&b, &col.data[row * col.slot], sizeof b);
    v = b;
  } else {
    SQLINTEGER x = 0;
    std::memcpy(&x, &col.data[row * col.slot], sizeof x);
    v = x;
  }
}

void RowBuffer::getField(size_t c, size_t row, double& v) const {
  const Col& col = cols_[c];
  v = 0;
  if (col.ind[row] == SQL_NULL_DATA) return;
  std::memcpy(&v, &col.data[row * col.slot], sizeof v);
}

void RowBuffer::getField(size_t c, size_t row, bool& v) const {
  const Col& col = cols_[c];
  v = false;
  if (col.ind[row] == SQL_NULL_DATA) return;
  SQLSMALLINT b = 0;
  std::memcpy(&b, &col.data[row * col.slot], sizeof b);
  v = b != 0;
}

void RowBuffer::getField(size_t c, size_t row, std::string& v) const {
  const Col& col = cols_[c];
  v.clear();
  SQLLEN ind = col.ind[row];
  if (ind == SQL_NULL_DATA) return;
  const unsigned char* p = &col.data[row * col.slot];
  if (db_.dialect().wideText()) {
    size_t maxUnits = col.slot / sizeof(uint16_t) - 1;
    size_t n = (ind == SQL_NO_TOTAL || ind < 0) ? maxUnits : std::min<size_t>(static_cast<size_t>(ind) / 2, maxUnits);
    uint16_t units[1025];
    std::memcpy(units, p, n * sizeof(uint16_t));
    v = db_.codec().fromUtf16(units, n);
  } else {
    size_t n =
        (ind == SQL_NO_TOTAL || ind < 0) ? col.slot - 1 : std::min<size_t>(static_cast<size_t>(ind), col.slot - 1);
    v = db_.codec().fromUtf8(std::string_view(reinterpret_cast<const char*>(p), n));
  }
}

void RowBuffer::getField(size_t c, size_t row, DateTime& v) const {
  const Col& col = cols_[c];
  v = DateTime{};
  SQLLEN ind = col.ind[row];
  if (ind == SQL_NULL_DATA) return;
  const unsigned char* p = &col.data[row * col.slot];
  if (db_.dialect().dateAsText()) {
    size_t n = (ind < 0) ? std::strlen(reinterpret_cast<const char*>(p))
                         : std::min<size_t>(static_cast<size_t>(ind), col.slot - 1);
    parseDateTime(std::string_view(reinterpret_cast<const char*>(p), n), v);
  } else {
    SQL_TIMESTAMP_STRUCT ts{};
    std::memcpy(&ts, p, sizeof ts);
    v = DateTime{ts.year, ts.month, ts.day, ts.hour, ts.minute, static_cast<int>(ts.second)};
  }
}

SqlValue RowBuffer::value(size_t c, size_t row) const {
  switch (cols_[c].type) {
    case ColType::Counter:
    case ColType::Long:
    case ColType::Short:
    case ColType::Bit: {
      int32_t v = 0;
      getField(c, row, v);
      return int64_t{v};
    }
    case ColType::Float: {
      double v = 0;
      getField(c, row, v);
      return v;
    }
    case ColType::Text: {
      std::string v;
      getField(c, row, v);
      return v;
    }
    case ColType::Date: {
      DateTime v;
      getField(c, row, v);
      return v;
    }
  }
  return int64_t{0};
}

// ---- ValueBinder ----

void ValueBinder::bind(odbc::Statement& s, const std::vector<SqlValue>& values, SQLUSMALLINT firstParam) {
  const bool wide = db_.dialect().wideText();
  const bool dateText = db_.dialect().dateAsText();
  for (size_t i = 0; i < values.size(); ++i) {
    auto slot = std::make_unique<Slot>();
    Slot& sl = *slot;
    SQLUSMALLINT n = static_cast<SQLUSMALLINT>(firstParam + i);
    const SqlValue& v = values[i];
    if (const int64_t* iv = std::get_if<int64_t>(&v)) {
      sl.i = *iv;
      if (*iv >= INT32_MIN && *iv <= INT32_MAX) {
        sl.bytes.resize(sizeof(SQLINTEGER));
        SQLINTEGER x = static_cast<SQLINTEGER>(*iv);
        std::memcpy(sl.bytes.data(), &x, sizeof x);
        s.bindParameter(n, SQL_C_SLONG, SQL_INTEGER, 0, 0, sl.bytes.data(), 0, &sl.ind);
      } else {
        s.bindParameter(n, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &sl.i, 0, &sl.ind);
      }
    } else if (const double* dv = std::get_if<double>(&v)) {
      sl.d = *dv;
      s.bindParameter(n, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &sl.d, 0, &sl.ind);
    } else if (const std::string* tv = std::get_if<std::string>(&v)) {
      if (wide) {
        sl.bytes.resize((tv->size() + 1) * 2);
        std::vector<uint16_t> units(tv->size() + 1, 0);
        size_t k = db_.codec().toUtf16(*tv, units.data());
        std::memcpy(sl.bytes.data(), units.data(), (k + 1) * 2);
        sl.ind = static_cast<SQLLEN>(k * 2);
        s.bindParameter(n, SQL_C_WCHAR, SQL_WVARCHAR, std::max<size_t>(k, 1), 0, sl.bytes.data(),
                        static_cast<SQLLEN>(sl.bytes.size()), &sl.ind);
      } else {
        std::string u;
        db_.codec().toUtf8(*tv, u);
        sl.bytes.assign(u.begin(), u.end());
        sl.bytes.push_back(0);
        sl.ind = static_cast<SQLLEN>(u.size());
        s.bindParameter(n, SQL_C_CHAR, SQL_VARCHAR, std::max<size_t>(u.size(), 1), 0, sl.bytes.data(),
                        static_cast<SQLLEN>(sl.bytes.size()), &sl.ind);
      }
    } else {
      const DateTime& t = std::get<DateTime>(v);
      if (t.isNull()) {
        sl.ind = SQL_NULL_DATA;
        s.bindParameter(n, SQL_C_CHAR, SQL_VARCHAR, 19, 0, nullptr, 0, &sl.ind);
      } else if (dateText) {
        std::string txt = dateTimeText(t);
        sl.bytes.assign(txt.begin(), txt.end());
        sl.bytes.push_back(0);
        sl.ind = static_cast<SQLLEN>(txt.size());
        s.bindParameter(n, SQL_C_CHAR, SQL_VARCHAR, 19, 0, sl.bytes.data(), static_cast<SQLLEN>(sl.bytes.size()),
                        &sl.ind);
      } else {
        sl.ts.year = static_cast<SQLSMALLINT>(t.year);
        sl.ts.month = static_cast<SQLUSMALLINT>(t.month);
        sl.ts.day = static_cast<SQLUSMALLINT>(t.day);
        sl.ts.hour = static_cast<SQLUSMALLINT>(t.hour);
        sl.ts.minute = static_cast<SQLUSMALLINT>(t.minute);
        sl.ts.second = static_cast<SQLUSMALLINT>(t.second);
        sl.ind = sizeof sl.ts;
        s.bindParameter(n, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, &sl.ts, 0, &sl.ind);
      }
    }
    slots_.push_back(std::move(slot));
  }
}

}  // namespace lumarc::store
