// The call trace: every CMDR record and every recording of one call, found
// by the exchange's call references, as one list (headings and empty lines,
// then the record lines of both kinds).
#pragma once

#include "common/string_table.h"
#include "lumarc/browse/voice_report.h"
#include "lumarc/records/records.h"
#include "lumarc/store/database.h"

#include <cstdint>
#include <optional>
#include <string>

namespace lumarc::browse {

// Line kind of a CMDR record in the trace (index = the record's sqno).
inline constexpr int32_t kTraceCmdrLineKind = 4;

// The references a trace looks for: a CMDR record's crefa and crefb, or a
// recording's cref alone.
struct TraceKey {
  uint32_t first = 0;
  std::optional<uint32_t> second;

  static TraceKey ofRecord(const CmdrRecord& r) { return TraceKey{r.crefa, r.crefb}; }
  static TraceKey ofRecording(const VoiceRecord& r) { return TraceKey{r.cref, std::nullopt}; }
  // A key with a zero reference finds nothing.
  bool valid() const { return first != 0 && (!second || *second != 0); }
};

struct TraceListing {
  int32_t lines = 0;
  int32_t records = 0;     // CMDR record lines
  int32_t recordings = 0;  // recording lines
  std::string error;       // a database's failure text; that part of the trace is then short
};

// Builds the trace of `key`: an empty line, the long CMDR column titles and
// the records of Cdata in `cmdrDb` whose crefa or crefb is one of the
// references (long line, no replacement, no price); an empty line, the
// voice column titles and the recordings of Vdata00 in `voiceDb` whose cref
// is one of them. A missing database leaves its part without records. An
// invalid key gives no lines at all.
TraceListing buildTrace(store::Database* cmdrDb, store::Database* voiceDb, const TraceKey& key,
                        const corvane::StringTable& texts, const LineSink& sink);

}  // namespace lumarc::browse
