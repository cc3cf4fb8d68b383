#include "lumarc/window/startup.h"

#include "common/files.h"
#include "common/qt/single_instance.h"
#include "lumarc/app/command_line.h"
#include "lumarc/app/db_connection.h"
#include "lumarc/app/settings.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/main_window.h"
#include "lumarc/window/program.h"
#include "lumarc/browse/ui/db_settings.h"
#include "common/qt/signal_bridge.h"
#include "lumarc/store/record_store.h"

#include <QApplication>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace lumarc::ui {

using corvane::closeRunningInstance;
using corvane::InstanceServer;
using corvane::sendInstanceCommand;

namespace {

const char* kUsage =
    "usage: lumarc [-C<host>[:<port>]]... [-V<host>[:<port>]]...\n"
    "       lumarc -D<platform code> [-Lumarc] [-Halvern] [-Quillet] [-P<parameter file>]\n"
    "\n"
    "BRENNIC Lumarc, the management program of Corvane exchanges. All files are\n"
    "kept in the current directory. -C and -V open CMDR and voice recording\n"
    "download links at start; -D is the installation call, which creates desktop\n"
    "entries and opens the exchange browser. Without arguments an older Olvar.mdb\n"
    "in the current directory is offered for import. A new start closes a running\n"
    "Lumarc of the same user.\n";

bool haveDisplay() {
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* e = std::getenv(v);
    if (e && *e) return true;
  }
  return false;
}

// The user's desktop folder as xdg-user-dir reports it.
std::string desktopFolder() {
  QProcess p;
  p.start("xdg-user-dir", {"DESKTOP"});
  if (p.waitForFinished(3000) && p.exitCode() == 0) {
    QString dir = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    if (!dir.isEmpty()) return dir.toStdString();
  }
  return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
}

}  // namespace

int runLumarc(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (!haveDisplay()) {
    std::fputs(englishTexts().text(kTextNoDisplay).c_str(), stderr);
    std::fputs("\n", stderr);
    return 1;
  }
  std::string commandLine = joinArguments(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Lumarc");
  QApplication::setOrganizationName("BRENNIC");

  // The newest start wins: a running program saves and closes first.
  closeRunningInstance(kWindowTitle, 10000);

  std::string workDir = corvane::currentDirectory();
  std::string wavDir = corvane::joinPath(workDir, "Wav");
  corvane::ensureDirectory(wavDir);
  ::unlink(corvane::joinPath(wavDir, "mp3.tmp").c_str());
  ::unlink(corvane::joinPath(wavDir, "wav.tmp").c_str());

  SettingsBlock settings;
  if (QLocale::system().language() == QLocale::Turkish) settings.setLanguage(1);
  loadSettings(settings, workDir);
  const corvane::StringTable& texts = textsFor(settings.language());

  auto env = [](const char* name) {
    const char* v = std::getenv(name);
    return std::string(v ? v : "");
  };
  // LUMARC_DB / LUMARC_VOICE_DB win over the choice stored in the properties
  // window, which takes effect here, at the next start.
  const std::string embeddedVoice = sqliteConnectionString(corvane::joinPath(wavDir, RecordStore::kVoiceFile));
  const StartConnections db = chooseConnections(browse::loadDbSettings(browse::defaultDbSettingsPath()),
                                                env("LUMARC_DB"), env("LUMARC_VOICE_DB"), embeddedVoice);
  Program program(workDir, settings, texts, db.main, db.voice);
  MainWindow window(program.windowConfig(commandLine, desktopFolder(), true));
  // Signals are caught before the endpoint tells others that we run.
  corvane::SignalBridge signalBridge;
  QObject::connect(&signalBridge, &corvane::SignalBridge::terminateRequested, &window,
                   [&window](int) { window.close(); });
  InstanceServer server;
  server.listen(kWindowTitle);
  QObject::connect(&server, &InstanceServer::closeRequested, &window, [&window] {
    // Our siblings go first; both are best effort.
    sendInstanceCommand("BRENNIC Halvern KV430", "close");
    sendInstanceCommand("BRENNIC Quillet", "close");
    window.close();
  });
  QObject::connect(&server, &InstanceServer::raiseRequested, &window, [&window] {
    window.showNormal();
    window.raise();
    window.activateWindow();
  });

  if (!window.initialise()) return 1;
  program.attach(window);
  window.show();
  int rc = app.exec();
  program.shutdown();
  saveSettings(settings, workDir);
  return rc;
}

}  // namespace lumarc::ui
