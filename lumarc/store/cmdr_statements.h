// The prepared statements of the CMDR store operation (cmdr_store.cpp),
// for the files of the record store that hold or drop them.
#pragma once

#include "lumarc/store/record_store.h"

namespace lumarc {

// The prepared statements of the store operation, kept while the main
// database's connection lasts.
struct RecordStore::CmdrStatements {
  explicit CmdrStatements(store::Database& db);
  store::Database& db;
  uint64_t generation;
  store::BulkInserter<CmdrRecord> insert;
  store::BulkInserter<UserRecord> userInsert;
  odbc::Statement duplicate;
  odbc::Statement user;
  odbc::Statement addCounters;
  odbc::Statement portLock;
  store::RowBuffer userRow;
  SQLINTEGER lockClass = store::kUserLockClass;
  SQLINTEGER lockKey = 0;
};

}  // namespace lumarc
