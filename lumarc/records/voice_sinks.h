// What the voice download links and the converter need from the voice
// database: small interfaces, so that they are tested without ODBC; the
// record store implements them (lumarc/store/voice_store.h).
#pragma once

#include "lumarc/records/records.h"

#include <functional>
#include <optional>
#include <string>

namespace lumarc {

// Result of storing one downloaded recording's row.
struct VoiceStoreOutcome {
  bool stored = false;     // a Vdata00 row was added
  bool duplicate = false;  // a row with the same rcdfn already existed: nothing added
  std::string error;       // a database error text (message bar); empty otherwise
};

// Where the voice links put the rows of finished downloads.
class VoiceRecordSink {
 public:
  virtual ~VoiceRecordSink() = default;
  // Adds the row to Vdata00 unless one with the same rcdfn exists, makes
  // sure the recorded port has a Pdata row, then wakes the converter.
  virtual VoiceStoreOutcome storeVoiceRecord(const VoiceRecord& row) = 0;
};

// The converter's view of Vdata00.
class VoiceConvertRows {
 public:
  virtual ~VoiceConvertRows() = default;
  // False while the voice database is not open.
  virtual bool voiceOpen() = 0;
  // Walks the rows still to convert (Wavu = 0, extension "wav" or "apc" in
  // any case), newest first (rcddate, rcdtime descending), until accept
  // returns true; returns that row. Nothing when none was accepted or the
  // query failed (error set).
  virtual std::optional<VoiceRecord> firstToConvert(const std::function<bool(const VoiceRecord&)>& accept,
                                                    std::string& error) = 0;
  // The first row with this rcdfn gets rcdfx = ext. False (error set) on a
  // database error or when there is no such row.
  virtual bool setExtension(const std::string& rcdfn, const std::string& ext, std::string& error) = 0;
  // The first row with this rcdfn gets rcdfn = newName, Wavu = 1 and
  // duration 0. False (error set) on a database error or no such row.
  virtual bool markFailed(const std::string& rcdfn, const std::string& newName, std::string& error) = 0;
};

}  // namespace lumarc
