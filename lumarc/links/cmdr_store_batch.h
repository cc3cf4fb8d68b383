// One database transaction per receive pass of a CMDR link on the record
// store's main database. Header only: whoever wires a link to the store
// links the store already.
#pragma once

#include "lumarc/links/cmdr_link.h"
#include "lumarc/store/database.h"
#include "lumarc/store/record_store.h"

#include <exception>
#include <string>

namespace lumarc {

// Begin and commit on store's main database; the store must outlive the links.
inline CmdrBatch cmdrStoreBatch(RecordStore& store) {
  CmdrBatch b;
  b.begin = [&store] {
    store::Database* db = store.mainDatabase();
    if (!db || db->inTransaction()) return false;
    try {
      db->begin();
      return true;
    } catch (const std::exception&) {
      return false;
    }
  };
  b.commit = [&store]() -> std::string {
    store::Database* db = store.mainDatabase();
    if (!db || !db->inTransaction()) return "no open transaction";
    try {
      db->commit();
      return {};
    } catch (const std::exception& e) {
      try {
        db->rollback();
      } catch (const std::exception&) {
      }
      std::string m = e.what();
      return m.empty() ? std::string("commit failed") : m;
    }
  };
  return b;
}

}  // namespace lumarc
