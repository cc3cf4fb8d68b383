// The voice recording browser (CfwDbVrc): lists the recordings a voice
// selection asks for, plays and copies a recording, rebuilds the table from
// the recording files of its directory, and offers the call trace of a
// recording. Also the play and copy actions the call trace shares.
#pragma once

// The list (and with it Qt) first: moc reads the headers in this order.
#include "lumarc/browse/ui/dblist.h"
#include "lumarc/browse/statistics.h"
#include "lumarc/records/records.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lumarc::store {
class Database;
}

namespace lumarc::browse {

// Opens an existing recording file with the desktop's player, without
// waiting for it. A missing file starts nothing (false).
bool playRecording(const std::string& path);
// The recording a list line shows, read from db by its key; nothing for a
// line of another kind, without a database, or when the row is gone.
std::optional<VoiceRecord> recordingOfLine(const std::optional<LineRecord>& line, store::Database* db);

// Asks for a target (suggested name: the file's title) and copies the
// recording there; a failure goes to `message` in words. False when nothing
// was copied (also when the user cancelled).
bool archiveRecording(const corvane::StringTable& texts, const std::string& path,
                      const std::function<std::string(const std::string& suggested)>& chooseTarget,
                      const std::function<void(const std::string&)>& message);

// The save dialog of "Archive": the file's name suggested, the wave filter.
std::string askArchiveTarget(QWidget* parent, const corvane::StringTable& texts, const std::string& suggested);

struct VoiceViewHooks {
  std::function<store::Database*()> voiceDatabase;  // the program's voice database ("Wav"); may be null
  std::function<store::Database*()> mainDatabase;   // users and number definitions; may be null
  // The selection form's voice selection ("List"); nothing keeps the view's own.
  std::function<std::optional<TemplateRecord>()> formSelection;
  std::function<void(const std::string&)> message;  // message bar (8-bit text)
  std::function<void(const std::string&)> status;   // status bar pane 2 (listing progress)
  // Gives a scanned port its user row when it has none.
  std::function<bool(const std::string& port, std::string& error)> ensureUser;
  std::function<void()> wakeConverter;
  std::function<void()> refreshToolbar;
  // Dialogs, replaced in tests: a directory ("" = cancelled), a save target.
  std::function<std::string()> chooseDirectory;
  std::function<std::string(const std::string& suggested)> chooseTarget;
};

class CfwDbVrc : public CfwDblist {
  Q_OBJECT
 public:
  // directory: the recording directory at start ("<working directory>/Wav/").
  CfwDbVrc(const corvane::StringTable& texts, std::string directory, VoiceViewHooks hooks, QWidget* parent = nullptr);
  ~CfwDbVrc() override;

  // Lists the recordings of the view's selection.
  void list();
  void setSelection(const TemplateRecord& s) { selection_ = s; }
  const TemplateRecord& selection() const { return selection_; }

  // Database, Scan, Archive, Play and List; Chart and Call trace switch views
  // and are only enabled here.
  void command(int id);
  bool commandEnabled(int id) const;

  // Re-points the view's own connection to the voice database in dir (a
  // trailing separator added) and clears the list; false, with the old
  // connection closed, when it cannot be opened.
  bool openDirectory(std::string dir);
  // Rebuilds the table from the directory's recordings.
  void scan();

  // The database the view reads: its own after "Database", else the program's.
  store::Database* database() const;
  const std::string& directory() const { return directory_; }
  const CallStatistics& statistics() const { return statistics_; }
  // The recording of the selected line, read back from the database.
  std::optional<VoiceRecord> selectedRecording() const;

 private:
  void play(int line);
  void say(const std::string& text) const;

  const corvane::StringTable& texts_;
  std::string directory_;
  VoiceViewHooks hooks_;
  TemplateRecord selection_;
  CallStatistics statistics_;
  std::unique_ptr<store::Database> own_;
  bool ownFailed_ = false;  // "Database" chose a directory whose database could not be opened
};

}  // namespace lumarc::browse
