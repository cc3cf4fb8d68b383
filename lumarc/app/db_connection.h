// Where the main and the voice database live: the embedded SQLite files, a
// PostgreSQL server through psqlODBC, or any ODBC connection string. The
// connection string made of such a choice, its display without password,
// and the rule by which a start picks its connections.
#pragma once

#include <string>

namespace lumarc {

// One database's choice. Texts are UTF-8 (they go to the ODBC driver as
// they are).
struct DbConnection {
  enum class Kind { Embedded, Postgres, Odbc } kind = Kind::Embedded;
  std::string host;
  int port = 5432;
  std::string database, user, password;
  std::string odbc;  // the whole connection string of Kind::Odbc

  bool operator==(const DbConnection&) const = default;
};

// The choice for both databases.
struct DbChoice {
  DbConnection main, voice;

  bool operator==(const DbChoice&) const = default;
};

// The ODBC connection string of a choice: empty for the embedded file; for
// a PostgreSQL server
// "DRIVER={PostgreSQL Unicode};SERVER=..;PORT=..;DATABASE=..;UID=..;PWD=..;"
// where every value holding ';', '{', '}', '=' or blanks at its ends is
// braced (a '}' inside doubled), so no value can end its item and add keys;
// the ODBC text as given.
std::string connectionString(const DbConnection& c);

// The connection string with the values of PWD and PASSWORD (any case)
// replaced by "***". Braced values are read as one value, so a password
// holding ';' is hidden whole; an unclosed brace hides the rest.
std::string withoutPassword(const std::string& conn);

// The connection a start uses for one database: the value given by the
// environment (or the command line) when not empty, else the stored choice
// (empty: the embedded file).
std::string chooseConnection(const DbConnection& stored, const std::string& envValue);

// Both connections of a start. An empty voice connection follows the main
// one (a server named by LUMARC_DB alone carries the voice recordings too),
// except where the stored choice keeps the voice database embedded while
// the main one is a stored server: then the voice database is the file of
// embeddedVoice (its SQLite connection string).
struct StartConnections {
  std::string main, voice;
};
StartConnections chooseConnections(const DbChoice& stored, const std::string& envMain, const std::string& envVoice,
                                   const std::string& embeddedVoice);

}  // namespace lumarc
