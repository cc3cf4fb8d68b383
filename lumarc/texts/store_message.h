// What the record store reports, by meaning: the program puts it into words
// in the user's language (storeMessageText in store_messages.h).
#pragma once

#include <string>

namespace lumarc {

// clang-format off
// The store's failure texts, by meaning. The application maps them to
// kTextSqlConfigError, kTextDbaseAllocationFailed, kTextDbaseOpenFailed,
// kTextFileAccessFailed, kTextMemoryAllocationFailed.
enum class StoreMessage {
  SqlConfigError,          // "SQL Config error!": the ODBC driver is missing or not configured
  DbaseAllocationFailed,   // "Dbase allocation failed!": no ODBC handle
  DbaseOpenFailed,         // "Dbase open failed!": the driver refuses the file or server, or the file is no SQLite database
  FileAccessFailed,        // "<name> File access failed!": the file cannot be created or opened read-write
  MemoryAllocationFailed,  // "<name> Memory allocation failed!": a recordset cannot be created
  DatabaseError,           // a database error while storing (message bar), detail = driver text
  ConnectionLost,          // "Database connection lost: <detail>": the server is gone; retried every 10 s
  ConnectionRestored,      // "Database connection restored"
};

// Receives the store's failure reports.
//  - fileName: the database file's name ("Lumarc.mdb", "LumarcVt.mdb", an
//    archive path) or the server's name; empty where the text is shown
//    alone.
//  - detail: the driver's diagnostics (for logs and the command line).
class StoreMessageSink {
 public:
  virtual ~StoreMessageSink() = default;
  virtual void storeMessage(StoreMessage id, const std::string& fileName, const std::string& detail) = 0;
};
// clang-format on

}  // namespace lumarc
