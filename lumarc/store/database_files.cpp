#include "lumarc/store/database_files.h"

#include "lumarc/store/odbc.h"

#include <cerrno>
#include <cstring>
#include <strings.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumarc {

namespace store {

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool readWritable(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace store

DbFileKind detectDbFileKind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? DbFileKind::Missing : DbFileKind::Unreadable;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return DbFileKind::Unreadable;
  unsigned char head[32] = {0};
  ssize_t n = ::read(fd, head, sizeof head);
  ::close(fd);
  if (n < 0) return DbFileKind::Unreadable;
  if (n == 0) return DbFileKind::Empty;
  if (n >= 16 && std::memcmp(head, "SQLite format 3\0", 16) == 0) return DbFileKind::Sqlite;
  // Jet 3/4 and ACE: 00 01 00 00 "Standard Jet DB" / "Standard ACE DB".
  if (n >= 19 &&
      (std::memcmp(head + 4, "Standard Jet DB", 15) == 0 || std::memcmp(head + 4, "Standard ACE DB", 15) == 0))
    return DbFileKind::Access;
  return DbFileKind::Other;
}

std::string sqliteConnectionString(const std::string& path, bool mayCreate) {
  std::string s = "DRIVER=SQLite3;Database=" + odbc::quoteConnValue(path) + ";Timeout=5000;StepAPI=1;";
  if (!mayCreate) s += "NoCreat=1;";
  return s;
}

std::string mdbtoolsConnectionString(const std::string& path) {
  return "DRIVER=MDBTools;DBQ=" + odbc::quoteConnValue(path) + ";";
}

bool userDsnDefined(const std::string& name) {
  try {
    auto env = odbc::Environment::shared();
    SQLCHAR dsn[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR desc[256];
    SQLSMALLINT dl = 0, el = 0;
    SQLUSMALLINT dir = SQL_FETCH_FIRST_USER;
    while (odbc::ok(SQLDataSources(env->handle(), dir, dsn, sizeof dsn, &dl, desc, sizeof desc, &el))) {
      if (strcasecmp(reinterpret_cast<char*>(dsn), name.c_str()) == 0) return true;
      dir = SQL_FETCH_NEXT;
    }
  } catch (...) {
  }
  return false;
}

}  // namespace lumarc
