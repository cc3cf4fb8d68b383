#include "lumarc/browse/definitions.h"

#include "common/format.h"
#include "lumarc/texts/texts.h"

#include <algorithm>
#include <cassert>

namespace lumarc::browse {

namespace {

using store::Condition;
using store::Expr;
using store::Sort;
using store::SortKey;
using store::SqlValue;

// Column widths of the lists (those of the stored texts, except the name).
constexpr size_t kPortWidth = 8, kMarkWidth = 3, kCounterWidth = 10, kNameTextWidth = 40, kOrgWidth = 16,
                 kCommentWidth = 32;
constexpr size_t kDefNameWidth = 8, kAckWidth = 5, kDigitsWidth = 16;
// The part of a number the replacement keeps.
constexpr size_t kNumberWidth = 32;

// Appends text left-aligned in width: cut, or padded with blanks.
void field(std::string& line, std::string_view text, size_t width) {
  line.append(text.substr(0, width));
  if (text.size() < width) line.append(width - text.size(), ' ');
}

// Appends a count left-aligned in width; a longer number keeps its last digits.
void count(std::string& line, uint64_t value, size_t width) {
  if (value <= UINT32_MAX) {
    line += corvane::decimal(static_cast<uint32_t>(value), static_cast<int>(width), true);
    return;
  }
  const std::string digits = std::to_string(value);
  field(line, std::string_view(digits).substr(digits.size() > width ? digits.size() - width : 0), width);
}

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

void mark(std::string& line, bool set, size_t width) { field(line, set ? "*" : "", width); }

// One statement with bound values; the number of rows it changed.
int64_t run(store::Database& db, const std::string& sql, const std::vector<SqlValue>& values) {
  odbc::Statement s(db.connection());
  s.prepare(sql);
  store::ValueBinder binder(db);
  binder.bind(s, values);
  s.execute();
  return static_cast<int64_t>(s.rowCount());
}

std::string goneText(const char* what, int32_t key) {
  return std::string(what) + " " + std::to_string(key) + " no longer exists";
}

}  // namespace

// ---- Lines ----

uint64_t counterSum(const UserRecord& u) {
  uint64_t s = 0;
  for (uint32_t v : {u.pra0, u.ppa0, u.pra1, u.ppa1, u.pra2, u.ppa2, u.pra3, u.ppa3, u.prc, u.ppc}) s += v;
  return s;
}

std::string userLine(const UserRecord& u, int format) {
  assert(format == 0 || format == 1);
  std::string line;
  line.reserve(160);
  field(line, u.cport, kPortWidth);
  line += ' ';
  mark(line, u.Slct, kMarkWidth);
  line += ' ';
  count(line, counterSum(u), kCounterWidth);
  line += ' ';
  if (format == 0) {
    const std::string_view surname = trimRight(u.surn);
    std::string name;
    if (!surname.empty() || !trimRight(u.name).empty()) name = std::string(surname) + ", " + u.name;
    field(line, name, kNameTextWidth);
    line += ' ';
    field(line, u.titl, kOrgWidth);
    line += ' ';
    field(line, u.dept, kOrgWidth);
    line += ' ';
    field(line, u.sect, kOrgWidth);
    line += ' ';
    field(line, u.cmnt, kCommentWidth);
    return line;
  }
  const uint64_t classes[] = {uint64_t{u.pra0} + u.ppa0, uint64_t{u.pra1} + u.ppa1, uint64_t{u.pra2} + u.ppa2,
                              uint64_t{u.pra3} + u.ppa3, uint64_t{u.prc} + u.ppc};
  for (uint64_t c : classes) {
    count(line, c, kCounterWidth);
    line += ' ';
  }
  return line;
}

std::string definitionLine(const RouteRecord& r) {
  std::string line;
  line.reserve(72);
  field(line, r.RName, kDefNameWidth);
  line += ' ';
  mark(line, r.Slct, kMarkWidth);
  line += ' ';
  mark(line, r.Ackd, kAckWidth);
  line += ' ';
  field(line, r.RDgts, kDigitsWidth);
  line += ' ';
  field(line, r.RCmnt, kCommentWidth);
  line += ' ';
  return line;
}

std::string usersHeader1(const corvane::StringTable& texts, const std::tm& now) {
  return texts.text(kTextUserChargePulseCounters) + " " + corvane::formatDateTime(now);
}

std::string usersHeader2(const corvane::StringTable& texts, int format) {
  return texts.text(format == 0 ? kTextUserColumns : kTextUserCounterColumns);
}

std::string definitionsHeader(const corvane::StringTable& texts) { return texts.text(kTextDefinitionColumns); }

// ---- Lists ----

std::string listUsers(store::Database& db, int sort, const std::function<void(const UserRecord&)>& sink) {
  const SortKey surname{Expr::caseless("surn")}, name{Expr::caseless("name")}, port{Expr::column("cport")},
      key{Expr::column("sqno")};
  const Sort order = sort == 0 ? Sort{surname, name, port, key} : Sort{port, surname, name, key};
  store::DrptPset users(db);
  if (!users.open({}, order)) return users.error();
  UserRecord u;
  while (users.next(u)) sink(u);
  return users.error();
}

std::string listDefinitions(store::Database& db, int32_t type, int sort,
                            const std::function<void(const RouteRecord&)>& sink) {
  const SortKey name{Expr::caseless("RName")}, digits{Expr::column("RDgts")}, key{Expr::column("RSno")};
  const Sort order = sort == 1 ? Sort{name, digits, key} : Sort{digits, name, key};
  store::DrptRset defs(db);
  if (!defs.open(Condition::eq("RType", int64_t{type}), order)) return defs.error();
  RouteRecord r;
  while (defs.next(r)) sink(r);
  return defs.error();
}

// ---- Edits ----

SaveResult saveDefinition(store::Database& db, RouteRecord& row, std::string& error) {
  assert(row.RType == kDialledDigits || row.RType == kCallingNumber);
  error.clear();
  if (row.RDgts.empty()) return SaveResult::DigitsMissing;
  if (row.RDgts.find_first_not_of(kDefinitionDigits) != std::string::npos) return SaveResult::NotDigits;
  const auto& cols = store::routTable().columns;  // RSno, RFlag, RType, RName, RDgts, RCmnt, Ackd, Slct
  if (row.RName.size() > cols[3].width || row.RDgts.size() > cols[4].width || row.RCmnt.size() > cols[5].width)
    return SaveResult::TooLong;

  if (row.RSno != 0) {
    try {
      const int64_t changed = run(db, "UPDATE Rout SET RName = ?, RDgts = ?, RCmnt = ?, Ackd = ? WHERE RSno = ?",
                                  {row.RName, row.RDgts, row.RCmnt, int64_t{row.Ackd ? 1 : 0}, int64_t{row.RSno}});
      if (changed == 0) {
        error = goneText("Definition", row.RSno);
        return SaveResult::Failed;
      }
      return SaveResult::Saved;
    } catch (const std::exception& e) {
      error = store::failureText(e);
      return SaveResult::Failed;
    }
  }

  // The insert and the reading of its key are one transaction: a key that
  // cannot be read back must not leave a row the window does not know of.
  const bool own = !db.inTransaction();
  RouteRecord added = row;
  store::DrptRset defs(db);
  try {
    if (own) db.begin();
    if (!defs.add(added) || added.RSno == 0) {
      error = defs.error().empty() ? "the new definition got no key" : defs.error();
      if (own) db.rollback();
      return SaveResult::Failed;
    }
    if (own) db.commit();
  } catch (const std::exception& e) {
    error = store::failureText(e);
    if (own) db.rollback();
    return SaveResult::Failed;
  }
  row.RSno = added.RSno;
  return SaveResult::Saved;
}

bool saveUser(store::Database& db, const UserRecord& row, std::string& error) {
  error.clear();
  const auto& table = store::pdataTable();
  const std::pair<const char*, const std::string*> texts[] = {{"name", &row.name}, {"surn", &row.surn},
                                                              {"titl", &row.titl}, {"dept", &row.dept},
                                                              {"sect", &row.sect}, {"cmnt", &row.cmnt}};
  std::string sql = "UPDATE Pdata SET ";
  std::vector<SqlValue> values;
  for (const auto& [column, text] : texts) {
    for (const store::ColumnDef& c : table.columns) {
      if (std::string_view(c.name) == column && text->size() > c.width) {
        error = std::string(column) + " is longer than " + std::to_string(c.width) + " characters";
        return false;
      }
    }
    if (!values.empty()) sql += ", ";
    sql += std::string(column) + " = ?";
    values.push_back(*text);
  }
  sql += " WHERE sqno = ?";
  values.push_back(int64_t{row.sqno});
  try {
    if (run(db, sql, values) == 0) {
      error = goneText("User", row.sqno);
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    error = store::failureText(e);
    return false;
  }
}

bool deleteDefinition(store::Database& db, int32_t key, std::string& error) {
  error.clear();
  try {
    if (run(db, "DELETE FROM Rout WHERE RSno = ?", {int64_t{key}}) == 0) {
      error = goneText("Definition", key);
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    error = store::failureText(e);
    return false;
  }
}

bool setAllUsersSelected(store::Database& db, bool selected, std::string& error) {
  error.clear();
  try {
    run(db, "UPDATE Pdata SET Slct = ?", {int64_t{selected ? 1 : 0}});
    return true;
  } catch (const std::exception& e) {
    error = store::failureText(e);
    return false;
  }
}

bool toggleUserSelected(store::Database& db, int32_t sqno, std::string& error) {
  error.clear();
  try {
    // Decided in the statement itself, so that two programs toggling at
    // once each see the other's result.
    if (run(db, "UPDATE Pdata SET Slct = CASE WHEN Slct <> 0 THEN 0 ELSE 1 END WHERE sqno = ?", {int64_t{sqno}}) == 0) {
      error = goneText("User", sqno);
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    error = store::failureText(e);
    return false;
  }
}

// ---- Number-to-name replacement ----

DefinitionIndex::DefinitionIndex(const std::vector<RouteRecord>& rows, int32_t type) {
  for (const RouteRecord& r : rows) {
    if (r.RType != type) continue;
    const std::string_view digits = trimRight(r.RDgts);
    if (digits.empty()) continue;
    entries_.push_back(Entry{std::string(digits), std::string(trimRight(r.RName)), r.Ackd, r.RSno});
  }
  std::sort(entries_.begin(), entries_.end(),
            [](const Entry& a, const Entry& b) { return a.digits != b.digits ? a.digits < b.digits : a.key < b.key; });
  for (const Entry& e : entries_) lengths_.push_back(e.digits.size());
  std::sort(lengths_.begin(), lengths_.end(), std::greater<>());
  lengths_.erase(std::unique(lengths_.begin(), lengths_.end()), lengths_.end());
}

std::optional<DefinitionIndex> DefinitionIndex::load(store::Database& db, int32_t type, std::string& error) {
  std::vector<RouteRecord> rows;
  error = listDefinitions(db, type, 0, [&](const RouteRecord& r) { rows.push_back(r); });
  if (!error.empty()) return std::nullopt;
  return DefinitionIndex(rows, type);
}

NumberReplacement DefinitionIndex::replace(std::string_view number) const {
  const std::string_view n = trimRight(number).substr(0, kNumberWidth);
  for (size_t len : lengths_) {
    if (len > n.size()) continue;
    const std::string_view prefix = n.substr(0, len);
    // The last of equal numbers wins: the one added most recently.
    auto it = std::upper_bound(entries_.begin(), entries_.end(), prefix,
                               [](std::string_view p, const Entry& e) { return p < e.digits; });
    if (it == entries_.begin() || (it - 1)->digits != prefix) continue;
    const Entry& e = *(it - 1);
    NumberReplacement out;
    out.text.reserve(e.name.size() + 2 + n.size() - len);
    out.text += '(';
    out.text += e.name;
    out.text += ')';
    out.text += n.substr(len);
    out.acknowledged = e.acknowledged;
    return out;
  }
  return NumberReplacement{std::string(number), false};
}

}  // namespace lumarc::browse
