// The voice recording listing: the recordings of table Vdata00 that a
// selection asks for, as list lines (user headings in the grouped modes,
// one line per recording), with the call statistics of what was listed.
// Pure over the databases and a line sink, so the browser, the call trace
// and the command-line report make the same lines.
#pragma once

#include "common/string_table.h"
#include "lumarc/browse/report_plan.h"
#include "lumarc/browse/statistics.h"
#include "lumarc/records/records.h"
#include "lumarc/store/database.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::browse {

class DefinitionIndex;

// Line kinds of the voice list and the call trace.
inline constexpr int32_t kPlainLineKind = 0;      // headings and empty lines
inline constexpr int32_t kRecordingLineKind = 2;  // index = the recording's sqno

// Receives the lines of a listing in order.
using LineSink = std::function<void(std::string_view text, int32_t kind, int32_t index, int32_t extra)>;

// The path of a recording's file: rcdfn, "." and rcdfx.
std::string recordingPath(const VoiceRecord& r);

// One recording line (columns of kTextVoiceColumns): port in 8, date
// "20YY/MM/DD" and time "hh:mm:ss", duration text, direction mark in 5,
// line, dialled and calling digits in 16 each (the numbers replaced by
// definition names when an index is given), the file path.
std::string recordingLine(const VoiceRecord& r, const corvane::StringTable& texts,
                          const DefinitionIndex* dialled = nullptr, const DefinitionIndex* calling = nullptr);

struct VoiceListing {
  int32_t lines = 0;       // lines handed to the sink
  int32_t recordings = 0;  // recording lines among them
  int64_t rowsRead = 0;
  std::string header1;  // the column titles when a recording was listed, else empty
  CallStatistics statistics;
  std::string error;  // the database's failure text, empty when the listing is whole
};

// Lists the recordings of `voiceDb` that a voice plan (planFor(s,
// ListedTable::Voice)) asks for, in the order of its listing mode. Users (headings and the user
// tests of modes 2, 4, 5) and the number definitions of "Replace digits"
// come from `mainDb`; without it there are no names and no replacement.
// `progress` is called every 1024 rows read with (lines, rows read);
// `listed` with each recording right after its line.
VoiceListing listRecordings(store::Database& voiceDb, store::Database* mainDb, const ReportPlan& plan,
                            const corvane::StringTable& texts, const LineSink& sink,
                            const std::function<void(int32_t, int64_t)>& progress = {},
                            const std::function<void(const VoiceRecord&)>& listed = {});

// ---- Recording files ----

// Whether a directory entry's name has the recordings' form
// "????????_??????_??????_*.*".
bool matchesRecordingPattern(std::string_view name);

struct ScanResult {
  int64_t stored = 0;              // rows now in Vdata00
  std::vector<std::string> ports;  // the recorded ports, each once, in file order
  std::string error;               // the database's failure text; the table is then as before
};

// Rebuilds Vdata00 from the recordings of `dir` in one transaction: every
// row deleted, one row per file whose name reads back into a row. Files
// that do not match, or are no recordings, are left out. On a failure the
// transaction is rolled back and the table keeps its rows.
ScanResult scanRecordings(store::Database& voiceDb, const std::string& dir);

enum class CopyResult {
  Copied,
  SameFile,       // the target is the recording itself
  SourceMissing,  // the recording cannot be read
  Failed,         // the target cannot be written; nothing is left of it
};

// Copies a recording byte for byte through a temporary file in the
// target's directory that is renamed to the target at the end, so a target
// is either the whole copy or untouched. `error` gets the cause.
CopyResult copyRecording(const std::string& source, const std::string& target, std::string& error);

}  // namespace lumarc::browse
