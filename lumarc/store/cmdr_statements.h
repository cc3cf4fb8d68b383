// The prepared statements of the CMDR store operation (cmdr_store.cpp),
// for the files of the record store that hold or drop them.
#pragma once

#include "lumarc/store/record_store.h"

#include <map>
#include <memory>

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

  // The receive pass's statements (see storePass).
  // The Cdata rows in the pass's time ranges, by number of ranges (1, 2,
  // 4, ... kMaxLookupRanges), made when first needed.
  struct PassLookup {
    PassLookup(store::Database& db, size_t ranges);
    odbc::Statement statement;
    store::RowBuffer row;
  };
  static constexpr size_t kMaxLookupRanges = 16;
  std::map<size_t, std::unique_ptr<PassLookup>> lookups;
  PassLookup& lookup(size_t ranges);
  // For up to kMaxPorts ports at once, by their number, made when first
  // needed: the ports that have a user row; adding each port's pass sums to
  // its first user row; the locks of the ports (a shared server).
  static constexpr size_t kMaxPorts = 256;
  std::map<size_t, std::unique_ptr<odbc::Statement>> usersOf, addSums, lockPorts;
  odbc::Statement& sized(std::map<size_t, std::unique_ptr<odbc::Statement>>& made, size_t n,
                         std::string (*sql)(const store::Dialect&, size_t));
  // The new user rows of a pass.
  store::BulkInserter<UserRecord> passUsers;
  // SQLite: the highest Cdata key, and the rows after a key taken out again.
  odbc::Statement highestKey, dropAfter;
};

}  // namespace lumarc
