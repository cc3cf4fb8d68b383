// CMDR archives: SQLite files holding a Cdata table, written and read
// besides the main database. They are opened and searched on a
// RecordStore (openCmdrArchive, findCmdrBySqno), which reports failures.
#pragma once

#include "lumarc/store/database.h"

#include <memory>
#include <string>

namespace lumarc {

// An open CMDR archive (always an SQLite file) with its recordset.
struct CmdrArchive {
  std::unique_ptr<store::Database> db;
  std::unique_ptr<store::DrptCset> cset;
  std::string path;
};

}  // namespace lumarc
