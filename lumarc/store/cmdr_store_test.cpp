// The CMDR store operation and the receive pass on a real database: the
// duplicate test, the users' counters (wrapping at 32 bits, never losing a
// pulse when two programs charge one user) and a failed record inside a
// transaction. Backends/* run on SQLite and PostgreSQL (store_test.cpp
// instantiates them).
#include "lumarc/store/record_store_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST_P(Backends, APassKeepsEveryRecordTheDatabaseTakesAndChargesExactSums) {
  // A long receive pass (several insert batches) with records the database
  // refuses first, in the middle and last, duplicates of stored records and
  // of records earlier in the pass, and a record of another kind.
  RecordStore& rs = openStore();
  ASSERT_TRUE(storeCmdrRecord(rs, sampleA(0, 1)).stored());
  constexpr size_t kRecords = 700;
  std::vector<CmdrRecord> pass;
  for (size_t i = 0; i < kRecords; ++i) {
    CmdrRecord r = sampleA(0, uint32_t(i % 7 + 1), i % 3 ? "    1234" : "      55");
    r.tdate = addSeconds(DateTime{2024, 3, 15, 10, 20, 0}, int64_t(i) * 5);
    r.crefb = uint32_t(i);
    pass.push_back(r);
  }
  pass[10] = sampleA(0, 1);  // stored before the pass
  pass[11] = pass[12];       // the same call twice in the pass
  pass[20].type = "B";
  const std::vector<uint32_t> refused{0, 350, 699};
  storetest::refuseCdataRows(*rs.mainDatabase(), "crefb", refused);

  std::vector<StoreOutcome> out = rs.storePass(pass);
  ASSERT_EQ(out.size(), kRecords);
  uint32_t pulses1234 = 1, pulses55 = 0;  // the record stored before
  for (size_t i = 0; i < kRecords; ++i) {
    SCOPED_TRACE(i);
    const bool refuse = std::count(refused.begin(), refused.end(), pass[i].crefb) > 0;
    if (i == 10 || i == 12) {
      EXPECT_TRUE(out[i].duplicate());
    } else if (refuse) {
      EXPECT_TRUE(out[i].failed());
      EXPECT_NE(out[i].error.find("refused by the test"), std::string::npos) << out[i].error;
    } else {
      ASSERT_TRUE(out[i].stored()) << out[i].error;
      EXPECT_TRUE(out[i].error.empty());
      if (pass[i].type == "A") (pass[i].cport == "    1234" ? pulses1234 : pulses55) += pass[i].rpuls;
    }
  }
  EXPECT_EQ(count(store::cdataTable()), int64_t(1 + kRecords - 2 - refused.size()));
  store::DrptPset users(*rs.mainDatabase());
  UserRecord u;
  ASSERT_TRUE(users.open(Condition::eq("cport", std::string("    1234"))));
  ASSERT_TRUE(users.next(u));
  EXPECT_EQ(u.pra2, pulses1234);
  ASSERT_TRUE(users.open(Condition::eq("cport", std::string("      55"))));
  ASSERT_TRUE(users.next(u));
  EXPECT_EQ(u.pra2, pulses55);
  EXPECT_EQ(count(store::pdataTable()), 2);

  // The exchange sends the pass again: only the refused records are new,
  // and the database still refuses them.
  out = rs.storePass(pass);
  for (size_t i = 0; i < kRecords; ++i) {
    const bool refuse = std::count(refused.begin(), refused.end(), pass[i].crefb) > 0;
    EXPECT_EQ(out[i].failed(), refuse) << i;
    if (pass[i].type == "A" && !refuse) {
      EXPECT_TRUE(out[i].duplicate()) << i;
    }
  }
  // Records of other kinds take no duplicate test.
  EXPECT_EQ(count(store::cdataTable()), int64_t(1 + kRecords - 2 - refused.size() + 1));
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
