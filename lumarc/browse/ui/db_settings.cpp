#include "lumarc/browse/ui/db_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumarc::browse {

namespace {

constexpr const char* kKindNames[] = {"embedded", "postgres", "odbc"};

QString kindName(DbConnection::Kind k) { return kKindNames[int(k)]; }

DbConnection::Kind kindOf(const QString& name) {
  for (int i = 0; i < 3; ++i)
    if (name == kKindNames[i]) return DbConnection::Kind(i);
  return DbConnection::Kind::Embedded;
}

std::string text(const QSettings& s, const QString& key) { return s.value(key).toString().toStdString(); }

DbConnection read(QSettings& s, const QString& group) {
  DbConnection c;
  s.beginGroup(group);
  c.kind = kindOf(s.value("kind").toString());
  c.host = text(s, "host");
  bool ok = false;
  int port = s.value("port").toInt(&ok);
  if (ok && port >= 1 && port <= 65535) c.port = port;
  c.database = text(s, "database");
  c.user = text(s, "user");
  c.password = text(s, "password");
  c.odbc = text(s, "odbc");
  s.endGroup();
  return c;
}

void write(QSettings& s, const QString& group, const DbConnection& c) {
  s.beginGroup(group);
  s.setValue("kind", kindName(c.kind));
  s.setValue("host", QString::fromStdString(c.host));
  s.setValue("port", c.port);
  s.setValue("database", QString::fromStdString(c.database));
  s.setValue("user", QString::fromStdString(c.user));
  s.setValue("password", QString::fromStdString(c.password));
  s.setValue("odbc", QString::fromStdString(c.odbc));
  s.endGroup();
}

// Makes the file (empty) with mode 0600 when it is missing, and brings an
// existing one to 0600; false when that cannot be done.
bool makePrivate(const QByteArray& path) {
  int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0;
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool isPrivate(const QByteArray& path) {
  struct stat st {};
  return ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0777) == 0600 &&
         st.st_uid == ::getuid();
}

}  // namespace

QString defaultDbSettingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/database.ini";
}

DbChoice loadDbSettings(const QString& path) {
  DbChoice choice;
  if (!QFileInfo::exists(path)) return choice;
  QSettings s(path, QSettings::IniFormat);
  choice.main = read(s, "main");
  choice.voice = read(s, "voice");
  return choice;
}

bool saveDbSettings(const DbChoice& choice, const QString& path) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  const QByteArray local = QFile::encodeName(path);
  // QSettings rewrites the file through a temporary file that takes over
  // the old file's mode, so the file must be private before the first write.
  if (!makePrivate(local)) return false;
  {
    QSettings s(path, QSettings::IniFormat);
    write(s, "main", choice.main);
    write(s, "voice", choice.voice);
    s.sync();
    if (s.status() != QSettings::NoError) return false;
  }
  if (isPrivate(local)) return true;
  return ::chmod(local.constData(), 0600) == 0 && isPrivate(local);
}

}  // namespace lumarc::browse
