// Template definitions of database.h.
#pragma once

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

template <class Row> bool Recordset<Row>::open(const Condition& filter, const Sort& sort) {
  close();
  error_.clear();
  try {
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

template <class Row> bool Recordset<Row>::next(Row& out) {
  if (!select_) return false;
  try {
    if (!select_->fetch()) {
      close();
      return false;
    }
    out = Row{};
    selectBuf_->get(0, out);
    return true;
  } catch (const std::exception& e) {
    close();
    return failed(e);
  }
}

template <class Row> bool Recordset<Row>::add(Row& row) {
  error_.clear();
  try {
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

template <class Row> bool Recordset<Row>::update(const Row& row) {
  error_.clear();
  try {
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

template <class Row> bool Recordset<Row>::remove(int32_t key) {
  error_.clear();
  try {
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

template <class Row> std::optional<Row> Recordset<Row>::find(int32_t key) {
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

template <class Row> void BulkInserter<Row>::add(const Row& row) {
  buf_->put(pending_++, row);
  if (pending_ == batch_) {
    stmt_->execute();
    inserted_ += pending_;
    pending_ = 0;
  }
}

template <class Row> void BulkInserter<Row>::flush() {
  if (pending_ == 0) return;
  if (mode_ == Mode::MultiRow) {
    odbc::Statement tail(db_.connection());
    tail.prepare(db_.dialect().statementPrefix() + insertSql(table_, pending_));
    buf_->bindParametersRowByRow(tail, pending_);
    tail.execute();
  } else {
    stmt_->setParamsetSize(pending_);
    stmt_->execute();
    stmt_->setParamsetSize(batch_);
  }
  inserted_ += pending_;
  pending_ = 0;
}

}  // namespace lumarc::store
