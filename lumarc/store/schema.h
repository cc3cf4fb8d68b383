// The program's tables as data, the per-engine dialect that renders
// them, and structured filter conditions rendered per dialect with bound
// values.
#pragma once

#include "lumarc/records/records.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lumarc::store {

enum class ColType { Counter, Long, Text, Date, Float, Bit, Short /* 16-bit, older table only */ };

struct ColumnDef {
  const char* name;
  ColType type;
  size_t width;  // TEXT(n); 0 otherwise
};

struct IndexDef {
  const char* name;    // unique per database: <Table>_<column>
  const char* column;  // one column, or several separated by ", "
};

struct TableDef {
  const char* name;
  std::vector<ColumnDef> columns;  // columns[0] is the COUNTER key
  std::vector<IndexDef> indexes;   // besides the primary key
  const char* key() const { return columns.front().name; }
};

const TableDef& cdataTable();
const TableDef& pdataTable();
const TableDef& mdataTable();
const TableDef& routTable();
const TableDef& tmpl03Table();
const TableDef& vdata00Table();
const TableDef& olderCdataTable();  // the older program's Cdata (read only)
// The alarms raised on call records, and the one row that holds the last
// Cdata sqno evaluated (lumarc/alarms); made beside the main tables.
const TableDef& alarmTable();
const TableDef& alarmMarkTable();
std::vector<const TableDef*> alarmTables();

// The tables of the main database in creation order, and of the voice database.
std::vector<const TableDef*> mainTables();
std::vector<const TableDef*> voiceTables();

enum class Engine { Sqlite, Postgres, Access /* mdbtools, read only */, Other };

// Renders the schema and the expressions the selection filters need.
class Dialect {
 public:
  explicit Dialect(Engine e) : engine_(e) {}
  Engine engine() const { return engine_; }

  std::string columnType(const ColumnDef& c) const;
  std::string createTable(const TableDef& t) const;                 // CREATE TABLE IF NOT EXISTS ...
  std::vector<std::string> createIndexes(const TableDef& t) const;  // CREATE INDEX IF NOT EXISTS ...

  // Integer parts of a timestamp column expression, and the first n
  // characters of a text expression.
  std::string year(const std::string& x) const { return datePart("Y", "YEAR", x); }
  std::string month(const std::string& x) const { return datePart("m", "MONTH", x); }
  std::string day(const std::string& x) const { return datePart("d", "DAY", x); }
  std::string hour(const std::string& x) const { return datePart("H", "HOUR", x); }
  std::string minute(const std::string& x) const { return datePart("M", "MINUTE", x); }
  std::string left(const std::string& x, int n) const;
  // Case-insensitive sort key of a text expression (name sorts of the users and definition views).
  std::string caseless(const std::string& x) const;

  // How values travel: texts as UTF-16 (SQL_C_WCHAR) or as UTF-8
  // (SQL_C_CHAR); dates as 'YYYY-MM-DD HH:MM:SS' text or a timestamp struct.
  bool wideText() const { return engine_ == Engine::Postgres; }
  bool dateAsText() const { return engine_ != Engine::Postgres; }

  // Put before INSERT, UPDATE and DELETE statements that are prepared once
  // and executed many times. The SQLite ODBC driver keeps a compiled
  // statement only for statements that read as queries; any other statement
  // it compiles anew at every execution and for every parameter set, which
  // halves bulk insert speed. A (no-op) common table expression makes the
  // statement read as a query to the driver, and SQLite accepts
  // "WITH ... INSERT/UPDATE/DELETE". Empty for the other engines.
  // " INDEXED BY name" in SQLite (after a table name in FROM), else empty.
  std::string indexHint(const std::string& index) const {
    return engine_ == Engine::Sqlite ? " INDEXED BY " + index : std::string();
  }
  // A column compared so that no index of it is used (PostgreSQL has no
  // index hints): "(x || '')" there, the column itself in SQLite.
  std::string withoutIndex(const std::string& x) const { return engine_ == Engine::Postgres ? "(" + x + " || '')" : x; }
  std::string statementPrefix() const { return engine_ == Engine::Sqlite ? "WITH unused_cte(x) AS (SELECT 1) " : ""; }

 private:
  std::string datePart(const char* sqliteFmt, const char* pgField, const std::string& x) const;
  Engine engine_;
};

// True for names made of letters, digits and '_' that start with a letter
// or '_': the only text that ever goes into statement text besides the
// program's own fragments.
bool isIdentifier(std::string_view name);

// A value bound to a statement parameter. Texts are 8-bit program text.
using SqlValue = std::variant<int64_t, double, std::string, DateTime>;

// An expression over one column: the column itself, a part of a timestamp,
// the first n characters of a text, or its case-insensitive form.
class Expr {
 public:
  enum class Kind { Column, Year, Month, Day, Hour, Minute, Left, Caseless };
  static Expr column(std::string name) { return Expr(Kind::Column, std::move(name)); }
  static Expr year(std::string c) { return Expr(Kind::Year, std::move(c)); }
  static Expr month(std::string c) { return Expr(Kind::Month, std::move(c)); }
  static Expr day(std::string c) { return Expr(Kind::Day, std::move(c)); }
  static Expr hour(std::string c) { return Expr(Kind::Hour, std::move(c)); }
  static Expr minute(std::string c) { return Expr(Kind::Minute, std::move(c)); }
  static Expr left(std::string c, int n) { return Expr(Kind::Left, std::move(c), n); }
  static Expr caseless(std::string c) { return Expr(Kind::Caseless, std::move(c)); }
  // Throws std::invalid_argument when the column is not an identifier.
  std::string render(const Dialect& d) const;
  Kind kind() const { return kind_; }
  const std::string& columnName() const { return column_; }

 private:
  Expr(Kind k, std::string c, int n = 0) : kind_(k), column_(std::move(c)), n_(n) {}
  Kind kind_;
  std::string column_;
  int n_;
};

// A filter condition: comparisons of expressions with bound values,
// combined with AND / OR / NOT. An empty condition selects every row.
class Condition {
 public:
  enum class Op { Eq, Ne, Lt, Le, Gt, Ge };
  Condition() = default;
  static Condition compare(Expr e, Op op, SqlValue v);
  static Condition eq(std::string column, SqlValue v) {
    return compare(Expr::column(std::move(column)), Op::Eq, std::move(v));
  }
  static Condition all(std::vector<Condition> parts);  // AND
  static Condition any(std::vector<Condition> parts);  // OR
  static Condition negate(Condition c);
  // BIT column tests, only "= 0" / "<> 0".
  static Condition isSet(std::string column);
  static Condition isClear(std::string column);
  // No row.
  static Condition none();

  bool empty() const { return kind_ == Kind::Empty; }
  // Appends the rendered condition to sql and its values to params.
  void render(const Dialect& d, std::string& sql, std::vector<SqlValue>& params) const;

 private:
  enum class Kind { Empty, Compare, All, Any, Not, BitSet, BitClear, Nothing };
  Kind kind_ = Kind::Empty;
  std::vector<Expr> expr_;
  Op op_ = Op::Eq;
  std::vector<SqlValue> value_;
  std::vector<Condition> parts_;
  std::string column_;
};

// ORDER BY items: expressions with a direction.
struct SortKey {
  Expr expr;
  bool descending = false;
};
using Sort = std::vector<SortKey>;
inline Sort sortBy(std::string column, bool descending = false) {
  return Sort{SortKey{Expr::column(std::move(column)), descending}};
}

}  // namespace lumarc::store
