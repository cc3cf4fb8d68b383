// The CMDR browser: the call records of a selection listed with user
// headings, sub-totals and totals (the report builder's lines), saved as a
// report file, CSV or PDF, mailed, archived into another database file and,
// once archived, deleted. Its chart and call trace start from its listing.
#pragma once

#include "lumarc/browse/ui/dblist.h"
#include "lumarc/browse/statistics.h"
#include "lumarc/records/records.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumarc {
class RecordStore;
class ProcessRunner;
namespace store {
class Database;
}
}  // namespace lumarc

namespace lumarc::browse {

enum class ReportFileFormat { Text, Csv, Pdf };

struct CmdrViewHooks {
  std::function<store::Database*()> database;      // the browser's database; null while none is connected
  std::function<store::Database*()> userDatabase;  // the users edited in the properties window; may be null
  std::function<RecordStore*()> store;             // makes archive files
  // The selection form's CMDR selection when "List" came from the form.
  std::function<std::optional<TemplateRecord>()> formSelection;
  // Canonical paths of the databases the program has open (never an archive target).
  std::function<std::vector<std::string>()> openDatabases;
  // "Database": connect the browser to this file; false when it cannot be opened.
  std::function<bool(const std::string& path)> connectDatabase;
  std::function<void(const std::string&)> message;  // message bar (8-bit text)
  std::function<void(const std::string&)> status;   // status bar pane 2
  std::function<void(const UserRecord&)> editUser;
  std::function<void()> refreshToolbar;
  std::string workingDirectory;  // where "Mail" writes "mail.txt"
  // Dialogs and the mail program, replaced in tests. Empty results cancel.
  std::function<std::string()> chooseDatabase;
  std::function<std::string(bool& replaceConfirmed)> chooseArchive;
  std::function<std::string(ReportFileFormat& format)> chooseReport;
  ProcessRunner* mailRunner = nullptr;  // null: the system's
};

class CfwDbCdr : public CfwDblist {
  Q_OBJECT
 public:
  CfwDbCdr(const corvane::StringTable& texts, CmdrViewHooks hooks, QWidget* parent = nullptr);
  ~CfwDbCdr() override;

  // Lists the records of the browser's selection (the form's, when "List"
  // came from there).
  void list();
  void command(int id);
  bool commandEnabled(int id) const;

  void setSelection(const TemplateRecord& s) { selection_ = s; }
  const TemplateRecord& selection() const { return selection_; }
  const CallStatistics& statistics() const { return stats_; }
  // Whether the last listing was archived completely ("Trash" possible).
  bool archived() const { return archived_; }
  // The record of the selected line (a record line), read from the database.
  std::optional<CmdrRecord> selectedRecord() const;

  // The commands' work without dialogs (the dialogs call these).
  bool archiveTo(const std::string& path, bool replaceConfirmed);
  bool trash();
  bool saveReport(const std::string& path, ReportFileFormat format);
  void mail();

 private:
  void openUser(int line);
  std::optional<CmdrRecord> recordOf(int line) const;

  const corvane::StringTable& texts_;
  CmdrViewHooks hooks_;
  TemplateRecord selection_;
  CallStatistics stats_;
  bool archived_ = false;
  std::vector<int32_t> archivedRows_;
  std::optional<CmdrRecord> selected_;
};

}  // namespace lumarc::browse
