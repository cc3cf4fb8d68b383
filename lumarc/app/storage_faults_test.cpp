// Storage failures met by a CMDR link on a real database, SQLite and the
// PostgreSQL test server alike: for each failure, what ends up stored, what
// goes to "fcmdr.txt", whether the pass is acknowledged, and what the
// message bar says.
#include "common/fault_seam.h"
#include "common/format.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/link_test_support.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/store_test_support.h"
#include "lumarc/store/voice_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using corvane::fault::Injected;
using corvane::fault::Point;
using testing::FakeNet;
using testing::FakeView;

enum class Engine { Sqlite, Postgres };

// Four calls of one pass: ports 1001, 1002, 1001, 1002, charging 1, 2, 4 and
// 8 pulses, so every counter sum says which calls were charged.
CmdrFrame call(uint32_t n) {
  CmdrFrameFields s;
  s.kind = 0;
  s.crefA = n;
  s.firstPort = corvane::parsePort(n % 2 ? "1001" : "1002");
  s.partnerPort = corvane::parsePort("2000");
  s.externalPulses = uint16_t(1u << (n - 1));
  s.time = {2024, 5, 6, 7, 8, int(n)};
  s.digits1 = "0212" + std::to_string(n);
  return buildCmdrFrame(s);
}

std::string passBytes() {
  std::string s;
  for (uint32_t n = 1; n <= 4; ++n) {
    CmdrFrame f = call(n);
    s.append(reinterpret_cast<const char*>(f.data()), f.size());
  }
  return s;
}

std::string lineOf(uint32_t n) {
  CmdrRecord r;
  decodeCmdrFrame(call(n), 0xC0A80114, r);
  return cmdrLineText(r);
}

struct Bench {
  std::string dir;
  std::unique_ptr<storetest::PgSchema> schema;
  RecordStore store;
  FakeNet net;
  FakeView view;
  std::unique_ptr<LinkList> links;

  // False (with the reason) when the engine cannot be had in this run.
  bool open(Engine e, const std::string& name, std::string& why) {
    dir = storetest::makeTempDir("storage-faults");
    std::string conn;
    if (e == Engine::Postgres) {
      if (storetest::pgServer().empty()) {
        why = "LUMARC_TEST_PG is not set";
        return false;
      }
      schema = std::make_unique<storetest::PgSchema>(storetest::pgServer(), "sf_" + std::to_string(getpid()) + name);
      conn = schema->connection();
    }
    if (!store.openMainDatabase(dir, conn)) {
      why = "the database did not open";
      return false;
    }
    LinkEnvironment env;
    env.workDir = dir;
    env.messageText = linkMessages(englishTexts());
    env.view = &view;
    env.addToHistory = [](const ConnectionTarget&) {};
    links = std::make_unique<LinkList>(LinkKind::Cmdr, env, cmdrLinkFactory(testing::fakeSockets(net), store));
    links->openLink("192.168.1.20");
    net.events->onConnectResult(true);
    return true;
  }
  ~Bench() {
    links.reset();
    store.closeAll();
    schema.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  void feed(const std::string& bytes) {
    net.events->onBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::vector<uint32_t> stored() {
    std::vector<uint32_t> refs;
    store::DrptCset cs(*store.mainDatabase());
    cs.open();
    CmdrRecord r;
    while (cs.next(r)) refs.push_back(r.crefa);
    std::sort(refs.begin(), refs.end());
    return refs;
  }
  // Pulses charged to each port, in port order, and the number of user rows.
  std::vector<uint32_t> charged(size_t& rows) {
    std::vector<std::pair<std::string, uint32_t>> u;
    store::DrptPset ps(*store.mainDatabase());
    ps.open();
    UserRecord r;
    while (ps.next(r)) u.push_back({r.cport, r.pra0 + r.pra1 + r.pra2 + r.pra3});
    rows = u.size();
    std::sort(u.begin(), u.end());
    std::vector<uint32_t> sums;
    for (auto& p : u) sums.push_back(p.second);
    return sums;
  }
  std::vector<uint32_t> inFcmdr() {
    std::string text = testing::readAll(dir + "/fcmdr.txt");
    std::vector<uint32_t> refs;
    for (uint32_t n = 1; n <= 4; ++n) {
      size_t at = text.find(lineOf(n) + "\r\n");
      if (at == std::string::npos) continue;
      refs.push_back(n);
      if (text.find(lineOf(n) + "\r\n", at + 1) != std::string::npos) refs.push_back(n);  // twice: a fault
    }
    return refs;
  }
};

Injected driverError(const char* only, const char* message = "refused by the test", bool endsTransaction = false) {
  Injected f;
  f.sqlState = "HY000";
  f.message = message;
  f.only = only;
  f.endsTransaction = endsTransaction;
  return f;
}

// Another program holding the SQLite file past the busy timeout.
Injected busy() {
  Injected f = driverError("INSERT INTO Cdata", "database is locked");
  f.native = 5;
  return f;
}

struct Case {
  const char* name;
  Point point;
  int nth, times;
  Injected fault;
  bool sqliteOnly;
  std::vector<uint32_t> stored, fcmdr, charged;  // charged: ports 1001, 1002 (those with a user row)
  const char* sent;
  const char* caption;           // a part of the last message
  std::vector<uint32_t> refuse;  // calls whose rows the database refuses
};

std::vector<Case> cases() {
  // clang-format off
  return {
      // Rows the database refuses (nth 0: no injected fault).
      {"refused row first", Point::Statement, 0, 0, {}, false, {2, 3, 4}, {1}, {4, 10}, "X", "refused by the test", {1}},
      {"refused row in the middle", Point::Statement, 0, 0, {}, false, {1, 3, 4}, {2}, {5, 8}, "X", "refused by the test", {2}},
      {"refused row last", Point::Statement, 0, 0, {}, false, {1, 2, 3}, {4}, {5, 2}, "X", "refused by the test", {4}},
      {"several refused rows", Point::Statement, 0, 0, {}, false, {1, 4}, {2, 3}, {1, 8}, "X", "refused by the test", {2, 3}},
      // The pass's duplicate look-up failing: the records take the test one by one.
      {"duplicate lookup failing", Point::Statement, 1, 1, driverError("FROM Cdata WHERE (tdate"), false, {1, 2, 3, 4},
       {}, {5, 10}, "X", "", {}},
      // The pass's new user rows refused: the calls stay stored, uncharged.
      {"user counters failing", Point::Statement, 1, 1, driverError("INSERT INTO Pdata"), false, {1, 2, 3, 4}, {},
       {}, "X", "refused by the test", {}},
      {"commit failing once", Point::Commit, 1, 1, driverError(""), false, {1, 2, 3, 4}, {}, {5, 10}, "X", "", {}},
      {"commit failing for good", Point::Commit, 1, -1, driverError(""), false, {}, {1, 2, 3, 4}, {}, "X",
       "refused by the test", {}},
      {"disk full", Point::Statement, 2, -1, driverError("", "database or disk is full", true), true, {},
       {1, 2, 3, 4}, {}, "X", "database or disk is full", {}},
      {"file busy once", Point::Statement, 1, 1, busy(), true, {1, 2, 3, 4}, {}, {5, 10}, "X", "", {}},
  };
  // clang-format on
}

class StorageFaults : public ::testing::TestWithParam<Engine> {};

TEST_P(StorageFaults, EachFailureStoresWhatItCanAndKeepsTheRestInFcmdrOnce) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    if (c.sqliteOnly && GetParam() != Engine::Sqlite) continue;
    Bench b;
    std::string why;
    if (!b.open(GetParam(), std::to_string(&c - &cases()[0]), why)) GTEST_SKIP() << why;
    if (!c.refuse.empty()) storetest::refuseCdataRows(*b.store.mainDatabase(), "crefa", c.refuse);
    corvane::fault::Guard guard;
    if (c.nth > 0) corvane::fault::arm(c.point, c.nth, c.fault, c.times);
    b.feed(passBytes());
    corvane::fault::disarm();
    EXPECT_EQ(b.stored(), c.stored);
    EXPECT_EQ(b.inFcmdr(), c.fcmdr);
    size_t rows = 0;
    std::vector<uint32_t> charged = b.charged(rows);
    EXPECT_EQ(charged, c.charged);
    EXPECT_LE(rows, 2u);  // never a second row for a port
    EXPECT_EQ(b.net.sent, c.sent);
    if (*c.caption) {
      EXPECT_NE(b.view.caption.find(c.caption), std::string::npos) << b.view.caption;
    }
    EXPECT_EQ(b.view.caption.find("no transaction is active"), std::string::npos) << b.view.caption;
  }
}

TEST_P(StorageFaults, ARefusedRowThatFcmdrCannotTakeEitherIsNotAcknowledgedAndComesBackWhole) {
  Bench b;
  std::string why;
  if (!b.open(GetParam(), "nofile", why)) GTEST_SKIP() << why;
  storetest::refuseCdataRows(*b.store.mainDatabase(), "crefa", {2});
  corvane::fault::Guard guard;
  Injected full;
  full.errnum = ENOSPC;
  corvane::fault::arm(Point::FileWrite, 1, full);
  b.feed(passBytes());
  corvane::fault::disarm();
  EXPECT_EQ(b.net.sent, "");
  EXPECT_EQ(b.view.caption, "fcmdr.txt File access failed! (No space left on device)");
  EXPECT_EQ(b.inFcmdr(), std::vector<uint32_t>{});
  // No keep-alive while call 2 is kept nowhere; the exchange sends the
  // batch again after the reconnection, and it all ends up stored once.
  for (int i = 0; i < 3000; ++i) b.links->tick();
  EXPECT_EQ(b.net.sent, "");
  storetest::allowCdataRows(*b.store.mainDatabase());
  b.net.events->onConnectResult(true);
  b.feed(passBytes());
  EXPECT_EQ(b.net.sent, "X");
  EXPECT_EQ(b.stored(), (std::vector<uint32_t>{1, 2, 3, 4}));
  size_t rows = 0;
  EXPECT_EQ(b.charged(rows), (std::vector<uint32_t>{5, 10}));
  EXPECT_EQ(rows, 2u);
}

TEST_P(StorageFaults, ARefusedRecordingRowIsShownAndComesInOnceWhenSentAgain) {
  Bench b;
  std::string why;
  if (!b.open(GetParam(), "voice", why)) GTEST_SKIP() << why;
  ASSERT_TRUE(b.store.openVoiceDatabase(b.dir, b.schema ? b.schema->connection() : std::string()));
  RecordVoiceStore voice(b.store);
  VoiceRecord row;
  row.rcdport = "    1001";
  row.rcdfn = b.dir + "/Wav/rec1";
  row.rcdfx = "apc";
  corvane::fault::Guard guard;
  corvane::fault::arm(Point::Statement, 1, driverError("INSERT INTO Vdata00"));
  VoiceStoreOutcome refused = voice.storeVoiceRecord(row);
  corvane::fault::disarm();
  EXPECT_FALSE(refused.stored);
  EXPECT_NE(refused.error.find("refused by the test"), std::string::npos) << refused.error;
  EXPECT_EQ(refused.error.find("INSERT"), std::string::npos) << "one line, the driver's words";
  EXPECT_EQ(b.store.voiceDatabase()->rowCount(store::vdata00Table()), 0);
  // The exchange offers it again: one row, and one user row for the port.
  EXPECT_TRUE(voice.storeVoiceRecord(row).stored);
  EXPECT_TRUE(voice.storeVoiceRecord(row).duplicate);
  EXPECT_EQ(b.store.voiceDatabase()->rowCount(store::vdata00Table()), 1);
  size_t rows = 0;
  EXPECT_EQ(b.charged(rows), std::vector<uint32_t>{0});
  EXPECT_EQ(rows, 1u);
}

INSTANTIATE_TEST_SUITE_P(Engines, StorageFaults, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& i) { return i.param == Engine::Sqlite ? "Sqlite" : "Postgres"; });

}  // namespace
}  // namespace lumarc
