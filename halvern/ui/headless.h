// `halvern --headless`: the keyset without a window. The core thread runs as
// in the window program; standard output gets one flushed line per change,
// "<tick> <event>" with the tick in protocol ticks since start, and standard
// input takes one command a line (key, type, hook, settings, unregister,
// download, quit). Keys and the hook outside Running are dropped by the core.
#pragma once

#include "halvern/keyset_snapshot.h"
#include "halvern/settings_record.h"

#include <QObject>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;

namespace halvern::ui {

class KeysetCore;
class RecordingService;

// Turns snapshots into the event lines, printing only what changed. The
// first snapshot prints every non-blank display line and every lamp that is
// not off, then the state.
class HeadlessPrinter {
 public:
  // `language` picks the code page the display bytes are shown through.
  explicit HeadlessPrinter(int language) : language_(language) {}
  void setLanguage(int language) { language_ = language; }
  // The lines this snapshot adds, without line ends.
  std::vector<std::string> update(const KeysetSnapshot& s);

 private:
  int language_;
  std::optional<KeysetSnapshot> last_;
};

// The extension digits of a packed BCD value (filler nibbles left out).
std::string extensionDigits(std::uint32_t packed);

// One line of standard input, read.
struct HeadlessCommand {
  enum class Kind { Key, Hook, Settings, Unregister, Download, Quit, Error };
  Kind kind = Kind::Error;
  std::vector<std::uint16_t> codes;  // Key: the codes to press, in order
  std::string error;                 // Error: what was wrong
  // Settings: the fields given (UTF-8 as typed), each optional.
  std::optional<std::string> host, account, auth, password;
  std::optional<int> language;
};
HeadlessCommand parseHeadlessCommand(std::string_view line);

// Applies a settings command to the record as the dialog's OK does: the
// fields given replace the stored ones, cut to their field sizes; the
// texts go into the code page of the (new) language.
void applySettingsCommand(const HeadlessCommand& c, SettingsRecord& record);

// The headless front end: prints the core's snapshots and feeds it the
// commands read from standard input. Emits closeRequested on "quit" and at
// the end of input.
class HeadlessFrontEnd : public QObject {
  Q_OBJECT
 public:
  HeadlessFrontEnd(KeysetCore& core, SettingsRecord& record, int inputFd = 0, QObject* parent = nullptr);

  // The recording download that "download" starts and whose status lines
  // are printed as "<tick> status "TEXT"" when they change.
  void setRecordings(RecordingService* recordings);

 signals:
  void closeRequested();

 public slots:
  void showSnapshot(const halvern::KeysetSnapshot& snapshot);
  // Prints "<tick> error "TEXT"" with a text of the string table.
  void showError(int textId);
  // Prints the recording status lines that changed and are not empty.
  void showRecordingStatus();

 private:
  void onInput();
  void handleLine(std::string_view line);
  void print(const std::string& line);

  KeysetCore& core_;
  SettingsRecord& record_;
  RecordingService* recordings_ = nullptr;
  std::string statusShown_[2];
  HeadlessPrinter printer_;
  int inputFd_;
  QSocketNotifier* notifier_ = nullptr;
  std::string pending_;
  std::uint64_t lastTick_ = 0;
  bool ended_ = false;
};

}  // namespace halvern::ui
