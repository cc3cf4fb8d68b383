// The voice recordings' rows on the record store: what the download links
// and the converter need from the voice database (lumarc/records/voice_sinks.h).
#pragma once

#include "lumarc/records/records.h"
#include "lumarc/records/voice_sinks.h"

#include <functional>
#include <optional>
#include <string>

namespace lumarc {

class RecordStore;

// Both on a RecordStore: Vdata00 in its voice database, Pdata in its main one.
class RecordVoiceStore : public VoiceRecordSink, public VoiceConvertRows {
 public:
  explicit RecordVoiceStore(RecordStore& store) : store_(store) {}

  VoiceStoreOutcome storeVoiceRecord(const VoiceRecord& row) override;
  bool voiceOpen() override;
  std::optional<VoiceRecord> firstToConvert(const std::function<bool(const VoiceRecord&)>& accept,
                                            std::string& error) override;
  bool setExtension(const std::string& rcdfn, const std::string& ext, std::string& error) override;
  bool markFailed(const std::string& rcdfn, const std::string& newName, std::string& error) override;

  // How many recordings wait for their conversion (the rows
  // firstToConvert walks); nothing when the database is not open or the
  // count failed.
  std::optional<uint64_t> waitingToConvert();
  // Called after each stored row (the converter's wake-up).
  std::function<void()> onStored;

 private:
  RecordStore& store_;
};

}  // namespace lumarc
