#include "halvern/ui/program.h"

#include "common/files.h"
#include "common/qt/qt_text.h"
#include "common/qt/signal_bridge.h"
#include "common/qt/single_instance.h"
#include "halvern/audio_device.h"
#include "halvern/command_line.h"
#include "halvern/keyset_keys.h"
#include "halvern/settings_record.h"
#include "halvern/texts.h"
#include "halvern/ui/headless.h"
#include "halvern/ui/keyset_core.h"
#include "halvern/ui/tag_dialog.h"  // completes the window's tag dialog pointer
#include "halvern/ui/keyset_window.h"
#include "halvern/ui/recording_service.h"
#include "halvern/ui/recordings_window.h"
#include "halvern/ui/settings_dialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace halvern::ui {

namespace {

// The exit code of a run that ended because it had no sound device.
constexpr int kExitNoAudioDevice = 1;

TagTexts tagsOf(const SettingsRecord& r) {
  TagTexts t;
  for (int level = 0; level < kShiftLevels; ++level)
    for (int key = 0; key < kProgrammableKeyCount; ++key) t[level][key] = r.tag(level, key);
  return t;
}

void storeTags(const TagTexts& t, SettingsRecord& r) {
  for (int level = 0; level < kShiftLevels; ++level)
    for (int key = 0; key < kProgrammableKeyCount; ++key) r.setTag(level, key, t[level][key]);
}

// What the whole run shares: the record, where it lives, and how it ends.
struct Session {
  std::string workDir;
  SettingsRecord record;
  KeysetSnapshot last;
  bool closing = false;
  bool unregisterAtClose = true;
  int exitCode = 0;

  void close(bool unregister, int code = 0) {
    if (closing) return;
    closing = true;
    unregisterAtClose = unregister;
    exitCode = code;
    // Queued, so a request that comes before the loop runs still ends it;
    // exit() rather than quit(), which would ask the window and be refused.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  }
};

int runWindow(Session& s, KeysetCore& core, corvane::InstanceServer& server) {
  CHalvernDlg window(s.record.language());
  window.setTags(tagsOf(s.record));
  window.setVoiceRecordingsAvailable(false);

  // The recording download sees each snapshot before the window does, so
  // "Voice Recordings" is offered from the very refresh the client starts.
  RecordingService service(s.workDir, s.record.language());
  QObject::connect(&core, &KeysetCore::snapshotReady, &window, [&service, &window](const KeysetSnapshot& snap) {
    service.refresh(snap);
    window.setVoiceRecordingsAvailable(service.available());
  });
  QObject::connect(&core, &KeysetCore::snapshotReady, &window, &CHalvernDlg::showSnapshot);
  QObject::connect(&core, &KeysetCore::snapshotReady, &window, [&s, &window](const KeysetSnapshot& snap) {
    // A ring melody starting brings the keyset to the front, as a ringing
    // desk set draws the eye.
    if (snap.raiseCounter != s.last.raiseCounter) window.bringToFront();
    s.last = snap;
  });
  QObject::connect(&window, &CHalvernDlg::keyPressed, &core, &KeysetCore::pressKey);
  QObject::connect(&window, &CHalvernDlg::hookToggled, &core, &KeysetCore::toggleHook);
  QObject::connect(&window, &CHalvernDlg::closeRequested, &window, [&s] { s.close(true); });
  QObject::connect(&window, &CHalvernDlg::tagsEdited, &window, [&s, &window] { storeTags(window.tags(), s.record); });
  QObject::connect(&window, &CHalvernDlg::aboutRequested, &window, [&s, &window] {
    QMessageBox::about(&window, QString::fromLatin1(kWindowTitle), aboutText(s.last, s.record.language()));
  });
  std::unique_ptr<CDVrec> recordings;
  QObject::connect(&window, &CHalvernDlg::settingsRequested, &window, [&s, &window, &core, &service, &recordings] {
    CDSett dialog(s.record, s.workDir, &window);
    if (dialog.exec() != QDialog::Accepted) return;
    window.setLanguage(s.record.language());
    service.setLanguage(s.record.language());
    if (recordings) recordings->setLanguage(s.record.language());
    QMetaObject::invokeMethod(&core, "applySettings", Qt::QueuedConnection,
                              Q_ARG(halvern::AccountBlock, s.record.account()));
  });

  QObject::connect(&server, &corvane::InstanceServer::raiseRequested, &window, [&window] { window.bringToFront(); });

  window.show();
  // The recordings window is made once, hidden, with the keyset window's
  // first showing.
  recordings = std::make_unique<CDVrec>(service, s.record.language());
  recordings->setStoredRectangle(s.record.rectangle());
  connectRecordings(window, service, *recordings);
  // The sound starts with the window's first showing; without a device the
  // program says so and ends as the close box ends it, but not with 0.
  QTimer::singleShot(0, &window, [&s, &window, &core] {
    if (core.startAudio()) return;
    QMessageBox::critical(&window, QString::fromLatin1(kWindowTitle),
                          corvane::qtext(textsFor(s.record.language()), kTextAudioDeviceNotFound));
    s.close(true, kExitNoAudioDevice);
  });
  QApplication::exec();
  core.stop(s.unregisterAtClose);
  storeTags(window.tags(), s.record);
  s.record.setRectangle(recordings->rectangle());
  recordings.reset();
  window.closeNow();
  return s.exitCode;
}

int runHeadless(Session& s, KeysetCore& core) {
  HeadlessFrontEnd front(core, s.record);
  // Made before the front end's connection, so a snapshot reaches the
  // recordings first: "download" works from the line "link ready" on.
  RecordingService recordings(s.workDir, s.record.language());
  QObject::connect(&core, &KeysetCore::snapshotReady, &recordings,
                   [&recordings](const KeysetSnapshot& snap) { recordings.refresh(snap); });
  front.setRecordings(&recordings);
  QObject::connect(&core, &KeysetCore::snapshotReady, &front, &HeadlessFrontEnd::showSnapshot);
  QObject::connect(&front, &HeadlessFrontEnd::closeRequested, &front, [&s] { s.close(true); });
  if (!core.startAudio()) {
    front.showError(kTextAudioDeviceNotFound);
    s.close(true, kExitNoAudioDevice);
  }

  QCoreApplication::exec();
  core.stop(s.unregisterAtClose);
  return s.exitCode;
}

}  // namespace

QString aboutText(const KeysetSnapshot& last, int language) {
  const corvane::StringTable& t = textsFor(language);
  QString about = QString::fromLatin1(kWindowTitle) + " " + QString::fromLatin1(kVersion);
  if (last.running()) {
    std::string line = text(kTextConnectedAs, language);
    const std::string name = last.exchangeName.substr(0, last.exchangeName.find('\0'));
    for (const std::string& part : {name, extensionDigits(last.extension)}) {
      const std::size_t at = line.find("%s");
      if (at != std::string::npos) line.replace(at, 2, part);
    }
    about += "\n" + corvane::qtext(t, line);
  }
  about += "\n\nKV430 keyset for the Corvane exchange.";
  return about;
}

namespace {

const char* kUsage =
    "usage: halvern [--headless] [--audio default|null|file:IN.wav:OUT.wav]\n"
    "               [-C<account id>] [-I<exchange host>] [-P<password>] [-U<authentication id>]\n"
    "\n"
    "BRENNIC Halvern KV430, the IP keyset of Corvane exchanges. All files are kept\n"
    "in the current directory (Settings.bin, the .ads account profiles, Wav/).\n"
    "-C, -I, -P and -U override the stored account; --headless runs without a\n"
    "window (one line per change on standard output, keys and commands on\n"
    "standard input: key, type, hook, settings, unregister, download, quit; see\n"
    "man halvern). \"download\" fetches the extension's recordings into Wav/ once\n"
    "the exchange has announced its recording port, printing <tick> status \"TEXT\".\n"
    "A second start brings the first to the front.\n";

bool haveDisplay() {
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* e = std::getenv(v);
    if (e && *e) return true;
  }
  return false;
}

}  // namespace

int runHalvern(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  const ProgramOptions options = takeProgramOptions(argc, argv);
  // Without a display Qt would abort with its own words; say what to do.
  if (!options.headless && !haveDisplay()) {
    std::fputs("halvern: no display: start it in a desktop session, or with --headless\n", stderr);
    return 1;
  }
  std::unique_ptr<QCoreApplication> app;
  if (options.headless)
    app = std::make_unique<QCoreApplication>(argc, argv);
  else
    app = std::make_unique<QApplication>(argc, argv);
  registerKeysetTypes();

  // Another softphone of this user is brought to the front instead.
  if (corvane::sendInstanceCommand(QString::fromLatin1(kWindowTitle), "raise")) return 0;

  Session s;
  s.workDir = corvane::currentDirectory();
  corvane::ensureDirectory(corvane::joinPath(s.workDir, "Wav"));
  s.record = SettingsRecord::defaults(languageFromLocale(QLocale::system().name().toStdString()), AccountBlock{});
  loadSettingsRecord(s.record, s.workDir);
  AccountBlock account = s.record.account();
  applyCommandLine(joinArguments(options.arguments), account);
  s.record.setAccount(account);

  // Signals and the endpoint's commands are caught from here on; one that
  // comes before the loop runs is acted on as soon as it does.
  corvane::SignalBridge signals_;
  QObject::connect(&signals_, &corvane::SignalBridge::terminateRequested, app.get(), [&s](int) { s.close(true); });
  corvane::InstanceServer server;
  QObject::connect(&server, &corvane::InstanceServer::closeRequested, app.get(), [&s] { s.close(false); });
  server.listen(QString::fromLatin1(kWindowTitle));

  KeysetCore core(s.record.account());
  core.setAudioChoice(parseAudioOption(options.audio, options.headless, s.workDir));
  if (!core.start()) {
    const QString failed = corvane::qtext(textsFor(s.record.language()), kTextTimerFailed);
    if (options.headless)
      std::fprintf(stderr, "%s\n", failed.toLocal8Bit().constData());
    else
      QMessageBox::critical(nullptr, QString::fromLatin1(kWindowTitle), failed);
    return 1;
  }
  if (!options.headless) static_cast<QApplication*>(app.get())->setQuitOnLastWindowClosed(false);
  const int rc = options.headless ? runHeadless(s, core) : runWindow(s, core, server);
  saveSettingsRecord(s.record, s.workDir);
  return rc;
}

}  // namespace halvern::ui
