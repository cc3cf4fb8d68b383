// The management program's engines wired once, for every front end: the
// record store and the voice store, one link list per link kind, the voice
// converter and their tick steps in a fixed order. The window program,
// lumarc-cli collect and lumarc-cli monitor each make one and supply only
// their views and a timer. Plain C++: sockets come from factories the front
// end hands in.
#pragma once

#include "common/string_table.h"
#include "lumarc/app/collector_health.h"
#include "lumarc/app/settings.h"
#include "lumarc/app/tick.h"
#include "lumarc/decoder/context.h"
#include "lumarc/links/datagram.h"
#include "lumarc/links/link.h"
#include "lumarc/links/monitor_link.h"
#include "lumarc/links/voice_convert.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/voice_store.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lumarc {

// The decoder options of the moment: the layer 2 setting, or forced on.
DecodeOptions decodeOptionsFor(const SettingsBlock& settings, bool forceLayer2 = false);

// What a front end is told that is not a link's own: store failures (while
// the databases open and afterwards) and the converter's progress.
class StationEvents {
 public:
  virtual ~StationEvents() = default;
  // A message for the message bar: the text in the program's words, the
  // driver's or system's detail apart (empty where the text holds it).
  virtual void stationMessage(const std::string& text, const std::string& detail) = 0;
  // Recordings converted so far ("mp3:N" in the status bar).
  virtual void conversions(unsigned long count) { (void)count; }
};

// Where a kind's links show themselves; null: the kind is not used.
struct StationViews {
  PaneView* cmdr = nullptr;
  PaneView* monitor = nullptr;
  PaneView* voice = nullptr;
  // A voice tab's label changed (the waiting time during a transfer).
  std::function<void(int slot, const std::string& label)> voiceLabel;
};

struct StationConfig {
  std::string workDir;
  SettingsBlock* settings = nullptr;
  const corvane::StringTable* texts = nullptr;
  // ODBC connection strings of a database server; empty: the embedded files
  // (the voice database follows the main one when only that is given).
  std::string db, voiceDb;
  StationEvents* events = nullptr;
  StreamTransportFactory streamSockets;
  DatagramTransportFactory datagramSockets;
  // Monitor links decode layer 2 whatever the setting says.
  bool forceLayer2 = false;
  // Told of every new monitor record (may be empty).
  MonitorRecordObserver monitorRecords;
  // Called after a CMDR pass stored records, once they are committed (may
  // be empty): the alarms evaluate them off the receive path.
  std::function<void()> recordsStored;
};

class Station : private StoreMessageSink {
 public:
  explicit Station(StationConfig config);
  ~Station() override;
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Opens the voice database, then the main one, as the program starts.
  // False: a message was given; the front end says "Database access Failed!".
  bool openDatabases();
  // Makes the link lists of the kinds that have a view, and the converter.
  void attachViews(const StationViews& views);
  // The steps of the 100 ms tick: a lost database server, then the CMDR,
  // monitor and voice links.
  void addTickSteps(TickScheduler& ticks);
  // One 100 ms tick of everything (the same steps, for a front end without
  // a scheduler of its own).
  void tick();
  // The converter's step (the window runs it when idle).
  void converterStep();
  // Ends the links, stops the converter and closes the databases.
  void shutdown();

  // The kind's links; null when the kind has no view.
  LinkList* links(LinkKind kind);
  RecordStore& store() { return store_; }
  RecordVoiceStore& voiceStore() { return voiceStore_; }
  VoiceConverter* converter() { return converter_.get(); }
  const StationConfig& config() const { return config_; }
  // How the links and the databases are doing (alarms are the front end's).
  CollectorHealth health();

 private:
  void storeMessage(StoreMessage id, const std::string& fileName, const std::string& detail) override;
  LinkEnvironment environment(LinkKind kind, PaneView* view);

  StationConfig config_;
  RecordStore store_;
  RecordVoiceStore voiceStore_;
  // The CMDR slots' counting sinks in front of the store, made on first
  // use; they outlive the links that store through them.
  CountingRecordSink& cmdrSink(int slot);
  std::vector<std::unique_ptr<CountingRecordSink>> cmdrSinks_;
  std::unique_ptr<LinkList> cmdr_, monitor_, voice_;
  std::unique_ptr<VoiceConverter> converter_;
  std::time_t voiceQueueAt_ = 0;
  std::optional<uint64_t> voiceQueue_;
  TickScheduler ownTicks_;
  bool ownTicksMade_ = false;
};

}  // namespace lumarc
