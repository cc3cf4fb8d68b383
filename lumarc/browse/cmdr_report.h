// The CMDR report: the streamed query of Cdata of a report plan, turned into
// record lines, user headings, sub-totals and totals with charge amounts.
// The CMDR browser, "Save", "Mail" and the command line all run this one
// builder, so a saved report is the same bytes wherever it was made; a page
// of the listing is made by the same steps. Also the report file, and the
// archive copy and deletion of a listing's rows.
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
// totalled call into stats when given. A grouped listing (modes 1-5) reads
// its selection once in time order and puts the rows into user order
// through CmdrSort (memory: its buffer of 16 MB; the rest in a temporary
// file), so that no row costs a random read.
CmdrReportResult buildCmdrReport(store::Database& db, const ReportPlan& plan, const CmdrReportTexts& texts,
                                 ReportSink& sink, CallStatistics* stats = nullptr);

// The column titles of the plan's listing: a listing that totals any call
// has them as header 1, an empty one has no headers.
std::string cmdrReportHeader(const ReportPlan& plan, const CmdrReportTexts& texts);

// ---- One page of a listing ----
//
// A page is `count` lines of the listing from a cursor: exactly the lines,
// record positions, sub-totals and totals the whole listing has there. The
// cursor of the next page comes with each page, so a listing is walked page
// after page, each page resuming the query after the last row read.
//
// Cost of a page: one query of the rows after the cursor, read by
// store::CmdrReader in pages that start small and grow, and closed once the
// page is full; in a grouped listing one such query per user port reached, each
// port found by one look-up in the port index. No row before the cursor is
// read again. A grouped listing's query reads one user's remaining rows at
// once, as the whole listing does; the users are looked up once per page.
// Starting at a line without a cursor (cmdrPageCursorAt) reads every row
// before it once.

// A line made but not yet given to a page: the line, its record when it is
// a record line, and the running figures just before it.
struct PendingLine {
  ReportLine line;
  std::optional<CmdrRecord> record;  // the record of a record line
  ReportTotals subTotal, total;
};

// The running state of a listing between two lines.
struct CmdrPageCursor {
  int32_t line = 0;       // the listing line it stands before
  ReportTotals subTotal;  // the running sub-total there (grouped listings: the current user's)
  ReportTotals total;     // the running total there

  // Where the listing resumes.
  int32_t read = 0;  // rows read so far (the next record line's position)
  struct Group {
    ReportTotals subTotal, total;  // after the last row read
    std::string port;              // the user whose lines run
    bool inGroup = false;
  } group;
  bool started = false;  // a row was read: the query resumes after it
  std::string lastPort;  // (cport, tdate, sqno) of the last row read
  DateTime lastTime;
  int32_t lastSqno = 0;
  bool rowsDone = false;             // every row read, the closing lines made
  std::vector<PendingLine> pending;  // lines made that no page has given yet

  // Nothing comes after it.
  bool atEnd() const { return rowsDone && pending.empty(); }
};

struct CmdrPage {
  int lines = 0;        // lines given to the sink (count, or less at the end)
  CmdrPageCursor next;  // where the following page starts
  std::string error;    // the database's failure text; empty when the page is whole
};

// Lines [from.line, from.line + count) of the plan's listing into sink.
CmdrPage buildCmdrPage(store::Database& db, const ReportPlan& plan, const CmdrReportTexts& texts,
                       const CmdrPageCursor& from, int count, ReportSink& sink);
// The cursor before line `line` of the listing (at its end when it has
// fewer lines), made by reading the listing from its top without keeping
// lines. Nothing, with the failure text, on a database failure.
std::optional<CmdrPageCursor> cmdrPageCursorAt(store::Database& db, const ReportPlan& plan,
                                               const CmdrReportTexts& texts, int line, std::string& error);

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
