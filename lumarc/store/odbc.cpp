#include "lumarc/store/odbc.h"

#include "common/fault_seam.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace lumarc::odbc {

std::string diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, std::string* firstState, int* firstNative) {
  std::string text;
  if (handle == SQL_NULL_HANDLE) return text;
  for (SQLSMALLINT i = 1; i <= 10; ++i) {
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR msg[1024] = {0};
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(handleType, handle, i, state, &native, msg, sizeof msg, &len);
    if (!ok(rc)) break;
    if (i == 1 && firstState) *firstState = reinterpret_cast<char*>(state);
    if (i == 1 && firstNative) *firstNative = static_cast<int>(native);
    if (!text.empty()) text += "; ";
    text += "[";
    text += reinterpret_cast<char*>(state);
    text += "] ";
    text += reinterpret_cast<char*>(msg);
  }
  return text;
}

void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* what) {
  if (ok(rc)) return;
  std::string state;
  int native = 0;
  std::string diag = diagnostics(handleType, handle, &state, &native);
  std::string text = what;
  if (rc == SQL_INVALID_HANDLE) text += ": invalid handle";
  if (!diag.empty()) text += ": " + diag;
  throw OdbcError(text, state, native, diag);
}

namespace {

OdbcError injectedError(const char* what, const corvane::fault::Injected& f) {
  std::string diag = "[" + f.sqlState + "] " + f.message;
  return OdbcError(std::string(what) + ": " + diag, f.sqlState, f.native, diag);
}

}  // namespace

Environment::Environment() {
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  if (!ok(rc)) throw OdbcError("ODBC environment could not be allocated");
  rc = SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  check(rc, SQL_HANDLE_ENV, env_, "SQLSetEnvAttr(ODBC_VERSION)");
}

Environment::~Environment() {
  if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::shared_ptr<Environment> Environment::shared() {
  static std::mutex m;
  static std::weak_ptr<Environment> w;
  std::lock_guard<std::mutex> lock(m);
  auto e = w.lock();
  if (!e) {
    e = std::make_shared<Environment>();
    w = e;
  }
  return e;
}

Connection::Connection(const std::string& connectionString) : env_(Environment::shared()) {
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, env_->handle(), &dbc_);
  check(rc, SQL_HANDLE_ENV, env_->handle(), "SQLAllocHandle(DBC)");
  SQLCHAR out[2048];
  SQLSMALLINT outLen = 0;
  // clang-format off
  rc = SQLDriverConnect(dbc_, nullptr,
                        reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())), SQL_NTS, out,
                        sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
  // clang-format on
  if (!ok(rc)) {
    std::string state;
    int native = 0;
    std::string diag = diagnostics(SQL_HANDLE_DBC, dbc_, &state, &native);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = SQL_NULL_HDBC;
    throw OdbcError("connect failed" + (diag.empty() ? std::string() : ": " + diag), state, native, diag);
  }
  connected_ = true;
}

Connection::~Connection() {
  for (Statement* s : statements_) {
    if (s->stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, s->stmt_);
    s->stmt_ = SQL_NULL_HSTMT;
    s->conn_ = nullptr;
  }
  statements_.clear();
  if (dbc_ == SQL_NULL_HDBC) return;
  if (connected_) {
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLDisconnect(dbc_);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
}

static std::string infoText(SQLHDBC dbc, SQLUSMALLINT what) {
  char buf[256] = {0};
  SQLSMALLINT len = 0;
  if (!ok(SQLGetInfo(dbc, what, buf, sizeof buf, &len))) return {};
  return buf;
}

std::string Connection::driverName() const { return infoText(dbc_, SQL_DRIVER_NAME); }
std::string Connection::dbmsName() const { return infoText(dbc_, SQL_DBMS_NAME); }

void Connection::setAutocommit(bool on) {
  SQLRETURN rc = SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
  check(rc, SQL_HANDLE_DBC, dbc_, "SQLSetConnectAttr(AUTOCOMMIT)");
}

void Connection::commit() {
  if (auto f = corvane::fault::hit(corvane::fault::Point::Commit)) {
    // The transaction is gone, as after a real failed commit.
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    throw injectedError("commit", *f);
  }
  check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "commit");
}
void Connection::rollback() { check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK), SQL_HANDLE_DBC, dbc_, "rollback"); }

void Connection::execute(const std::string& sql) {
  Statement s(*this);
  s.executeDirect(sql);
}

bool Connection::tryExecute(const std::string& sql) {
  SQLHSTMT s = SQL_NULL_HSTMT;
  if (!ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s))) return false;
  SQLRETURN rc = SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
  return ok(rc) || rc == SQL_NO_DATA;
}

Statement::Statement(Connection& c) : conn_(&c) {
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, c.handle(), &stmt_);
  check(rc, SQL_HANDLE_DBC, c.handle(), "SQLAllocHandle(STMT)");
  c.statements_.push_back(this);
}

Statement::~Statement() {
  if (conn_) {
    auto& v = conn_->statements_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

void Statement::fail(const char* what, SQLRETURN rc) {
  std::string state;
  int native = 0;
  std::string diag = diagnostics(SQL_HANDLE_STMT, stmt_, &state, &native);
  std::string text = what;
  if (rc == SQL_INVALID_HANDLE) text += ": invalid handle";
  if (!diag.empty()) text += ": " + diag;
  if (!sql_.empty()) text += " (in: " + sql_.substr(0, 200) + ")";
  throw OdbcError(text, state, native, diag);
}

void Statement::requireUsable(const char* what) const {
  if (stmt_ == SQL_NULL_HSTMT)
    throw OdbcError(std::string(what) + ": the connection was closed", "08003", 0, "[08003] the connection was closed");
}

void Statement::injectedFault(const char* what, const std::string& sql) {
  auto f = corvane::fault::hit(corvane::fault::Point::Statement, sql);
  if (!f) return;
  if (f->endsTransaction && conn_) {
    // The database drops the whole transaction behind the driver's back,
    // as SQLite does when the disk is full.
    SQLHSTMT s = SQL_NULL_HSTMT;
    if (ok(SQLAllocHandle(SQL_HANDLE_STMT, conn_->handle(), &s))) {
      SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>("ROLLBACK")), SQL_NTS);
      SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
  }
  throw injectedError(what, *f);
}

void Statement::prepare(const std::string& sql) {
  requireUsable("prepare failed");
  sql_ = sql;
  SQLRETURN rc = SQLPrepare(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  if (!ok(rc)) fail("prepare failed", rc);
}

void Statement::execute() {
  requireUsable("execute failed");
  injectedFault("execute failed", sql_);
  SQLRETURN rc = SQLExecute(stmt_);
  if (rc == SQL_NO_DATA) return;  // searched UPDATE/DELETE that touched no row
  if (!ok(rc)) fail("execute failed", rc);
}

void Statement::executeDirect(const std::string& sql) {
  requireUsable("execute failed");
  injectedFault("execute failed", sql);
  sql_ = sql;
  SQLRETURN rc = SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  if (rc == SQL_NO_DATA) return;
  if (!ok(rc)) fail("execute failed", rc);
}

bool Statement::fetch() {
  requireUsable("fetch failed");
  SQLRETURN rc = SQLFetch(stmt_);
  if (rc == SQL_NO_DATA) return false;
  if (!ok(rc)) fail("fetch failed", rc);
  return true;
}

void Statement::closeCursor() {
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeStmt(stmt_, SQL_CLOSE);
}
void Statement::resetParams() {
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
}
void Statement::unbindColumns() {
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeStmt(stmt_, SQL_UNBIND);
}

SQLLEN Statement::rowCount() {
  SQLLEN n = 0;
  SQLRETURN rc = SQLRowCount(stmt_, &n);
  if (!ok(rc)) fail("SQLRowCount failed", rc);
  return n;
}

void Statement::bindParameter(SQLUSMALLINT n, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize,
                              SQLSMALLINT digits, SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) {
  SQLRETURN rc =
      SQLBindParameter(stmt_, n, SQL_PARAM_INPUT, cType, sqlType, columnSize, digits, value, bufferLength, indicator);
  if (!ok(rc)) fail("SQLBindParameter failed", rc);
}

void Statement::bindColumn(SQLUSMALLINT n, SQLSMALLINT cType, SQLPOINTER value, SQLLEN bufferLength,
                           SQLLEN* indicator) {
  SQLRETURN rc = SQLBindCol(stmt_, n, cType, value, bufferLength, indicator);
  if (!ok(rc)) fail("SQLBindCol failed", rc);
}

void Statement::setParamsetSize(SQLULEN size) {
  SQLRETURN rc =
      SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
  if (!ok(rc)) fail("SQLSetStmtAttr(PARAM_BIND_TYPE) failed", rc);
  rc = SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(size), 0);
  if (!ok(rc)) fail("SQLSetStmtAttr(PARAMSET_SIZE) failed", rc);
}

void Statement::setRowArraySize(SQLULEN rows, SQLULEN* fetched) {
  SQLRETURN rc = SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
  if (!ok(rc)) fail("SQLSetStmtAttr(ROW_BIND_TYPE) failed", rc);
  rc = SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
  if (!ok(rc)) fail("SQLSetStmtAttr(ROW_ARRAY_SIZE) failed", rc);
  rc = SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, fetched, 0);
  if (!ok(rc)) fail("SQLSetStmtAttr(ROWS_FETCHED_PTR) failed", rc);
}

bool Statement::getText(SQLUSMALLINT n, std::string& out) {
  out.clear();
  char buf[1024];
  for (;;) {
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(stmt_, n, SQL_C_CHAR, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) return true;
    if (!ok(rc)) fail("SQLGetData failed", rc);
    if (ind == SQL_NULL_DATA) return false;
    if (rc == SQL_SUCCESS_WITH_INFO && (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf))) {
      out.append(buf, sizeof buf - 1);
      continue;
    }
    out.append(buf, static_cast<size_t>(ind));
    return true;
  }
}

bool Statement::getInt64(SQLUSMALLINT n, int64_t& out) {
  SQLBIGINT v = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLGetData(stmt_, n, SQL_C_SBIGINT, &v, 0, &ind);
  if (!ok(rc)) fail("SQLGetData failed", rc);
  if (ind == SQL_NULL_DATA) {
    out = 0;
    return false;
  }
  out = v;
  return true;
}

std::string quoteConnValue(const std::string& v) {
  bool need = v.find_first_of(";{}=") != std::string::npos || (!v.empty() && (v.front() == ' ' || v.back() == ' '));
  if (!need) return v;
  std::string q = "{";
  for (char c : v) {
    q += c;
    if (c == '}') q += '}';
  }
  q += '}';
  return q;
}

}  // namespace lumarc::odbc
