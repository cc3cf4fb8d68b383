#include "lumarc/browse/ui/cmdr_view.h"

#include "common/files.h"
#include "common/qt/qt_text.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/cmdr_report.h"
#include "lumarc/browse/csv.h"
#include "lumarc/browse/report_plan.h"
#include "lumarc/browse/selection.h"
#include "lumarc/browse/ui/list_print.h"
#include "lumarc/links/mail_file.h"
#include "lumarc/store/record_store.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include <cstdio>

namespace lumarc::browse {

namespace {

std::string localPath(const QString& s) { return QFile::encodeName(s).toStdString(); }

// The browser's list as a report sink, with the progress in pane 2.
class ListSink : public ReportSink {
 public:
  ListSink(CfwDblist& list, const std::function<void(const std::string&)>& status) : list_(list), status_(status) {}
  void line(const ReportLine& l) override { list_.addLine(l.text, l.lineKind(), l.lineIndex(), l.position); }
  void progress(int listed, int read) override {
    if (status_) status_(std::to_string(listed) + " / " + std::to_string(read));
  }

 private:
  CfwDblist& list_;
  const std::function<void(const std::string&)>& status_;
};

}  // namespace

CfwDbCdr::CfwDbCdr(const corvane::StringTable& texts, CmdrViewHooks hooks, QWidget* parent)
    : CfwDblist(texts, parent), texts_(texts), hooks_(std::move(hooks)), selection_(defaultSelection()) {
  setObjectName("cmdrBrowser");
  if (!hooks_.chooseDatabase)
    hooks_.chooseDatabase = [this] {
      const QString f = QFileDialog::getOpenFileName(this, QString(), QString(), "CMDR database file (*.mdb)");
      return localPath(f);
    };
  if (!hooks_.chooseArchive)
    hooks_.chooseArchive = [this](bool& replace) {
      const QString f = QFileDialog::getSaveFileName(this, QString(), QString(), "CMDR database file (*.mdb)");
      // The dialog asked before an existing file is chosen.
      replace = !f.isEmpty() && QFileInfo::exists(f);
      return localPath(f);
    };
  if (!hooks_.chooseReport)
    hooks_.chooseReport = [this](ReportFileFormat& format) {
      const QStringList filters = corvane::qtext(texts_, kTextReportFormats).split('\n');
      QString chosen;
      const QString f = QFileDialog::getSaveFileName(this, QString(), QString(), filters.join(";;"), &chosen);
      const int at = int(filters.indexOf(chosen));
      format = at == 1 ? ReportFileFormat::Csv : at == 2 ? ReportFileFormat::Pdf : ReportFileFormat::Text;
      return localPath(f);
    };
  connect(this, &CfwDblist::lineActivated, this, [this](int line) { openUser(line); });
  connect(this, &CfwDblist::selectionChanged, this, [this](int line) {
    selected_ = recordOf(line);
    if (hooks_.refreshToolbar) hooks_.refreshToolbar();
  });
}

CfwDbCdr::~CfwDbCdr() = default;

void CfwDbCdr::list() {
  if (hooks_.formSelection)
    if (std::optional<TemplateRecord> s = hooks_.formSelection()) selection_ = *s;
  clear();
  stats_.clear();
  archived_ = false;
  archivedRows_.clear();
  selected_.reset();
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!db) {
    if (hooks_.message) hooks_.message(texts_.text(kTextDatabaseAccessFailed));
    return;
  }
  ListSink sink(*this, hooks_.status);
  const CmdrReportResult r = buildCmdrReport(*db, planFor(selection_), CmdrReportTexts::from(texts_), sink, &stats_);
  if (!r.error.empty() && hooks_.message) hooks_.message(texts_.text(kTextDatabaseAccessFailed) + " " + r.error);
  setHeaders(r.header1, r.header2);
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
}

std::optional<CmdrRecord> CfwDbCdr::recordOf(int line) const {
  std::optional<LineRecord> l = lineAt(line);
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!l || l->kind != kCmdrRecordLine || !db) return std::nullopt;
  store::DrptCset records(*db);
  return records.find(l->index);
}

std::optional<CmdrRecord> CfwDbCdr::selectedRecord() const { return selected_; }

void CfwDbCdr::openUser(int line) {
  std::optional<CmdrRecord> r = recordOf(line);
  store::Database* users = hooks_.userDatabase ? hooks_.userDatabase() : nullptr;
  if (!r || !users || !hooks_.editUser) return;
  store::DrptPset pset(*users);
  if (!pset.open(store::Condition::eq("cport", r->cport), store::sortBy("sqno"))) return;
  UserRecord u;
  if (pset.next(u)) hooks_.editUser(u);
}

bool CfwDbCdr::commandEnabled(int id) const {
  switch (id) {
    case kCmdSelect:
    case kCmdList:
    case kCmdDatabase: return true;
    case kCmdChart: return stats_.count > 0;
    case kCmdArchive:
    case kCmdSave:
    case kCmdMail:
    case kCmdPrint: return count() > 0;
    case kCmdTrash: return count() > 0 && archived_;
    case kCmdCallTrace: return selected_ && selected_->crefa != 0 && selected_->crefb != 0;
    default: return false;
  }
}

void CfwDbCdr::command(int id) {
  if (!commandEnabled(id)) return;
  switch (id) {
    case kCmdList: list(); return;
    case kCmdDatabase: {
      const std::string path = hooks_.chooseDatabase();
      if (path.empty()) return;
      clear();
      stats_.clear();
      archived_ = false;
      archivedRows_.clear();
      selected_.reset();
      if (hooks_.connectDatabase && !hooks_.connectDatabase(path) && hooks_.message)
        hooks_.message(texts_.text(kTextDatabaseAccessFailed) + " " + path);
      return;
    }
    case kCmdArchive: {
      bool replace = false;
      const std::string path = hooks_.chooseArchive(replace);
      if (!path.empty()) archiveTo(path, replace);
      return;
    }
    case kCmdTrash: trash(); return;
    case kCmdSave: {
      ReportFileFormat format = ReportFileFormat::Text;
      const std::string path = hooks_.chooseReport(format);
      if (!path.empty()) saveReport(path, format);
      return;
    }
    case kCmdMail: mail(); return;
    case kCmdPrint: printWithDialog(); return;
    default: return;
  }
}

bool CfwDbCdr::archiveTo(const std::string& path, bool replaceConfirmed) {
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  RecordStore* store = hooks_.store ? hooks_.store() : nullptr;
  ArchiveResult r;
  if (db && store) {
    const auto open = hooks_.openDatabases ? hooks_.openDatabases() : std::vector<std::string>{};
    r = archiveCmdrRecords(*store, *db, planFor(selection_), path, open, replaceConfirmed, [this](uint64_t copied) {
      if (hooks_.status) hooks_.status(std::to_string(copied));
    });
  }
  archived_ = r.status == ArchiveResult::Status::Copied;
  archivedRows_ = std::move(r.sqnos);
  if (!archived_ && hooks_.message) hooks_.message(texts_.text(kTextCopyFailed));
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
  return archived_;
}

bool CfwDbCdr::trash() {
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!archived_ || !db) return false;
  std::string error;
  if (!deleteCmdrRecords(*db, archivedRows_, error)) {
    if (hooks_.message) hooks_.message(texts_.text(kTextDatabaseAccessFailed) + " " + error);
    return false;
  }
  clear();
  stats_.clear();
  archived_ = false;
  archivedRows_.clear();
  selected_.reset();
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
  return true;
}

bool CfwDbCdr::saveReport(const std::string& path, ReportFileFormat format) {
  bool ok = false;
  auto line = [this](int i) -> std::optional<std::string> {
    std::optional<LineRecord> l = lineAt(i);
    if (!l) return std::nullopt;
    return std::move(l->text);
  };
  switch (format) {
    case ReportFileFormat::Text: ok = writeReportFile(path, header1(), header2(), count(), line); break;
    case ReportFileFormat::Csv: {
      store::Database* db = hooks_.database ? hooks_.database() : nullptr;
      std::FILE* f = db ? std::fopen(path.c_str(), "wb") : nullptr;
      if (!f) break;
      const ReportPlan plan = planFor(selection_);
      CmdrCsvWriter csv(f, texts_.codePage(), plan.amounts.unit);
      const CmdrReportResult r = buildCmdrReport(*db, plan, CmdrReportTexts::from(texts_), csv);
      ok = csv.ok() && r.error.empty();
      if (std::fclose(f) != 0) ok = false;
      break;
    }
    case ReportFileFormat::Pdf: {
      PrintSource src;
      src.header1 = header1();
      src.header2 = header2();
      src.count = size_t(count());
      src.texts = &texts_;
      src.line = [this](size_t i) { return lineText(int(i)); };
      ok = printLinesToPdf(path, src);
      break;
    }
  }
  if (!ok && hooks_.message) hooks_.message(path + " " + texts_.text(kTextFileAccessFailed));
  return ok;
}

void CfwDbCdr::mail() {
  const std::string path = corvane::joinPath(hooks_.workingDirectory, "mail.txt");
  if (!saveReport(path, ReportFileFormat::Text)) return;
  std::unique_ptr<ProcessRunner> own;
  ProcessRunner* runner = hooks_.mailRunner;
  if (!runner) {
    own = systemProcessRunner();
    runner = own.get();
  }
  const MailOutcome outcome = mailFile(path, "Report.txt", *runner);
  if (std::optional<LinkMessage> m = mailOutcomeMessage(outcome); m && hooks_.message)
    hooks_.message(linkMessageText(texts_, *m, {}));
}

}  // namespace lumarc::browse
