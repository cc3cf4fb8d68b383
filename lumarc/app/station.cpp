#include "lumarc/app/station.h"

#include "common/files.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/app/session.h"
#include "lumarc/texts/store_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/monitor_link.h"
#include "lumarc/links/voice_link.h"

#include <cassert>

namespace lumarc {

DecodeOptions decodeOptionsFor(const SettingsBlock& settings, bool forceLayer2) {
  DecodeOptions o;
  o.layer2 = forceLayer2 || settings.layer2() != 0;
  return o;
}

Station::Station(StationConfig config)
    : config_(std::move(config)), store_(this, corvane::codePageFor(textLanguage(*config_.settings))),
      voiceStore_(store_) {
  assert(config_.settings && config_.texts);
  voiceStore_.onStored = [this] {
    if (converter_) converter_->wake();
  };
}

Station::~Station() { shutdown(); }

void Station::storeMessage(StoreMessage id, const std::string& fileName, const std::string& detail) {
  if (!config_.events) return;
  config_.events->stationMessage(storeMessageText(*config_.texts, id, fileName, detail),
                                 storeMessageShowsDetail(id) ? std::string() : detail);
}

bool Station::openDatabases() {
  const std::string wav = corvane::joinPath(config_.workDir, RecordStore::kVoiceFolder);
  corvane::ensureDirectory(wav);
  return store_.openVoiceDatabase(wav, config_.voiceDb.empty() ? config_.db : config_.voiceDb) &&
         store_.openMainDatabase(config_.workDir, config_.db);
}

LinkEnvironment Station::environment(LinkKind kind, PaneView* view) {
  LinkEnvironment env;
  env.workDir = config_.workDir;
  env.messageText = linkMessages(*config_.texts);
  env.view = view;
  SettingsBlock* settings = config_.settings;
  env.addToHistory = [settings, kind](const ConnectionTarget& t) { settings->history(kind).add(t); };
  env.flipAutoScroll = [settings] { settings->setAutoScroll(settings->autoScroll() ? 0 : 1); };
  return env;
}

void Station::attachViews(const StationViews& views) {
  if (views.cmdr && !cmdr_) {
    // Each slot's link stores through a sink that counts for the health
    // snapshot and wakes the alarms.
    StreamTransportFactory sockets = config_.streamSockets;
    LinkFactory factory = [this, sockets](LinkList& owner, const ConnectionTarget& t, int slot) {
      CountingRecordSink& sink = cmdrSink(slot);
      sink.restart();
      return cmdrLinkFactory(sockets, sink)(owner, t, slot);
    };
    cmdr_ = std::make_unique<LinkList>(LinkKind::Cmdr, environment(LinkKind::Cmdr, views.cmdr), factory);
  }
  if (views.monitor && !monitor_) {
    MonitorLinkSetup setup;
    setup.makeSocket = config_.datagramSockets;
    const SettingsBlock* settings = config_.settings;
    const bool force = config_.forceLayer2;
    setup.decodeOptions = [settings, force] { return decodeOptionsFor(*settings, force); };
    setup.recordArrived = config_.monitorRecords;
    monitor_ = std::make_unique<LinkList>(LinkKind::Monitor, environment(LinkKind::Monitor, views.monitor),
                                          monitorLinkFactory(setup));
  }
  if (views.voice && !voice_) {
    VoiceLinkSetup setup;
    setup.makeSocket = config_.datagramSockets;
    setup.sink = &voiceStore_;
    setup.labelChanged = views.voiceLabel;
    voice_ =
        std::make_unique<LinkList>(LinkKind::Voice, environment(LinkKind::Voice, views.voice), voiceLinkFactory(setup));
    // Recordings are converted to MP3 as they arrive.
    ConverterEvents events;
    StationEvents* out = config_.events;
    events.conversions = [out](unsigned long n) {
      if (out) out->conversions(n);
    };
    events.error = [out](const std::string& text) {
      if (out) out->stationMessage(text, {});
    };
    converter_ = std::make_unique<VoiceConverter>(config_.workDir, voiceStore_, events);
  }
}

void Station::addTickSteps(TickScheduler& ticks) {
  ticks.add(TickStep::Cmdr, [this] {
    store_.tick();  // a lost database server is reopened before the links store again
    if (cmdr_) cmdr_->tick();
  });
  ticks.add(TickStep::Monitor, [this] {
    if (monitor_) monitor_->tick();
  });
  ticks.add(TickStep::Voice, [this] {
    if (voice_) voice_->tick();
  });
}

void Station::tick() {
  if (!ownTicksMade_) {
    addTickSteps(ownTicks_);
    ownTicksMade_ = true;
  }
  ownTicks_.tick();
}

void Station::converterStep() {
  if (converter_) converter_->converterStep();
}

CountingRecordSink& Station::cmdrSink(int slot) {
  if (slot >= int(cmdrSinks_.size())) cmdrSinks_.resize(size_t(slot) + 1);
  std::unique_ptr<CountingRecordSink>& sink = cmdrSinks_[size_t(slot)];
  if (!sink) {
    sink = std::make_unique<CountingRecordSink>(
        store_,
        [this] {
          store::Database* db = store_.mainDatabase();
          return db ? db->transactionsBegun() : uint64_t{0};
        },
        [this] {
          if (config_.recordsStored) config_.recordsStored();
        });
  }
  return *sink;
}

CollectorHealth Station::health() {
  CollectorHealth h;
  const std::pair<LinkKind, const char*> kinds[] = {
      {LinkKind::Cmdr, "cmdr"}, {LinkKind::Monitor, "monitor"}, {LinkKind::Voice, "voice"}};
  for (const auto& [kind, name] : kinds) {
    LinkList* list = links(kind);
    if (!list) continue;
    for (int slot = 0; slot < slotCount(kind); ++slot) {
      Link* link = list->link(slot);
      if (!link) continue;
      LinkHealth l;
      l.kind = name;
      l.address = link->target().hostText() + ":" + std::to_string(link->port());
      l.connected = link->icon() == kIconConnected;
      if (kind == LinkKind::Cmdr) {
        if (auto* cmdr = dynamic_cast<CmdrLink*>(link)) l.frames = cmdr->framesReceived();
        const CountingRecordSink& sink = cmdrSink(slot);
        l.stored = sink.stored();
        l.duplicates = sink.duplicates();
        l.refused = sink.refused();
        l.lastRecord = sink.lastRecord();
      }
      h.links.push_back(l);
    }
  }
  for (const auto& sink : cmdrSinks_)
    if (sink) h.passesRedone += sink->passesRedone();
  h.databaseOpen = store_.mainOpen();
  h.databaseConnected = store_.mainOpen() && !store_.mainConnectionLost();
  if (voice_) {
    // A count over the voice table: every 10 s is often enough.
    const std::time_t now = std::time(nullptr);
    if (now - voiceQueueAt_ >= 10) {
      voiceQueueAt_ = now;
      voiceQueue_ = voiceStore_.waitingToConvert();
    }
    h.voiceQueue = voiceQueue_;
  }
  return h;
}

LinkList* Station::links(LinkKind kind) {
  switch (kind) {
    case LinkKind::Cmdr: return cmdr_.get();
    case LinkKind::Monitor: return monitor_.get();
    case LinkKind::Voice: return voice_.get();
  }
  return nullptr;
}

void Station::shutdown() {
  for (LinkList* l : {cmdr_.get(), monitor_.get(), voice_.get()})
    if (l) l->closeAll();
  if (converter_) converter_->shutdown();
  store_.closeAll();
}

}  // namespace lumarc
