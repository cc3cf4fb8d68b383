// Downloaded recordings' rows on a real SQLite voice and main database:
// storing without duplicates, the recorded port's user row, the
// converter's choice of rows and its two updates.
#include "lumarc/store/voice_store.h"

#include "common/test_support.h"
#include "lumarc/store/record_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace lumarc {
namespace {

struct VoiceDb {
  corvane::testing::TempDir tmp{"voice-store"};
  std::string dir = tmp.path();
  RecordStore store;
  RecordVoiceStore voice{store};
  int wakes = 0;
  VoiceDb() {
    ::mkdir((dir + "/Wav").c_str(), 0755);
    EXPECT_TRUE(store.openVoiceDatabase(dir + "/Wav"));
    EXPECT_TRUE(store.openMainDatabase(dir));
    voice.onStored = [this] { ++wakes; };
  }
  ~VoiceDb() { store.closeAll(); }
  std::vector<VoiceRecord> rows() {
    std::vector<VoiceRecord> out;
    store::DrptVset vs(*store.voiceDatabase());
    vs.open();
    VoiceRecord r;
    while (vs.next(r)) out.push_back(r);
    return out;
  }
  std::vector<UserRecord> users() {
    std::vector<UserRecord> out;
    store::DrptPset ps(*store.mainDatabase());
    ps.open();
    UserRecord u;
    while (ps.next(u)) out.push_back(u);
    return out;
  }
};

VoiceRecord row(const std::string& name, const std::string& ext, uint32_t date, uint32_t time,
                const std::string& port = "    1234") {
  VoiceRecord r;
  r.rcdport = port;
  r.rcddate = date;
  r.rcdtime = time;
  r.rcdtype = "A";
  r.duration = 12;
  r.rcddsq = "0212";
  r.rcdfn = "/w/Wav/" + name;
  r.rcdfx = ext;
  r.ipadr = 0xC0A80114;
  r.cref = 0xDEADBEEF;
  return r;
}

}  // namespace

TEST(VoiceStore, RecordingIsListedOnceAndItsPortGetsAUserRow) {
  VoiceDb db;
  VoiceStoreOutcome first = db.voice.storeVoiceRecord(row("a", "apc", 0x240101, 0x101010));
  EXPECT_TRUE(first.stored);
  EXPECT_TRUE(first.error.empty());
  VoiceStoreOutcome again = db.voice.storeVoiceRecord(row("a", "apc", 0x240101, 0x101010));
  EXPECT_FALSE(again.stored);
  EXPECT_TRUE(again.duplicate);
  auto rows = db.rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].rcdfn, "/w/Wav/a");
  EXPECT_EQ(rows[0].cref, 0xDEADBEEFu);
  EXPECT_EQ(rows[0].ipadr, 0xC0A80114u);
  auto users = db.users();
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].cport, "    1234");
  EXPECT_EQ(users[0].pra0, 0u);
  EXPECT_EQ(db.wakes, 1);
  // A second recording of the same port adds no second user.
  db.voice.storeVoiceRecord(row("b", "apc", 0x240101, 0x101011));
  EXPECT_EQ(db.users().size(), 1u);
  // A blank port gets no user row.
  db.voice.storeVoiceRecord(row("c", "apc", 0x240101, 0x101012, "        "));
  EXPECT_EQ(db.users().size(), 1u);
}

TEST(VoiceStore, ConverterTakesTheNewestUnconvertedRowFirst) {
  VoiceDb db;
  db.voice.storeVoiceRecord(row("old", "apc", 0x240101, 0x100000));
  db.voice.storeVoiceRecord(row("newer", "WAV", 0x240102, 0x090000));
  db.voice.storeVoiceRecord(row("newest", "mp3", 0x240103, 0x090000));
  VoiceRecord failed = row("failed", "wav", 0x240104, 0x090000);
  failed.Wavu = true;
  db.voice.storeVoiceRecord(failed);
  db.voice.storeVoiceRecord(row("sametime", "apc", 0x240102, 0x080000));
  std::vector<std::string> seen;
  std::string error;
  auto none = db.voice.firstToConvert([&](const VoiceRecord& r) { return seen.push_back(r.rcdfn), false; }, error);
  EXPECT_FALSE(none);
  EXPECT_EQ(error, "");
  EXPECT_EQ(seen, (std::vector<std::string>{"/w/Wav/newer", "/w/Wav/sametime", "/w/Wav/old"}));
  auto picked = db.voice.firstToConvert([](const VoiceRecord& r) { return r.rcdfn != "/w/Wav/newer"; }, error);
  ASSERT_TRUE(picked);
  EXPECT_EQ(picked->rcdfn, "/w/Wav/sametime");
}

TEST(VoiceStore, ConversionResultsUpdateOnlyTheNamedRow) {
  VoiceDb db;
  db.voice.storeVoiceRecord(row("x", "apc", 0x240101, 0x100000));
  db.voice.storeVoiceRecord(row("y", "wav", 0x240101, 0x100001));
  std::string error;
  EXPECT_TRUE(db.voice.setExtension("/w/Wav/x", "mp3", error));
  EXPECT_TRUE(db.voice.markFailed("/w/Wav/y", "/w/Wav/y.cfl", error));
  auto rows = db.rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].rcdfx, "mp3");
  EXPECT_FALSE(rows[0].Wavu);
  EXPECT_EQ(rows[0].duration, 12u);
  EXPECT_EQ(rows[1].rcdfn, "/w/Wav/y.cfl");
  EXPECT_TRUE(rows[1].Wavu);
  EXPECT_EQ(rows[1].duration, 0u);
  EXPECT_EQ(rows[1].rcdfx, "wav");
  // A name that has no row is reported, not silently taken as done.
  EXPECT_FALSE(db.voice.setExtension("/w/Wav/none", "mp3", error));
  EXPECT_FALSE(error.empty());
}

TEST(VoiceStore, ClosedVoiceDatabaseReportsInsteadOfStoring) {
  VoiceDb db;
  db.store.closeAll();
  EXPECT_FALSE(db.voice.voiceOpen());
  VoiceStoreOutcome out = db.voice.storeVoiceRecord(row("a", "apc", 1, 1));
  EXPECT_FALSE(out.stored);
  EXPECT_FALSE(out.error.empty());
  std::string error;
  EXPECT_FALSE(db.voice.setExtension("/w/Wav/a", "mp3", error));
}

}  // namespace lumarc
