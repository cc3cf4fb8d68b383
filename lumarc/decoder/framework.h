// Monitor decoder entry point: one monitor record -> decode text (lines
// separated by 0xFF; empty when the record shows no line).
#pragma once

#include "lumarc/decoder/context.h"
#include "lumarc/decoder/monitor_record.h"

#include <string>
#include <vector>

namespace lumarc {

// Decodes one record: header, kind label and prefix, then the protocol body.
// Pure; never reads beyond the 96 message bytes.
std::string decodeMonitorRecord(const MonitorRecord& record, DecodeOptions options = {});

// The decode text of one record and its malformed mark (see context.h):
// true when the decode needed a byte, length or pointer past the end of the
// record's message bytes, with the first such octet and the reason. The text
// is the same as decodeMonitorRecord's.
struct RecordDecode {
  std::string text;
  bool malformed = false;
  Malformation malformation;
};
RecordDecode decodeMonitorRecordMarked(const MonitorRecord& record, DecodeOptions options = {});

// Splits decode text at its 0xFF bytes into lines (empty text: no lines).
std::vector<std::string> splitDecodeText(const std::string& text);

}  // namespace lumarc
