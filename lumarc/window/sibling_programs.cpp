#include "lumarc/window/sibling_programs.h"

#include "lumarc/discovery/discovery.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace lumarc::ui {

namespace {
constexpr size_t kMaxPassword = 15;
}  // namespace

SiblingPrograms::SiblingPrograms(std::string workDir, std::string programDir)
    : workDir_(std::move(workDir)), programDir_(std::move(programDir)) {
  if (programDir_.empty() && QCoreApplication::instance())
    programDir_ = QCoreApplication::applicationDirPath().toStdString();
}

std::string SiblingPrograms::find(std::string_view name) const {
  const QString file = QString::fromUtf8(name.data(), qsizetype(name.size()));
  for (const std::string& dir : {programDir_, workDir_}) {
    if (dir.empty()) continue;
    const QFileInfo info(QDir(QString::fromStdString(dir)), file);
    if (info.isFile() && info.isExecutable()) return info.absoluteFilePath().toStdString();
  }
  return {};
}

std::vector<std::string> SiblingPrograms::halvernArguments(std::string_view password, uint32_t exchange) {
  password = password.substr(0, password.find('\0'));
  password = password.substr(0, kMaxPassword);
  return {"-CHalvern", "-UHalvern", "-P" + std::string(password), "-I" + dottedIp(exchange)};
}

ProgramStart SiblingPrograms::startHalvern(std::string_view password, uint32_t exchange) const {
  return start(kHalvern, halvernArguments(password, exchange));
}

ProgramStart SiblingPrograms::startQuillet() const { return start(kQuillet, {}); }

ProgramStart SiblingPrograms::start(std::string_view name, const std::vector<std::string>& arguments) const {
  const std::string program = find(name);
  if (program.empty()) return ProgramStart::Missing;
  QStringList args;
  for (const std::string& a : arguments) args << QString::fromStdString(a);
  // No shell: the password goes to the program as one argument, unquoted.
  const bool started = QProcess::startDetached(QString::fromStdString(program), args, QString::fromStdString(workDir_));
  return started ? ProgramStart::Started : ProgramStart::Failed;
}

}  // namespace lumarc::ui
