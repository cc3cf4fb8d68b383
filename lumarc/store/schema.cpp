#include "lumarc/store/schema.h"

#include <cstdio>
#include <stdexcept>

namespace lumarc::store {

// clang-format off
namespace {
constexpr ColType C = ColType::Counter, L = ColType::Long, T = ColType::Text, D = ColType::Date,
                  F = ColType::Float, B = ColType::Bit, S = ColType::Short;
}

const TableDef& cdataTable() {
  static const TableDef t{"Cdata",
                          {{"sqno", C, 0},    {"type", T, 1},     {"tdate", D, 0},   {"duration", L, 0},
                           {"cport", T, 8},   {"pport", T, 8},    {"uport", T, 8},   {"rdata", T, 32},
                           {"xdata", T, 32},  {"cdata", T, 32},   {"rpuls", L, 0},   {"ppuls", L, 0},
                           {"crefa", L, 0},   {"crefb", L, 0},    {"crefc", L, 0},   {"flags", L, 0},
                           {"flagt", L, 0},   {"flagu", L, 0},    {"ipadr", L, 0},   {"Xid", T, 16}},
                          {{"Cdata_tdate", "tdate"}, {"Cdata_cport", "cport, tdate"}}};
  return t;
}

const TableDef& pdataTable() {
  static const TableDef t{"Pdata",
                          {{"sqno", C, 0},  {"cport", T, 8},  {"name", T, 20}, {"surn", T, 20}, {"dept", T, 16},
                           {"sect", T, 16}, {"titl", T, 16},  {"cmnt", T, 32}, {"flag", L, 0},  {"pra0", L, 0},
                           {"ppa0", L, 0},  {"pra1", L, 0},   {"ppa1", L, 0},  {"pra2", L, 0},  {"ppa2", L, 0},
                           {"pra3", L, 0},  {"ppa3", L, 0},   {"prc", L, 0},   {"ppc", L, 0},   {"Xid", T, 16},
                           {"Slct", B, 0}},
                          {{"Pdata_cport", "cport"}}};
  return t;
}

const TableDef& mdataTable() {
  static const TableDef t{"Mdata",
                          {{"sqno", C, 0},
                           {"type", L, 0},
                           {"hpidx", L, 0},
                           {"ptyp", L, 0},
                           {"dir", L, 0},
                           {"tdate", D, 0},
                           {"cport", T, 9},
                           {"pport", T, 9},
                           {"ind", L, 0},
                           {"datl", L, 0},
                           {"dlen", L, 0},
                           {"datb", T, 193},
                           {"dlps", L, 0},
                           {"xnam", T, 9}},
                          {}};
  return t;
}

const TableDef& routTable() {
  static const TableDef t{"Rout",
                          {{"RSno", C, 0},
                           {"RFlag", L, 0},
                           {"RType", L, 0},
                           {"RName", T, 8},
                           {"RDgts", T, 16},
                           {"RCmnt", T, 32},
                           {"Ackd", B, 0},
                           {"Slct", B, 0}},
                          {}};
  return t;
}

const TableDef& tmpl03Table() {
  static const TableDef t{"Tmpl03",
                          {{"TSno", C, 0},     {"TFlag", L, 0},    {"TRect", L, 0},    {"TName", T, 32},
                           {"TDrtn", L, 0},    {"TPrce", F, 0},    {"TPunt", T, 8},    {"TUprt", T, 8},
                           {"TStr", D, 0},     {"TEnd", D, 0},     {"TMid", D, 0},     {"TMad", D, 0},
                           {"TDnam", T, 8},    {"TCnam", T, 8},    {"TPmie", L, 0},    {"TPmae", L, 0},
                           {"TPmii", L, 0},    {"TPmai", L, 0},    {"TTlic", L, 0},    {"TTlog", L, 0},
                           {"TStar", L, 0},    {"TRpfm", L, 0},    {"TRplc", L, 0},    {"TAckf", L, 0},
                           {"TLtyp", L, 0},    {"Tuackd", L, 0},   {"Tucamr", F, 0},   {"Tucamp", F, 0},
                           {"Tpuport", T, 8},  {"Tddgts", T, 16},  {"Tcdgts", T, 16},  {"Tdept", T, 16},
                           {"Tsect", T, 16},   {"TLstr", T, 16},   {"ipadr", L, 0},    {"vrdir", L, 0}},
                          {}};
  return t;
}

const TableDef& vdata00Table() {
  static const TableDef t{"Vdata00",
                          {{"sqno", C, 0},
                           {"rcdport", T, 8},
                           {"rcddate", L, 0},
                           {"rcdtime", L, 0},
                           {"rcdtype", T, 1},
                           {"duration", L, 0},
                           {"rcddsq", T, 16},
                           {"rcdrcv", T, 16},
                           {"rcdcni", T, 16},
                           {"cref", L, 0},
                           {"Xid", T, 16},
                           {"rcdfn", T, 1024},
                           {"rcdfx", T, 8},
                           {"Drog", B, 0},
                           {"Wavu", B, 0},
                           {"ipadr", L, 0}},
                          {}};
  return t;
}

const TableDef& olderCdataTable() {
  // Widths of the older program's texts are not given; these are generous
  // read buffers (and the widths of the SQLite test files).
  static const TableDef t{"Cdata",
                          {{"sqno", C, 0},    {"type", T, 8},    {"tdate", D, 0},  {"duration", L, 0},
                           {"cport", T, 16},  {"pport", T, 16},  {"uport", T, 16}, {"rdata", T, 64},
                           {"xdata", T, 64},  {"cdata", T, 64},  {"rpuls", L, 0},  {"ppuls", L, 0},
                           {"info", S, 0},    {"cref", S, 0},    {"dlps", L, 0},   {"xnam", T, 16},
                           {"flags", L, 0}},
                          {}};
  return t;
}

const TableDef& alarmTable() {
  static const TableDef t{"Alarm",
                          {{"sqno", C, 0},    {"adate", D, 0},    {"rule", T, 64},   {"sever", T, 8},
                           {"cport", T, 8},   {"rkey", L, 0},     {"atext", T, 255}},
                          {{"Alarm_rule", "rule"}}};
  return t;
}

const TableDef& alarmMarkTable() {
  static const TableDef t{"AlarmMark", {{"sqno", C, 0}, {"lastsq", L, 0}}, {}};
  return t;
}

// clang-format on

std::vector<const TableDef*> alarmTables() { return {&alarmTable(), &alarmMarkTable()}; }

std::vector<const TableDef*> mainTables() {
  return {&cdataTable(), &mdataTable(), &pdataTable(), &routTable(), &tmpl03Table()};
}
std::vector<const TableDef*> voiceTables() { return {&vdata00Table()}; }

std::string Dialect::columnType(const ColumnDef& c) const {
  const bool pg = engine_ == Engine::Postgres;
  switch (c.type) {
    case ColType::Counter:
      return pg ? "INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT";
    case ColType::Long: return "INTEGER NOT NULL DEFAULT 0";
    case ColType::Short: return "SMALLINT NOT NULL DEFAULT 0";
    case ColType::Text: return "VARCHAR(" + std::to_string(c.width) + ") NOT NULL DEFAULT ''";
    case ColType::Date: return pg ? "TIMESTAMP(0) WITHOUT TIME ZONE" : "TIMESTAMP";
    case ColType::Float: return pg ? "DOUBLE PRECISION NOT NULL DEFAULT 0" : "DOUBLE NOT NULL DEFAULT 0";
    case ColType::Bit: return "SMALLINT NOT NULL DEFAULT 0";
  }
  return {};
}

std::string Dialect::createTable(const TableDef& t) const {
  std::string s = "CREATE TABLE IF NOT EXISTS ";
  s += t.name;
  s += " (";
  bool first = true;
  for (const ColumnDef& c : t.columns) {
    if (!first) s += ", ";
    first = false;
    s += c.name;
    s += ' ';
    s += columnType(c);
  }
  s += ")";
  return s;
}

std::vector<std::string> Dialect::createIndexes(const TableDef& t) const {
  std::vector<std::string> v;
  for (const IndexDef& i : t.indexes)
    v.push_back(std::string("CREATE INDEX IF NOT EXISTS ") + i.name + " ON " + t.name + " (" + i.column + ")");
  return v;
}

std::string Dialect::datePart(const char* sqliteFmt, const char* pgField, const std::string& x) const {
  if (engine_ == Engine::Postgres) return std::string("CAST(EXTRACT(") + pgField + " FROM " + x + ") AS INTEGER)";
  return std::string("CAST(strftime('%") + sqliteFmt + "', " + x + ") AS INTEGER)";
}

std::string Dialect::left(const std::string& x, int n) const {
  if (engine_ == Engine::Postgres) return "left(" + x + ", " + std::to_string(n) + ")";
  return "substr(" + x + ", 1, " + std::to_string(n) + ")";
}

std::string Dialect::caseless(const std::string& x) const {
  if (engine_ == Engine::Postgres) return "lower(" + x + ")";
  return x + " COLLATE NOCASE";
}

bool isIdentifier(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

std::string Expr::render(const Dialect& d) const {
  if (!isIdentifier(column_)) throw std::invalid_argument("not a column name: " + column_);
  switch (kind_) {
    case Kind::Column: return column_;
    case Kind::Year: return d.year(column_);
    case Kind::Month: return d.month(column_);
    case Kind::Day: return d.day(column_);
    case Kind::Hour: return d.hour(column_);
    case Kind::Minute: return d.minute(column_);
    case Kind::Left: return d.left(column_, n_ < 0 ? 0 : n_);
    case Kind::Caseless: return d.caseless(column_);
  }
  return column_;
}

Condition Condition::compare(Expr e, Op op, SqlValue v) {
  Condition c;
  c.kind_ = Kind::Compare;
  c.expr_.push_back(std::move(e));
  c.op_ = op;
  c.value_.push_back(std::move(v));
  return c;
}

Condition Condition::all(std::vector<Condition> parts) {
  Condition c;
  c.kind_ = Kind::All;
  for (auto& p : parts)
    if (!p.empty()) c.parts_.push_back(std::move(p));
  if (c.parts_.empty()) return Condition();
  if (c.parts_.size() == 1) return std::move(c.parts_.front());
  return c;
}

Condition Condition::any(std::vector<Condition> parts) {
  Condition c;
  c.kind_ = Kind::Any;
  for (auto& p : parts) {
    if (p.empty()) return Condition();  // "any row" absorbs the rest
    c.parts_.push_back(std::move(p));
  }
  if (c.parts_.empty()) return none();
  if (c.parts_.size() == 1) return std::move(c.parts_.front());
  return c;
}

Condition Condition::negate(Condition inner) {
  if (inner.empty()) return none();
  Condition c;
  c.kind_ = Kind::Not;
  c.parts_.push_back(std::move(inner));
  return c;
}

Condition Condition::isSet(std::string column) {
  Condition c;
  c.kind_ = Kind::BitSet;
  c.column_ = std::move(column);
  return c;
}

Condition Condition::isClear(std::string column) {
  Condition c;
  c.kind_ = Kind::BitClear;
  c.column_ = std::move(column);
  return c;
}

Condition Condition::none() {
  Condition c;
  c.kind_ = Kind::Nothing;
  return c;
}

void Condition::render(const Dialect& d, std::string& sql, std::vector<SqlValue>& params) const {
  switch (kind_) {
    case Kind::Empty: sql += "1 = 1"; return;
    case Kind::Nothing: sql += "1 = 0"; return;
    case Kind::Compare: {
      static const char* ops[] = {" = ", " <> ", " < ", " <= ", " > ", " >= "};
      sql += expr_.front().render(d);
      sql += ops[static_cast<int>(op_)];
      sql += '?';
      params.push_back(value_.front());
      return;
    }
    case Kind::All:
    case Kind::Any: {
      sql += '(';
      for (size_t i = 0; i < parts_.size(); ++i) {
        if (i) sql += kind_ == Kind::All ? " AND " : " OR ";
        parts_[i].render(d, sql, params);
      }
      sql += ')';
      return;
    }
    case Kind::Not:
      sql += "NOT (";
      parts_.front().render(d, sql, params);
      sql += ')';
      return;
    case Kind::BitSet:
    case Kind::BitClear:
      if (!isIdentifier(column_)) throw std::invalid_argument("not a column name: " + column_);
      sql += column_;
      sql += kind_ == Kind::BitSet ? " <> 0" : " = 0";
      return;
  }
}

}  // namespace lumarc::store
