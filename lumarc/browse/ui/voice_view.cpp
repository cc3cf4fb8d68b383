#include "lumarc/browse/ui/voice_view.h"

#include "common/files.h"
#include "common/qt/qt_text.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/report_plan.h"
#include "lumarc/browse/selection.h"
#include "lumarc/browse/voice_report.h"
#include "lumarc/store/database.h"
#include "lumarc/store/record_store.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <exception>
#include <filesystem>

namespace lumarc::browse {

// ---- Shared actions ----

bool playRecording(const std::string& path) {
  const QString file = QString::fromStdString(path);
  if (path.empty() || !QFileInfo(file).isFile()) return false;
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(file))) return true;
  // A platform without desktop services (offscreen, minimal) still has the
  // desktop's opener.
  return QProcess::startDetached("xdg-open", {file});
}

std::string askArchiveTarget(QWidget* parent, const corvane::StringTable& texts, const std::string& suggested) {
  // The table's filter is "<name>|<pattern>|": the dialog takes the name part.
  std::string filter = texts.text(kTextWaveFileFilter);
  filter = filter.substr(0, filter.find('|'));
  const QString chosen =
      QFileDialog::getSaveFileName(parent, QString(), QString::fromStdString(suggested), corvane::qtext(texts, filter));
  return chosen.toStdString();
}

bool archiveRecording(const corvane::StringTable& texts, const std::string& path,
                      const std::function<std::string(const std::string& suggested)>& chooseTarget,
                      const std::function<void(const std::string&)>& message) {
  if (path.empty() || !chooseTarget) return false;
  const std::string target = chooseTarget(std::filesystem::path(path).filename().string());
  if (target.empty()) return false;
  std::string error;
  const CopyResult r = copyRecording(path, target, error);
  if (r == CopyResult::Copied) return true;
  if (message) message(texts.text(kTextCopyFailed) + (error.empty() ? "" : " " + error));
  return false;
}

// ---- The browser ----

CfwDbVrc::CfwDbVrc(const corvane::StringTable& texts, std::string directory, VoiceViewHooks hooks, QWidget* parent)
    : CfwDblist(texts, parent), texts_(texts), directory_(std::move(directory)), hooks_(std::move(hooks)),
      selection_(defaultSelection()) {
  setObjectName("voiceView");
  if (!hooks_.chooseDirectory) {
    hooks_.chooseDirectory = [this] {
      return QFileDialog::getExistingDirectory(this, corvane::qtext(texts_, kTextSelectVoiceDirectory),
                                               QString::fromStdString(directory_))
          .toStdString();
    };
  }
  if (!hooks_.chooseTarget) {
    hooks_.chooseTarget = [this](const std::string& suggested) { return askArchiveTarget(this, texts_, suggested); };
  }
  connect(this, &CfwDblist::lineActivated, this, [this](int line) { play(line); });
}

CfwDbVrc::~CfwDbVrc() = default;

void CfwDbVrc::say(const std::string& text) const {
  if (hooks_.message) hooks_.message(text);
}

store::Database* CfwDbVrc::database() const {
  if (own_) return own_.get();
  if (ownFailed_) return nullptr;
  return hooks_.voiceDatabase ? hooks_.voiceDatabase() : nullptr;
}

void CfwDbVrc::list() {
  clear();
  statistics_.clear();
  if (hooks_.formSelection)
    if (std::optional<TemplateRecord> s = hooks_.formSelection()) selection_ = *s;
  store::Database* db = database();
  if (!db) return;
  VoiceListing l = listRecordings(
      *db, hooks_.mainDatabase ? hooks_.mainDatabase() : nullptr, planFor(selection_, ListedTable::Voice), texts_,
      [this](std::string_view text, int32_t kind, int32_t index, int32_t extra) { addLine(text, kind, index, extra); },
      [this](int32_t lines, int64_t rows) {
        if (hooks_.status) hooks_.status(std::to_string(lines) + " / " + std::to_string(rows));
      });
  statistics_ = l.statistics;
  setHeaders(l.header1, "");
  if (!l.error.empty()) say(l.error);
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
}

std::optional<VoiceRecord> recordingOfLine(const std::optional<LineRecord>& line, store::Database* db) {
  if (!line || line->kind != kRecordingLineKind || !db) return std::nullopt;
  try {
    store::DrptVset rows(*db);
    return rows.find(line->index);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<VoiceRecord> CfwDbVrc::selectedRecording() const {
  const int line = selectedLine();
  return recordingOfLine(line >= 0 ? lineAt(line) : std::nullopt, database());
}

bool CfwDbVrc::commandEnabled(int id) const {
  switch (id) {
    case kCmdSelect:
    case kCmdList:
    case kCmdDatabase:
    case kCmdScan: return true;
    case kCmdChart: return statistics_.count > 0;
    case kCmdArchive:
    case kCmdPlay: {
      const int line = selectedLine();
      std::optional<LineRecord> r = line >= 0 ? lineAt(line) : std::nullopt;
      return r && r->kind == kRecordingLineKind;
    }
    case kCmdCallTrace: {
      std::optional<VoiceRecord> r = selectedRecording();
      return r && r->cref != 0;
    }
    case kCmdPrint: return count() > 0;
    default: return false;
  }
}

void CfwDbVrc::command(int id) {
  switch (id) {
    case kCmdList: list(); break;
    case kCmdDatabase: {
      const std::string dir = hooks_.chooseDirectory ? hooks_.chooseDirectory() : std::string();
      if (!dir.empty()) openDirectory(dir);
      break;
    }
    case kCmdScan: scan(); break;
    case kCmdPlay: play(selectedLine()); break;
    case kCmdArchive:
      if (std::optional<VoiceRecord> r = selectedRecording())
        archiveRecording(texts_, recordingPath(*r), hooks_.chooseTarget, hooks_.message);
      break;
    case kCmdPrint: printWithDialog(); break;
    default: return;
  }
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
}

void CfwDbVrc::play(int line) {
  // The line asked for (a double-click), not whatever is selected.
  if (std::optional<VoiceRecord> r = recordingOfLine(line >= 0 ? lineAt(line) : std::nullopt, database()))
    playRecording(recordingPath(*r));
}

bool CfwDbVrc::openDirectory(std::string dir) {
  if (dir.back() != '/') dir += '/';
  own_.reset();
  ownFailed_ = true;
  directory_ = dir;
  clear();
  statistics_.clear();
  const std::string path = corvane::joinPath(dir, RecordStore::kVoiceFile);
  const DbFileKind kind = detectDbFileKind(path);
  if (kind == DbFileKind::Missing && !RecordStore::createBlankDatabase(path)) {
    say(path + " " + texts_.text(kTextFileAccessFailed));
    return false;
  }
  if (kind != DbFileKind::Missing && kind != DbFileKind::Sqlite && kind != DbFileKind::Empty) {
    say(texts_.text(kTextDbaseOpenFailed) + " " + path);
    return false;
  }
  try {
    auto db = std::make_unique<store::Database>(sqliteConnectionString(path), texts_.codePage());
    db->ensureTables(store::voiceTables());
    own_ = std::move(db);
    ownFailed_ = false;
    return true;
  } catch (const std::exception& e) {
    say(texts_.text(kTextDbaseOpenFailed) + " " + store::failureText(e));
    return false;
  }
}

void CfwDbVrc::scan() {
  store::Database* db = database();
  clear();
  statistics_.clear();
  if (!db) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ScanResult r = scanRecordings(*db, directory_);
  std::string error = r.error;
  for (const std::string& port : r.ports) {
    std::string e;
    if (hooks_.ensureUser && !hooks_.ensureUser(port, e) && error.empty()) error = e;
  }
  QApplication::restoreOverrideCursor();
  if (!error.empty()) say(error);
  // Recordings still waiting for conversion are taken up now.
  if (hooks_.wakeConverter) hooks_.wakeConverter();
}

}  // namespace lumarc::browse
