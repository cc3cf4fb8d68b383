// The CMDR report: the streamed query of Cdata of a report plan, turned into
// record lines, user headings, sub-totals and totals with charge amounts.
// The CMDR browser, "Save", "Mail" and the command line all run this one
// builder, so a saved report is the same bytes wherever it was made. Also
// the report file, and the archive copy and deletion of a listing's rows.
#pragma once

#include "common/string_table.h"
#include "lumarc/browse/line_store.h"
#include "lumarc/browse/report_plan.h"
#include "lumarc/browse/selection.h"
#include "lumarc/records/records.h"
#include "lumarc/store/database.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumarc {
struct CallStatistics;
class RecordStore;
}  // namespace lumarc

namespace lumarc::browse {

// Line kinds of the CMDR list: record lines carry the record's sqno as
// index and its position in the query result as extra.
inline constexpr int32_t kCmdrRecordLine = 4;
inline constexpr int32_t kCmdrPlainLine = 0;

// A sub-total or total.
struct ReportTotals {
  uint64_t calls = 0;
  uint64_t duration = 0;
  uint64_t rpuls = 0, ppuls = 0;
  double externalAmount = 0, internalAmount = 0;
};

enum class ReportLineKind { Record, Heading, SubTotal, Total, Empty };

// One line of the report as it is made.
struct ReportLine {
  ReportLineKind kind = ReportLineKind::Empty;
  std::string text;
  // Record lines: the record, its position in the query result, its amounts
  // and acknowledged mark.
  const CmdrRecord* record = nullptr;
  int32_t position = 0;
  double externalAmount = 0, internalAmount = 0;
  bool acknowledged = false;
  // Heading lines: the user's name text (trailing blanks removed) and port.
  std::string userName, userPort;
  // Sub-total and total lines.
  ReportTotals totals;

  int32_t lineKind() const { return kind == ReportLineKind::Record ? kCmdrRecordLine : kCmdrPlainLine; }
  int32_t lineIndex() const { return record ? record->sqno : 0; }
};

// Where the report's lines go.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  virtual void line(const ReportLine& l) = 0;
  // Every 1024 records read: lines listed so far, records read.
  virtual void progress(int listed, int read) { (void)listed, (void)read; }
};

// A sink that appends to a line store (kind, index = sqno, extra = position).
class LineStoreSink : public ReportSink {
 public:
  explicit LineStoreSink(LineStore& lines) : lines_(lines) {}
  void line(const ReportLine& l) override { lines_.add(l.text, l.lineKind(), l.lineIndex(), l.position); }

 private:
  LineStore& lines_;
};

struct CmdrReportResult {
  std::string header1, header2;
  int lines = 0;       // lines made
  int read = 0;        // records read
  ReportTotals total;  // the total's figures (calls = 0: nothing counted)
  std::string error;   // the database's failure text; empty when the query ran to its end
};

// The report's texts (numbered string-table entries).
struct CmdrReportTexts {
  std::string longHeader, shortHeader;
  std::string subTotal, total, calls, duration, pulses;
  static CmdrReportTexts from(const corvane::StringTable& texts);
};

// Runs the plan's query and makes the report into sink; counts every
// totalled call into stats when given.
CmdrReportResult buildCmdrReport(store::Database& db, const ReportPlan& plan, const CmdrReportTexts& texts,
                                 ReportSink& sink, CallStatistics* stats = nullptr);

// The column titles of the plan's listing: a listing that totals any call
// has them as header 1, an empty one has no headers.
std::string cmdrReportHeader(const ReportPlan& plan, const CmdrReportTexts& texts);

// " Sub Total: <external> <unit> <internal> <unit> Calls:<n> Duration:<s> Pulses:<r> <p> "
std::string totalsLine(const std::string& label, const ReportTotals& t, const std::string& unit,
                       const CmdrReportTexts& texts);
// A decimal number left-aligned in n; a longer one keeps its last n digits.
std::string leftAligned(uint64_t v, size_t n);

// The report file's bytes: header 1 and header 2 each with CR LF when not
// empty, then every line of the store with CR LF, 8-bit text unchanged.
// False when a write fails.
bool writeReport(std::FILE* out, const std::string& header1, const std::string& header2, LineStore& lines);
// The same over any list of lines: count lines, line(i) the text of line i
// (nothing: the line cannot be read, and the write fails).
bool writeReport(std::FILE* out, const std::string& header1, const std::string& header2, int count,
                 const std::function<std::optional<std::string>(int)>& line);
bool writeReportFile(const std::string& path, const std::string& header1, const std::string& header2, int count,
                     const std::function<std::optional<std::string>(int)>& line);
// The same into a file, created or truncated. False (nothing written) when
// it cannot be created, or when a write fails.
bool writeReportFile(const std::string& path, const std::string& header1, const std::string& header2, LineStore& lines);

// ---- Archive and deletion ----

struct ArchiveResult {
  enum class Status { Copied, Refused, CannotCreate, Failed };
  Status status = Status::Failed;
  uint64_t copied = 0;
  std::vector<int32_t> sqnos;  // the rows copied (only when Copied)
  std::string error;
};

// Copies every row of the plan's query (not the record tests) into a
// new archive file at path, in one transaction, the rows taking new
// counter values. Refused when path is (canonically) one of openDatabases.
// Copied only when every row read was copied; progress(copied) every 1024.
ArchiveResult archiveCmdrRecords(RecordStore& store, store::Database& source, const ReportPlan& plan,
                                 const std::string& path, const std::vector<std::string>& openDatabases,
                                 bool replaceConfirmed, const std::function<void(uint64_t)>& progress = {});
// Deletes exactly the rows with these sqnos, in one transaction. False,
// nothing deleted, on a database failure.
bool deleteCmdrRecords(store::Database& db, const std::vector<int32_t>& sqnos, std::string& error);

}  // namespace lumarc::browse
