// The CMDR store operation and the receive pass on a real database: the
// duplicate test, the users' counters (wrapping at 32 bits, never losing a
// pulse when two programs charge one user) and a failed record inside a
// transaction. Backends/* run on SQLite and PostgreSQL (store_test.cpp
// instantiates them).
#include "lumarc/store/record_store_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lumarc {
namespace {

using store::Condition;
using store::Database;
using namespace storetest;

TEST_P(Backends, StoreCmdrRecordDuplicatesAndCounters) {
  RecordStore& rs = openStore();
  CmdrRecord a = sampleA(7, 3);
  EXPECT_TRUE(storeCmdrRecord(rs, a).stored());
  StoreOutcome again = storeCmdrRecord(rs, a);
  EXPECT_TRUE(again.duplicate()) << again.error;
  EXPECT_EQ(count(store::cdataTable()), 1);
  // One second later is another record; so is a different pulse count.
  EXPECT_TRUE(storeCmdrRecord(rs, sampleA(8, 3)).stored());
  EXPECT_TRUE(storeCmdrRecord(rs, sampleA(7, 4)).stored());
  // Counters: star class 2 (flags bits 21-24 = 2), charged once per stored record.
  store::DrptPset users(*rs.mainDatabase());
  ASSERT_TRUE(users.open(Condition::eq("cport", std::string("    1234"))));
  UserRecord u;
  ASSERT_TRUE(users.next(u));
  EXPECT_EQ(u.pra2, 3u + 3u + 4u);
  EXPECT_EQ(u.ppa2, 3u);
  EXPECT_EQ(u.pra0 + u.pra1 + u.pra3, 0u);
  EXPECT_FALSE(users.next(u));
  EXPECT_EQ(count(store::pdataTable()), 1);

  // Kind B is stored every time and charges nobody.
  CmdrRecord b;
  b.type = "B";
  b.tdate = a.tdate;
  b.rdata = "Power up";
  EXPECT_TRUE(storeCmdrRecord(rs, b).stored());
  EXPECT_TRUE(rs.store(b).stored());
  EXPECT_EQ(count(store::cdataTable()), 5);
  // An empty first port: stored, no user.
  CmdrRecord blank = sampleA(30, 9, "        ");
  EXPECT_TRUE(storeCmdrRecord(rs, blank).stored());
  EXPECT_EQ(count(store::pdataTable()), 1);
  // Star class 0 and 3+ of another user.
  CmdrRecord s0 = sampleA(40, 5, "      77");
  s0.flags = 0;
  CmdrRecord s3 = sampleA(41, 6, "      77");
  s3.flags = 9u << 21;
  EXPECT_TRUE(storeCmdrRecord(rs, s0).stored());
  EXPECT_TRUE(storeCmdrRecord(rs, s3).stored());
  ASSERT_TRUE(users.open(Condition::eq("cport", std::string("      77"))));
  ASSERT_TRUE(users.next(u));
  EXPECT_EQ(u.pra0, 5u);
  EXPECT_EQ(u.pra3, 6u);
  EXPECT_EQ(u.ppa0, 1u);
  EXPECT_EQ(u.ppa3, 1u);
}

TEST_P(Backends, CountersWrapAt32BitsInsteadOfFailing) {
  RecordStore& rs = openStore();
  ASSERT_TRUE(storeCmdrRecord(rs, sampleA(1, 0xFFFFFFF0u)).stored());
  ASSERT_TRUE(storeCmdrRecord(rs, sampleA(2, 0x20)).stored());
  store::DrptPset users(*rs.mainDatabase());
  ASSERT_TRUE(users.open(Condition::eq("cport", std::string("    1234"))));
  UserRecord u;
  ASSERT_TRUE(users.next(u));
  EXPECT_EQ(u.pra2, 0x10u);
  EXPECT_EQ(u.ppa2, 2u);
}

TEST_P(Backends, TwoProgramsChargingOneUserLoseNoPulses) {
  if (GetParam() == Backend::Sqlite) GTEST_SKIP() << "one embedded file is written by one program";
  openStore();
  // Two programs (own connections) store different calls of the same user
  // at the same time, as two PCs sharing one server do.
  constexpr int kCalls = 150;
  auto charge = [this](int program, bool* ok) {
    RecordingSink sink;
    RecordStore other(&sink);
    if (!other.openMainDatabase(dir_ + "/p" + std::to_string(program), conn_)) return;
    *ok = true;
    for (int i = 0; i < kCalls; ++i) {
      CmdrRecord r = sampleA(i % 60, 1);
      r.tdate.minute = 30 + program;
      r.tdate.hour = 11 + i / 60;
      if (!storeCmdrRecord(other, r).stored()) *ok = false;
    }
  };
  ::mkdir((dir_ + "/p1").c_str(), 0700);
  ::mkdir((dir_ + "/p2").c_str(), 0700);
  ASSERT_TRUE(storeCmdrRecord(*store_, sampleA(59, 1)).stored());  // the user row exists
  bool ok1 = false, ok2 = false;
  std::thread a(charge, 1, &ok1), b(charge, 2, &ok2);
  a.join();
  b.join();
  ASSERT_TRUE(ok1 && ok2);
  store::DrptPset users(*store_->mainDatabase());
  ASSERT_TRUE(users.open(Condition::eq("cport", std::string("    1234"))));
  UserRecord u;
  ASSERT_TRUE(users.next(u));
  EXPECT_EQ(u.pra2, 1u + 2u * kCalls);
  EXPECT_EQ(u.ppa2, 1u + 2u * kCalls);
}

TEST_P(Backends, FailedRecordInsideATransactionSparesTheOthers) {
  // The CMDR link stores a receive pass in one transaction: a record the
  // database refuses (PostgreSQL refuses 30 February) is reported and the
  // records before and after it are kept.
  RecordStore& rs = openStore();
  rs.mainDatabase()->begin();
  EXPECT_TRUE(storeCmdrRecord(rs, sampleA(1)).stored());
  CmdrRecord bad = sampleA(2);
  bad.tdate = DateTime{2024, 2, 30, 10, 0, 0};
  StoreOutcome o = storeCmdrRecord(rs, bad);
  if (rs.mainDatabase()->engine() == store::Engine::Postgres) {
    EXPECT_TRUE(o.failed());
    EXPECT_FALSE(o.error.empty());
  }
  EXPECT_TRUE(storeCmdrRecord(rs, sampleA(3)).stored());
  rs.mainDatabase()->commit();
  EXPECT_EQ(count(store::cdataTable()) - (o.stored() ? 1 : 0), 2);
  store::DrptPset users(*rs.mainDatabase());
  ASSERT_TRUE(users.open(Condition::eq("cport", std::string("    1234"))));
  UserRecord u;
  ASSERT_TRUE(users.next(u));
  EXPECT_EQ(u.pra2, o.stored() ? 9u : 6u);
}

}  // namespace
}  // namespace lumarc
