// One open database (an ODBC connection with its dialect and text codec),
// typed recordsets over the program's tables, and the bulk insert path.
#pragma once

#include "lumarc/store/odbc.h"
#include "lumarc/records/records.h"
#include "lumarc/store/schema.h"
#include "lumarc/store/text_codec.h"

#include <cassert>
#include <map>
#include <memory>
#include <type_traits>
#include <optional>
#include <string>
#include <vector>

namespace lumarc::store {

// clang-format off
// The fields of each row type, in table column order, handed to f one by one.
template <class F> void forEachField(CmdrRecord& r, F&& f) {
  f(r.sqno); f(r.type); f(r.tdate); f(r.duration); f(r.cport); f(r.pport); f(r.uport); f(r.rdata); f(r.xdata);
  f(r.cdata); f(r.rpuls); f(r.ppuls); f(r.crefa); f(r.crefb); f(r.crefc); f(r.flags); f(r.flagt); f(r.flagu);
  f(r.ipadr); f(r.Xid);
}
template <class F> void forEachField(UserRecord& r, F&& f) {
  f(r.sqno); f(r.cport); f(r.name); f(r.surn); f(r.dept); f(r.sect); f(r.titl); f(r.cmnt); f(r.flag); f(r.pra0);
  f(r.ppa0); f(r.pra1); f(r.ppa1); f(r.pra2); f(r.ppa2); f(r.pra3); f(r.ppa3); f(r.prc); f(r.ppc); f(r.Xid);
  f(r.Slct);
}
template <class F> void forEachField(MonitorRow& r, F&& f) {
  f(r.sqno); f(r.type); f(r.hpidx); f(r.ptyp); f(r.dir); f(r.tdate); f(r.cport); f(r.pport); f(r.ind); f(r.datl);
  f(r.dlen); f(r.datb); f(r.dlps); f(r.xnam);
}
template <class F> void forEachField(RouteRecord& r, F&& f) {
  f(r.RSno); f(r.RFlag); f(r.RType); f(r.RName); f(r.RDgts); f(r.RCmnt); f(r.Ackd); f(r.Slct);
}
template <class F> void forEachField(TemplateRecord& r, F&& f) {
  f(r.TSno); f(r.TFlag); f(r.TRect); f(r.TName); f(r.TDrtn); f(r.TPrce); f(r.TPunt); f(r.TUprt); f(r.TStr);
  f(r.TEnd); f(r.TMid); f(r.TMad); f(r.TDnam); f(r.TCnam); f(r.TPmie); f(r.TPmae); f(r.TPmii); f(r.TPmai);
  f(r.TTlic); f(r.TTlog); f(r.TStar); f(r.TRpfm); f(r.TRplc); f(r.TAckf); f(r.TLtyp); f(r.Tuackd); f(r.Tucamr);
  f(r.Tucamp); f(r.Tpuport); f(r.Tddgts); f(r.Tcdgts); f(r.Tdept); f(r.Tsect); f(r.TLstr); f(r.ipadr); f(r.vrdir);
}
template <class F> void forEachField(VoiceRecord& r, F&& f) {
  f(r.sqno); f(r.rcdport); f(r.rcddate); f(r.rcdtime); f(r.rcdtype); f(r.duration); f(r.rcddsq); f(r.rcdrcv);
  f(r.rcdcni); f(r.cref); f(r.Xid); f(r.rcdfn); f(r.rcdfx); f(r.Drog); f(r.Wavu); f(r.ipadr);
}
template <class F> void forEachField(OlderCmdrRecord& r, F&& f) {
  f(r.sqno); f(r.type); f(r.tdate); f(r.duration); f(r.cport); f(r.pport); f(r.uport); f(r.rdata); f(r.xdata);
  f(r.cdata); f(r.rpuls); f(r.ppuls); f(r.info); f(r.cref); f(r.dlps); f(r.xnam); f(r.flags);
}

template <class Row> const TableDef& tableOf();
template <> inline const TableDef& tableOf<CmdrRecord>() { return cdataTable(); }
template <> inline const TableDef& tableOf<UserRecord>() { return pdataTable(); }
template <> inline const TableDef& tableOf<MonitorRow>() { return mdataTable(); }
template <> inline const TableDef& tableOf<RouteRecord>() { return routTable(); }
template <> inline const TableDef& tableOf<TemplateRecord>() { return tmpl03Table(); }
template <> inline const TableDef& tableOf<VoiceRecord>() { return vdata00Table(); }
template <> inline const TableDef& tableOf<OlderCmdrRecord>() { return olderCdataTable(); }
// clang-format on

// Advisory lock keys on a shared server: the schema (one lock), and the
// users' rows (one lock per port, with this class key beside the port's hash).
constexpr int64_t kSchemaLockKey = 0x4C554D41;  // "LUMA"
constexpr int32_t kUserLockClass = 0x4C555352;  // "LUSR"

class Database {
 public:
  // Connects (throws odbc::OdbcError). The engine is taken from the driver.
  // readOnly: a source that is only read (no pragmas, nothing written).
  Database(const std::string& connectionString, corvane::CodePage cp = corvane::CodePage::Cp1252,
           bool readOnly = false);
  ~Database();

  odbc::Connection& connection() { return *conn_; }
  const Dialect& dialect() const { return dialect_; }
  const TextCodec& codec() const { return codec_; }
  Engine engine() const { return dialect_.engine(); }
  const std::string& connectionString() const { return connStr_; }

  // CREATE TABLE / INDEX IF NOT EXISTS for each table.
  void ensureTables(const std::vector<const TableDef*>& tables);
  bool tableExists(const std::string& name);
  int64_t rowCount(const TableDef& t);

  // Explicit transactions (autocommit is on outside them).
  void begin();
  // On failure the transaction is rolled back and the error thrown names
  // the transaction's first failure when there was one (a full disk, not
  // the "no transaction is active" that follows it).
  void commit();
  void rollback();
  bool inTransaction() const { return inTx_; }

  // What a failed statement or commit left behind.
  enum class Failure {
    Row,              // that statement alone failed; the transaction goes on
    Retry,            // deadlock or serialization failure: redo the whole transaction
    TransactionLost,  // the database dropped the transaction (SQLite on a full disk)
    ConnectionLost,   // the server or its connection is gone
  };
  // Classifies a failure of this database's work. Inside a transaction it
  // keeps the first failure's text, and on SQLite it finds out whether the
  // transaction survived.
  Failure failed(const std::exception& e);
  // The driver's text of the first failure since begin(); empty if none.
  const std::string& firstError() const { return firstError_; }

  // Replaces the connection by a new one (throws odbc::OdbcError and keeps
  // the old one when that fails). Statements made on the old connection
  // stop working; their owners notice through generation().
  void reconnect();
  uint64_t generation() const { return generation_; }

 private:
  void setUp();
  std::string connStr_;
  bool readOnly_ = false;
  std::unique_ptr<odbc::Connection> conn_;
  Dialect dialect_;
  TextCodec codec_;
  bool inTx_ = false;
  std::string firstError_;
  uint64_t generation_ = 0;
};

// A database failure's text as one message line: the driver's words whole,
// line breaks folded into blanks.
std::string failureText(const std::exception& e);

// Bound buffers for a range of a table's columns over `rows` rows, used as
// parameter arrays (column-wise) or as result columns.
class RowBuffer {
 public:
  RowBuffer(Database& db, const TableDef& t, size_t firstColumn, size_t endColumn, size_t rows);
  size_t rows() const { return rows_; }
  size_t columns() const { return cols_.size(); }

  void bindParameters(odbc::Statement& s, SQLUSMALLINT firstParam = 1);
  // Binds rows 0..rows-1 as one statement's parameters, row after row
  // (a multi-row INSERT ... VALUES (...), (...)).
  void bindParametersRowByRow(odbc::Statement& s, size_t rows);
  void bindColumns(odbc::Statement& s, SQLUSMALLINT firstColumn = 1);

  // Column c (counted within this buffer) of a row as a bindable value.
  SqlValue value(size_t c, size_t row) const;

  template <class Row>
  void put(size_t row, const Row& r) {
    assert(row < rows_);
    size_t c = 0;
    forEachField(const_cast<Row&>(r), [&](auto& f) {
      if (c >= first_ && c < first_ + cols_.size()) putField(c - first_, row, f);
      ++c;
    });
  }
  template <class Row>
  void get(size_t row, Row& r) const {
    size_t c = 0;
    forEachField(r, [&](auto& f) {
      if (c >= first_ && c < first_ + cols_.size()) getField(c - first_, row, f);
      ++c;
    });
  }

 private:
  void bindOne(odbc::Statement& s, SQLUSMALLINT n, size_t c, size_t row);
  struct Col {
    ColType type;
    size_t width;
    size_t slot;  // bytes per row
    std::vector<unsigned char> data;
    std::vector<SQLLEN> ind;
  };
  void putField(size_t c, size_t row, int32_t v);
  void putField(size_t c, size_t row, uint32_t v) { putField(c, row, static_cast<int32_t>(v)); }
  void putField(size_t c, size_t row, double v);
  void putField(size_t c, size_t row, bool v);
  void putField(size_t c, size_t row, const std::string& v);
  void putField(size_t c, size_t row, const DateTime& v);
  void getField(size_t c, size_t row, int32_t& v) const;
  void getField(size_t c, size_t row, uint32_t& v) const {
    int32_t s = 0;
    getField(c, row, s);
    v = static_cast<uint32_t>(s);
  }
  void getField(size_t c, size_t row, double& v) const;
  void getField(size_t c, size_t row, bool& v) const;
  void getField(size_t c, size_t row, std::string& v) const;
  void getField(size_t c, size_t row, DateTime& v) const;

  Database& db_;
  size_t first_;
  size_t rows_;
  std::vector<Col> cols_;
  mutable std::string scratch_;
};

// Parameters of a rendered condition, kept alive while the statement runs.
class ValueBinder {
 public:
  explicit ValueBinder(Database& db) : db_(db) {}
  void bind(odbc::Statement& s, const std::vector<SqlValue>& values, SQLUSMALLINT firstParam = 1);

 private:
  struct Slot {
    int64_t i = 0;
    double d = 0;
    std::vector<unsigned char> bytes;
    SQL_TIMESTAMP_STRUCT ts{};
    SQLLEN ind = 0;
  };
  Database& db_;
  std::vector<std::unique_ptr<Slot>> slots_;
};

// A recordset over one table: open with a filter and a sort,
// read forward row by row (streaming), add, update and delete by key. Each
// operation issues its own statement. Operations return false on a database
// error and keep its text in error().
template <class Row>
class Recordset {
 public:
  explicit Recordset(Database& db, const TableDef& table = tableOf<Row>()) : db_(db), table_(table) {}

  bool open(const Condition& filter = {}, const Sort& sort = {});
  // The next row; false at the end or on an error (then error() is set).
  bool next(Row& out);
  bool isOpen() const { return select_ != nullptr; }
  void close() {
    select_.reset();
    selectBuf_.reset();
    selectValues_.reset();
  }
  // INSERT; the row's key is set from the database.
  bool add(Row& row);
  // UPDATE ... WHERE key = row's key.
  bool update(const Row& row);
  bool remove(int32_t key);
  // The row with that key, or nothing.
  std::optional<Row> find(int32_t key);

  const std::string& error() const { return error_; }
  Database& database() { return db_; }
  const TableDef& table() const { return table_; }

  // Statement texts (explicit column lists, '?' placeholders).
  std::string selectSql(const Condition& filter, const Sort& sort, std::vector<SqlValue>& params) const;

  // Rows per page when reading SQLite in pages (see open()).
  static constexpr size_t kPageRows = 1000;

 private:
  // Neither driver streams a result on its own: SQLite's reads every result
  // with parameters, or inside a transaction, whole into memory before the
  // first fetch, and psqlODBC does the same unless it runs each query as a
  // server cursor (UseDeclareFetch), which costs extra round trips on every
  // small lookup. So a recordset reads in pages of kPageRows rows, each
  // continuing after the last row read (keyset paging over the sort
  // columns and the key), when the sort is by plain columns in one
  // direction; any other sort runs as one query.
  struct Paging {
    bool on = false;
    std::vector<size_t> cols;  // sort columns (indexes into the table)
    bool desc = false;
    bool nullPhase = false;  // a single DATE sort column: its NULL rows are read in a phase of their own
    int phase = 0;           // 0 / 1: see runPage()
    size_t inPage = 0;
    bool haveLast = false;
    std::vector<SqlValue> last;  // sort column values, then the key, of the last row read
  };
  bool planPaging(const Sort& sort);
  void runPage();
  Paging paging_;
  Condition filter_;
  bool failed(const std::exception& e) {
    error_ = e.what();
    return false;
  }
  Database& db_;
  const TableDef& table_;
  std::string error_;
  std::unique_ptr<odbc::Statement> select_;
  std::unique_ptr<RowBuffer> selectBuf_;
  std::unique_ptr<ValueBinder> selectValues_;
  std::unique_ptr<odbc::Statement> insert_, update_, delete_;
  std::unique_ptr<RowBuffer> insertBuf_, updateBuf_;
  SQLINTEGER deleteKey_ = 0, returnedKey_ = 0;
  SQLLEN deleteInd_ = 0, returnedInd_ = 0;
};

using DrptCset = Recordset<CmdrRecord>;
using DrptPset = Recordset<UserRecord>;
using DrptMset = Recordset<MonitorRow>;
using DrptRset = Recordset<RouteRecord>;
using DrptTset = Recordset<TemplateRecord>;
using DrptVset = Recordset<VoiceRecord>;
using DrptXset = Recordset<OlderCmdrRecord>;

// Bulk insert: rows are buffered and sent `batch` at a time. Two ways to
// send them, chosen per engine by measurement (bench/store_bench.cpp):
//  - ParamArray: one INSERT with column-wise parameter arrays
//    (SQL_ATTR_PARAMSET_SIZE = batch), one SQLExecute per batch;
//  - MultiRow: one INSERT ... VALUES (...), (...) of `batch` rows whose
//    parameters are bound row after row, one SQLExecute per batch.
// Call flush() at the end; run it inside a transaction for speed.
template <class Row>
class BulkInserter {
 public:
  enum class Mode { Auto, ParamArray, MultiRow };
  BulkInserter(Database& db, size_t batch = 512, const TableDef& table = tableOf<Row>(), Mode mode = Mode::Auto);
  // Throws odbc::OdbcError on a database error.
  void add(const Row& row);
  void flush();
  size_t inserted() const { return inserted_; }
  // The rows one execution sends: add() executes when that many are buffered.
  size_t capacity() const { return batch_; }
  Mode mode() const { return mode_; }

 private:
  Database& db_;
  const TableDef& table_;
  size_t batch_;
  Mode mode_;
  size_t pending_ = 0;
  size_t inserted_ = 0;
  std::unique_ptr<odbc::Statement> stmt_;
  std::unique_ptr<RowBuffer> buf_;
  std::map<size_t, std::unique_ptr<odbc::Statement>> tails_;  // MultiRow: by short batch size
};

// INSERT INTO t (non-key columns) VALUES (?, ...) [, (?, ...) for rows > 1]
std::string insertSql(const TableDef& t, size_t rows = 1);
// UPDATE t SET c = ?, ... WHERE key = ?
std::string updateSql(const TableDef& t);
std::string columnList(const TableDef& t, size_t first = 0);

}  // namespace lumarc::store

#include "lumarc/store/database_impl.h"
