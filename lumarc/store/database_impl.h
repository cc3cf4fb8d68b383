// Template definitions of database.h.
#pragma once

#include <cassert>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace lumarc::store {

template <class Row>
std::string Recordset<Row>::selectSql(const Condition& filter, const Sort& sort, std::vector<SqlValue>& params) const {
  std::string sql = "SELECT " + columnList(table_) + " FROM " + table_.name;
  if (!filter.empty()) {
    sql += " WHERE ";
    filter.render(db_.dialect(), sql, params);
  }
  if (!sort.empty()) {
    sql += " ORDER BY ";
    for (size_t i = 0; i < sort.size(); ++i) {
      if (i) sql += ", ";
      sql += sort[i].expr.render(db_.dialect());
      if (sort[i].descending) sql += " DESC";
    }
  }
  return sql;
}

template <class Row>
bool Recordset<Row>::planPaging(const Sort& sort) {
  paging_ = Paging{};
  if (db_.engine() != Engine::Sqlite && db_.engine() != Engine::Postgres) return false;
  auto index = [&](const std::string& name) -> std::optional<size_t> {
    for (size_t i = 0; i < table_.columns.size(); ++i) {
      const char* a = table_.columns[i].name;
      if (name.size() == std::strlen(a) &&
          std::equal(name.begin(), name.end(), a, [](char x, char y) { return std::tolower(x) == std::tolower(y); }))
        return i;
    }
    return std::nullopt;
  };
  bool desc = !sort.empty() && sort.front().descending;
  for (const SortKey& k : sort) {
    if (k.expr.kind() != Expr::Kind::Column || k.descending != desc) return false;
    auto i = index(k.expr.columnName());
    if (!i) return false;
    if (*i == 0) break;  // the key: the order is total from here on
    paging_.cols.push_back(*i);
  }
  size_t dates = 0;
  for (size_t c : paging_.cols)
    if (table_.columns[c].type == ColType::Date) ++dates;
  if (dates > 1 || (dates == 1 && paging_.cols.size() > 1)) return false;
  paging_.nullPhase = dates == 1;
  paging_.desc = desc;
  paging_.on = true;
  return true;
}

// Phases: a single DATE sort column keeps its NULL rows apart, read by key,
// where the engine orders them: SQLite first when ascending, PostgreSQL
// last when ascending.
template <class Row>
void Recordset<Row>::runPage() {
  const bool nullsFirst = (db_.engine() == Engine::Sqlite) != paging_.desc;
  const bool nullRows = paging_.nullPhase && (paging_.phase == 0) == nullsFirst;
  std::vector<SqlValue> params;
  std::string sql = "SELECT " + columnList(table_) + " FROM " + table_.name + " WHERE ";
  filter_.render(db_.dialect(), sql, params);
  const std::string key = table_.key();
  const char* gt = paging_.desc ? " < ?" : " > ?";
  const char* ge = paging_.desc ? " <= ?" : " >= ?";
  if (paging_.nullPhase) {
    sql += std::string(" AND ") + table_.columns[paging_.cols[0]].name + (nullRows ? " IS NULL" : " IS NOT NULL");
  }
  std::vector<size_t> cols = nullRows ? std::vector<size_t>{} : paging_.cols;
  if (paging_.haveLast) {
    // Lexicographic "after the last row" over (cols..., key), led by a range
    // on the first column so that its index is used.
    if (!cols.empty()) {
      sql += std::string(" AND ") + table_.columns[cols[0]].name + ge;
      params.push_back(paging_.last[0]);
    }
    std::string after;
    for (size_t i = 0; i <= cols.size(); ++i) {
      const std::string name = i < cols.size() ? table_.columns[cols[i]].name : key;
      const SqlValue& v = i < cols.size() ? paging_.last[i] : paging_.last.back();
      std::string term = name + gt;
      params.push_back(v);
      if (i < cols.size()) {
        term = "(" + term + " OR (" + name + " = ? AND ";
        params.push_back(v);
      }
      after += term;
    }
    for (size_t i = 0; i < cols.size(); ++i) after += "))";
    sql += " AND " + after;
  }
  sql += " ORDER BY ";
  for (size_t c : cols) sql += std::string(table_.columns[c].name) + (paging_.desc ? " DESC, " : ", ");
  sql += key + (paging_.desc ? " DESC" : "");
  sql += " LIMIT " + std::to_string(kPageRows);

  select_.reset();
  auto stmt = std::make_unique<odbc::Statement>(db_.connection());
  stmt->prepare(sql);
  auto values = std::make_unique<ValueBinder>(db_);
  values->bind(*stmt, params);
  if (!selectBuf_) selectBuf_ = std::make_unique<RowBuffer>(db_, table_, 0, table_.columns.size(), 1);
  stmt->execute();
  selectBuf_->bindColumns(*stmt);
  select_ = std::move(stmt);
  selectValues_ = std::move(values);
  paging_.inPage = 0;
}

template <class Row>
bool Recordset<Row>::open(const Condition& filter, const Sort& sort) {
  close();
  error_.clear();
  try {
    if (planPaging(sort)) {
      filter_ = filter;
      runPage();
      return true;
    }
    std::vector<SqlValue> params;
    std::string sql = selectSql(filter, sort, params);
    auto stmt = std::make_unique<odbc::Statement>(db_.connection());
    stmt->prepare(sql);
    auto values = std::make_unique<ValueBinder>(db_);
    values->bind(*stmt, params);
    auto buf = std::make_unique<RowBuffer>(db_, table_, 0, table_.columns.size(), 1);
    stmt->execute();
    buf->bindColumns(*stmt);
    select_ = std::move(stmt);
    selectBuf_ = std::move(buf);
    selectValues_ = std::move(values);
    return true;
  } catch (const std::exception& e) {
    close();
    return failed(e);
  }
}

template <class Row>
bool Recordset<Row>::next(Row& out) {
  if (!select_) return false;
  try {
    for (;;) {
      if (select_->fetch()) break;
      if (!paging_.on) {
        close();
        return false;
      }
      if (paging_.inPage == kPageRows) {
        runPage();  // the next page after the last row
        continue;
      }
      if (paging_.nullPhase && paging_.phase == 0) {
        paging_.phase = 1;
        paging_.haveLast = false;
        runPage();
        continue;
      }
      close();
      return false;
    }
    out = Row{};
    selectBuf_->get(0, out);
    if (paging_.on) {
      ++paging_.inPage;
      paging_.last.clear();
      for (size_t c : paging_.cols) paging_.last.push_back(selectBuf_->value(c, 0));
      paging_.last.push_back(selectBuf_->value(0, 0));
      paging_.haveLast = true;
    }
    return true;
  } catch (const std::exception& e) {
    close();
    return failed(e);
  }
}

template <class Row>
bool Recordset<Row>::add(Row& row) {
  error_.clear();
  try {
    if (insert_ && !insert_->usable()) insert_.reset();  // the connection was reopened
    if (!insert_) {
      // The new key comes back as the statement's result (RETURNING, in
      // PostgreSQL and in SQLite since 3.35).
      auto stmt = std::make_unique<odbc::Statement>(db_.connection());
      stmt->prepare(db_.dialect().statementPrefix() + insertSql(table_) + " RETURNING " + table_.key());
      auto buf = std::make_unique<RowBuffer>(db_, table_, 1, table_.columns.size(), 1);
      buf->bindParameters(*stmt);
      stmt->bindColumn(1, SQL_C_SLONG, &returnedKey_, 0, &returnedInd_);
      insert_ = std::move(stmt);
      insertBuf_ = std::move(buf);
    }
    insertBuf_->put(0, row);
    insert_->execute();
    int32_t key = 0;
    if (insert_->fetch() && returnedInd_ != SQL_NULL_DATA) key = returnedKey_;
    insert_->closeCursor();
    // The key is the first field of every row type.
    bool firstField = true;
    forEachField(row, [&](auto& f) {
      if constexpr (std::is_same_v<std::decay_t<decltype(f)>, int32_t>) {
        if (firstField) f = key;
      }
      firstField = false;
    });
    return true;
  } catch (const std::exception& e) {
    if (insert_) insert_->closeCursor();
    return failed(e);
  }
}

template <class Row>
bool Recordset<Row>::update(const Row& row) {
  error_.clear();
  try {
    if (update_ && !update_->usable()) update_.reset();
    if (!update_) {
      auto stmt = std::make_unique<odbc::Statement>(db_.connection());
      stmt->prepare(db_.dialect().statementPrefix() + updateSql(table_));
      auto buf = std::make_unique<RowBuffer>(db_, table_, 0, table_.columns.size(), 1);
      // Parameters: columns 1..n-1, then the key: bind the key column last.
      RowBuffer* b = buf.get();
      b->bindParameters(*stmt, 0);  // see RowBuffer::bindParameters: 0 = key last
      update_ = std::move(stmt);
      updateBuf_ = std::move(buf);
    }
    updateBuf_->put(0, row);
    update_->execute();
    return true;
  } catch (const std::exception& e) {
    return failed(e);
  }
}

template <class Row>
bool Recordset<Row>::remove(int32_t key) {
  error_.clear();
  try {
    if (delete_ && !delete_->usable()) delete_.reset();
    if (!delete_) {
      auto stmt = std::make_unique<odbc::Statement>(db_.connection());
      stmt->prepare(db_.dialect().statementPrefix() + "DELETE FROM " + table_.name + " WHERE " + table_.key() + " = ?");
      stmt->bindParameter(1, SQL_C_SLONG, SQL_INTEGER, 0, 0, &deleteKey_, 0, &deleteInd_);
      delete_ = std::move(stmt);
    }
    deleteKey_ = key;
    deleteInd_ = 0;
    delete_->execute();
    return true;
  } catch (const std::exception& e) {
    return failed(e);
  }
}

template <class Row>
std::optional<Row> Recordset<Row>::find(int32_t key) {
  Recordset<Row> tmp(db_, table_);
  if (!tmp.open(Condition::eq(table_.key(), int64_t{key}))) {
    error_ = tmp.error();
    return std::nullopt;
  }
  Row r;
  if (!tmp.next(r)) {
    error_ = tmp.error();
    return std::nullopt;
  }
  return r;
}

template <class Row>
BulkInserter<Row>::BulkInserter(Database& db, size_t batch, const TableDef& table, Mode mode)
    : db_(db), table_(table), batch_(batch ? batch : 1), mode_(mode) {
  if (mode_ == Mode::Auto) mode_ = db.engine() == Engine::Postgres ? Mode::MultiRow : Mode::ParamArray;
  const size_t params = table_.columns.size() - 1;
  // psqlODBC loses step with the server past about 8,000 parameters per
  // statement (its parameter description message outgrows a 32 KiB buffer).
  if (mode_ == Mode::MultiRow) batch_ = std::max<size_t>(1, std::min(batch_, 4000 / params));
  buf_ = std::make_unique<RowBuffer>(db_, table_, 1, table_.columns.size(), batch_);
  stmt_ = std::make_unique<odbc::Statement>(db_.connection());
  if (mode_ == Mode::MultiRow) {
    stmt_->prepare(db_.dialect().statementPrefix() + insertSql(table_, batch_));
    buf_->bindParametersRowByRow(*stmt_, batch_);
  } else {
    stmt_->prepare(db_.dialect().statementPrefix() + insertSql(table_));
    if (batch_ > 1) stmt_->setParamsetSize(batch_);
    buf_->bindParameters(*stmt_);
  }
}

template <class Row>
void BulkInserter<Row>::add(const Row& row) {
  assert(pending_ < batch_);
  buf_->put(pending_++, row);
  if (pending_ == batch_) {
    // The buffered rows are handed over whether or not the database takes
    // them: a refused batch must leave room for the next row.
    pending_ = 0;
    stmt_->execute();
    inserted_ += batch_;
  }
}

template <class Row>
void BulkInserter<Row>::flush() {
  if (pending_ == 0) return;
  const size_t rows = pending_;
  pending_ = 0;  // handed over, taken or not (see add)
  if (mode_ == Mode::MultiRow) {
    // A statement per short batch size, made once: a receive pass ends in
    // a short batch every time.
    std::unique_ptr<odbc::Statement>& tail = tails_[rows];
    if (!tail) {
      auto made = std::make_unique<odbc::Statement>(db_.connection());
      made->prepare(db_.dialect().statementPrefix() + insertSql(table_, rows));
      buf_->bindParametersRowByRow(*made, rows);
      tail = std::move(made);
    }
    tail->execute();
  } else {
    stmt_->setParamsetSize(rows);
    struct Restore {
      odbc::Statement& s;
      size_t n;
      ~Restore() {
        try {
          s.setParamsetSize(n);
        } catch (...) {
        }
      }
    } restore{*stmt_, batch_};
    stmt_->execute();
  }
  inserted_ += rows;
}

}  // namespace lumarc::store
