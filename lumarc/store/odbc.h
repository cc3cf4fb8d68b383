// A thin RAII layer over the unixODBC driver manager. The only place in the
// project that calls ODBC (sql.h / sqlext.h stay inside lumarc/store).
//
// Errors inside the store are OdbcError exceptions carrying the driver's
// diagnostics as readable text; the store's public operations catch them and
// report through return values and the message interface (failures
// are reported, never thrown across Parts).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <sql.h>
#include <sqlext.h>

namespace lumarc::odbc {

class OdbcError : public std::runtime_error {
 public:
  explicit OdbcError(const std::string& text, std::string sqlState = {}, int native = 0, std::string driverText = {})
      : std::runtime_error(text), sqlState_(std::move(sqlState)), native_(native), driverText_(std::move(driverText)) {}
  // The first diagnostic record's SQL state and native code.
  const std::string& sqlState() const { return sqlState_; }
  int native() const { return native_; }
  // The driver's own words ("[SQLSTATE] message; ..."), without the
  // operation or statement text; what() when there were none.
  std::string driverText() const { return driverText_.empty() ? std::string(what()) : driverText_; }

 private:
  std::string sqlState_;
  int native_ = 0;
  std::string driverText_;
};

// The diagnostic records of a handle as one readable text:
// "[SQLSTATE] message; [SQLSTATE] message".
std::string diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, std::string* firstState = nullptr,
                        int* firstNative = nullptr);
// Throws OdbcError with `what` and the handle's diagnostics unless rc succeeded.
void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* what);
inline bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// One environment handle (ODBC 3) per process, shared by every connection.
class Environment {
 public:
  static std::shared_ptr<Environment> shared();
  ~Environment();
  SQLHENV handle() const { return env_; }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  Environment();

 private:
  SQLHENV env_ = SQL_NULL_HENV;
};

class Statement;

class Connection {
 public:
  // Connects with a DSN-less connection string (SQLDriverConnect, no prompt).
  explicit Connection(const std::string& connectionString);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  SQLHDBC handle() const { return dbc_; }
  // The driver's file name (SQL_DRIVER_NAME), e.g. "libsqlite3odbc.so", "psqlodbcw.so".
  std::string driverName() const;
  std::string dbmsName() const;

  void setAutocommit(bool on);
  void commit();
  void rollback();
  // Executes one statement without parameters (DDL, pragmas).
  void execute(const std::string& sql);
  // Executes one statement and tells whether it succeeded; never throws and
  // is never a test fault (it probes the connection's state).
  bool tryExecute(const std::string& sql);

 private:
  friend class Statement;
  // The statements made on this connection: freed with it, after which
  // they refuse every call (their owners make new ones).
  std::vector<Statement*> statements_;
  std::shared_ptr<Environment> env_;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

// A statement handle. Prepare once, bind parameters (by position, from 1),
// execute many times; bind result columns by position and fetch.
class Statement {
 public:
  explicit Statement(Connection& c);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLHSTMT handle() const { return stmt_; }
  const std::string& sql() const { return sql_; }
  // False once its connection was closed.
  bool usable() const { return stmt_ != SQL_NULL_HSTMT; }

  void prepare(const std::string& sql);
  void execute();  // the prepared statement
  void executeDirect(const std::string& sql);
  // Next row into the bound columns; false at the end.
  bool fetch();
  void closeCursor();  // ends a result set, keeps the preparation
  void resetParams();
  void unbindColumns();
  SQLLEN rowCount();

  // clang-format off
  void bindParameter(SQLUSMALLINT n, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize,
                     SQLSMALLINT digits, SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator);
  // clang-format on
  void bindColumn(SQLUSMALLINT n, SQLSMALLINT cType, SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator);
  // Column-wise parameter arrays: the next execute() runs `size` parameter sets.
  void setParamsetSize(SQLULEN size);
  // Column-wise result arrays: each fetch() fills up to `rows` rows of the
  // bound columns and puts the count into *fetched.
  void setRowArraySize(SQLULEN rows, SQLULEN* fetched);

  // Reads column n of the current row as text (SQLGetData, unbound columns).
  bool getText(SQLUSMALLINT n, std::string& out);
  bool getInt64(SQLUSMALLINT n, int64_t& out);

 private:
  friend class Connection;
  [[noreturn]] void fail(const char* what, SQLRETURN rc);
  void injectedFault(const char* what, const std::string& sql);
  void requireUsable(const char* what) const;
  Connection* conn_ = nullptr;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  std::string sql_;
};

// A text connection-string value wrapped in braces when it holds ';' '{' '}'
// or blanks at its ends (ODBC's quoting rule).
std::string quoteConnValue(const std::string& v);

}  // namespace lumarc::odbc
