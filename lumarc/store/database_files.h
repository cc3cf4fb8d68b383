// Database files and how the store names the databases it opens: what
// kind of file lies at a path, the DSN-less connection strings of the
// embedded default, and the user's ODBC data sources.
#pragma once

#include <string>

namespace lumarc {

// What kind of file lies at a path (by its first bytes).
enum class DbFileKind { Missing, Empty, Sqlite, Access, Other, Unreadable };
DbFileKind detectDbFileKind(const std::string& path);

// DSN-less connection strings of the embedded default.
std::string sqliteConnectionString(const std::string& path, bool mayCreate = true);
std::string mdbtoolsConnectionString(const std::string& path);
// Whether the user has an ODBC data source of that name (odbc.ini). The
// main and voice databases use user DSNs "LumarcDb" and "KvVrcDb" when they
// are defined and no connection string was given.
bool userDsnDefined(const std::string& name);

namespace store {

bool fileExists(const std::string& path);
// Opens for reading and writing without creating: the test of an
// existing database file.
bool readWritable(const std::string& path);

}  // namespace store
}  // namespace lumarc
