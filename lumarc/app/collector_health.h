// How a collector is doing, without sockets: each link's state and
// counters, the database connection, passes redone, the voice conversion
// queue and the alarms raised per rule, as one snapshot, and the snapshot
// in the Prometheus text exposition format (what lumarc-cli collect
// --metrics serves as /metrics). Plain C++.
#pragma once

#include "lumarc/records/records.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumarc {

struct LinkHealth {
  std::string kind;     // "cmdr", "monitor", "voice"
  std::string address;  // as opened ("192.168.1.20:9876")
  bool connected = false;
  // CMDR links only.
  uint64_t frames = 0, stored = 0, duplicates = 0, refused = 0;
  std::time_t lastRecord = 0;  // 0: none yet
};

struct CollectorHealth {
  std::vector<LinkHealth> links;
  bool databaseOpen = false;
  bool databaseConnected = false;
  uint64_t passesRedone = 0;
  std::optional<uint64_t> voiceQueue;                    // nothing: no voice links
  std::vector<std::pair<std::string, uint64_t>> alarms;  // per rule
};

// The snapshot in the Prometheus text exposition format (version 0.0.4).
std::string prometheusText(const CollectorHealth& h);

// A CMDR link's record sink that counts what the store did with each pass
// before handing the outcomes back: stored, duplicate and refused records,
// the time of the last record, and passes redone (transactions begun
// beyond one per pass). After a pass that stored a record it calls
// `stored` (the alarms' wake-up).
class CountingRecordSink : public CmdrRecordSink {
 public:
  CountingRecordSink(CmdrRecordSink& inner, std::function<uint64_t()> transactionsBegun, std::function<void()> stored);
  StoreOutcome store(const CmdrRecord& record) override { return storePass({record}).front(); }
  std::vector<StoreOutcome> storePass(const std::vector<CmdrRecord>& records) override;
  // A new link in the slot: its counters start from 0.
  void restart();

  uint64_t stored() const { return stored_; }
  uint64_t duplicates() const { return duplicates_; }
  uint64_t refused() const { return refused_; }
  uint64_t passesRedone() const { return redone_; }
  std::time_t lastRecord() const { return lastRecord_; }

 private:
  CmdrRecordSink& inner_;
  std::function<uint64_t()> begun_;
  std::function<void()> storedHook_;
  uint64_t stored_ = 0, duplicates_ = 0, refused_ = 0, redone_ = 0;
  std::time_t lastRecord_ = 0;
};

}  // namespace lumarc
