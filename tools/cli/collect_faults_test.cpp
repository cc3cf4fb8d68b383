// End to end: lumarc-cli collect against corvane-sim's cmdr role when the
// database refuses rows, the disk is full, two collectors share one
// PostgreSQL server, or that server restarts.
#include "common/files.h"
#include "common/format.h"
#include "common/test_support.h"
#include "lumarc/links/cmdr_frame.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/store/database.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/store_test_support.h"
#include "tools/sim/test_process.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace lumarc {
namespace {

using Child = testproc::ChildProcess;
using testproc::waitFor;
constexpr auto binary = testproc::programPath;
constexpr auto simPort = [](Child& sim) { return testproc::listeningPort(sim); };

using corvane::testing::TempDir;

// A kind-A call from `port` with call reference `cref`, charging `pulses`.
CmdrFrameFields callFields(uint32_t cref, const std::string& port = "1234", uint16_t pulses = 1) {
  CmdrFrameFields s;
  s.kind = 0;
  s.crefA = cref;
  s.firstPort = corvane::parsePort(port);
  s.partnerPort = corvane::parsePort("2000");
  s.externalPulses = pulses;
  s.time = {2024, 5, 6, 7, int(cref / 60 % 60), int(cref % 60)};
  s.digits1 = "0212" + std::to_string(cref);
  return s;
}

std::string hexFile(const std::string& dir, const std::vector<CmdrFrameFields>& calls) {
  std::string hex;
  for (const CmdrFrameFields& s : calls) {
    CmdrFrame f = buildCmdrFrame(s);
    for (uint8_t b : f) {
      char h[3];
      std::snprintf(h, sizeof h, "%02x", b);
      hex += h;
    }
    hex += "\n";
  }
  std::string path = dir + "/frames.hex";
  EXPECT_TRUE(corvane::writeFileAtomic(path, hex, 0644));
  return path;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

std::vector<uint32_t> storedRefs(store::Database& db) {
  std::vector<uint32_t> refs;
  store::DrptCset cs(db);
  EXPECT_TRUE(cs.open()) << cs.error();
  CmdrRecord r;
  while (cs.next(r)) refs.push_back(r.crefa);
  std::sort(refs.begin(), refs.end());
  return refs;
}

std::string lineOf(const CmdrFrameFields& s) {
  CmdrRecord r;
  decodeCmdrFrame(buildCmdrFrame(s), 0x7F000001, r);
  return cmdrLineText(r);
}

// --- a row the database refuses ----------------------------------------------

TEST(CollectRefusedRow, TheRefusedCallGoesToFcmdrOnceTheOthersAreStoredAndTheLinkGoesOn) {
  struct Case {
    const char* name;
    int frames;
    int batch;
  } cases[] = {{"three frames in one batch", 3, 3}, {"25-frame batches", 30, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    {
      Child init({binary("LUMARC_CLI"), "--dir", dir.path(), "db", "init"});
      ASSERT_EQ(init.wait(), 0);
      store::Database db(sqliteConnectionString(dir.path() + "/Lumarc.mdb"));
      db.connection().execute(
          "CREATE TRIGGER refuse BEFORE INSERT ON Cdata WHEN NEW.crefa = 7 BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
    std::vector<CmdrFrameFields> calls;
    for (int i = 0; i < c.frames; ++i) calls.push_back(callFields(uint32_t(6 + i)));
    std::string file = hexFile(dir.path(), calls);
    // clang-format off
    Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--file", file, "--batch", std::to_string(c.batch),
               "--join"});
    // clang-format on
    std::string port = simPort(sim);
    ASSERT_FALSE(port.empty()) << sim.output();
    Child cli({binary("LUMARC_CLI"), "--dir", dir.path(), "collect", "--cmdr", "127.0.0.1:" + port},
              dir.path() + "/stderr.txt");
    ASSERT_TRUE(waitFor([&] { return sim.printed("done") || !cli.running(); })) << sim.output();
    ASSERT_TRUE(cli.running()) << "the collector died";
    cli.signal(SIGTERM);
    EXPECT_EQ(cli.wait(), 0);
    // One "X" per batch, none of them twice.
    EXPECT_EQ(count(sim.output(), "ack "), size_t((c.frames + c.batch - 1) / c.batch)) << sim.output();
    EXPECT_EQ(count(sim.output(), "connected"), 1u) << sim.output();
    store::Database db(sqliteConnectionString(dir.path() + "/Lumarc.mdb"));
    std::vector<uint32_t> want;
    for (int i = 0; i < c.frames; ++i)
      if (6 + i != 7) want.push_back(uint32_t(6 + i));
    EXPECT_EQ(storedRefs(db), want);
    EXPECT_EQ(corvane::readFileBytes(dir.path() + "/fcmdr.txt").value_or(""), lineOf(calls[1]) + "\r\n");
    // The user is charged for the stored calls only.
    store::DrptPset users(db);
    users.open();
    UserRecord u;
    ASSERT_TRUE(users.next(u));
    EXPECT_EQ(u.pra0 + u.pra1 + u.pra2 + u.pra3, uint32_t(c.frames - 1));
    EXPECT_FALSE(users.next(u));
    EXPECT_NE(corvane::readFileBytes(dir.path() + "/stderr.txt").value_or("").find("refused"), std::string::npos);
  }
}

TEST(CollectRefusedRow, WhenFcmdrCannotBeWrittenEitherNothingIsAcknowledgedAndTheCauseIsPrinted) {
  TempDir dir;
  {
    Child init({binary("LUMARC_CLI"), "--dir", dir.path(), "db", "init"});
    ASSERT_EQ(init.wait(), 0);
    store::Database db(sqliteConnectionString(dir.path() + "/Lumarc.mdb"));
    db.connection().execute("CREATE TRIGGER refuse BEFORE INSERT ON Cdata BEGIN SELECT RAISE(ABORT, 'refused'); END");
  }
  ASSERT_TRUE(std::filesystem::create_directory(dir.path() + "/fcmdr.txt"));  // cannot be appended to
  std::string file = hexFile(dir.path(), {callFields(6), callFields(7)});
  Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--file", file, "--batch", "2", "--join"});
  std::string port = simPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  Child cli({binary("LUMARC_CLI"), "--dir", dir.path(), "collect", "--cmdr", "127.0.0.1:" + port, "--for", "3"},
            dir.path() + "/stderr.txt");
  EXPECT_EQ(cli.wait(), 0);
  EXPECT_EQ(count(sim.output(), "ack "), 0u) << sim.output();
  std::string err = corvane::readFileBytes(dir.path() + "/stderr.txt").value_or("");
  EXPECT_NE(err.find("fcmdr.txt File access failed! (Is a directory)"), std::string::npos) << err;
}

// --- a shared PostgreSQL server --------------------------------------------

std::vector<std::string> cliArgs(const std::string& dir, const std::string& db, const std::string& port) {
  return {binary("LUMARC_CLI"), "--dir", dir, "--db", db, "collect", "--cmdr", "127.0.0.1:" + port};
}

TEST(CollectSharedServer, TwoCollectorsChargingTheSameUsersInOppositeOrderKeepOneRowPerUserAndExactSums) {
  const std::string pg = storetest::pgServer();
  if (pg.empty()) GTEST_SKIP() << "LUMARC_TEST_PG is not set";
  storetest::PgSchema schema(pg, "shared_" + std::to_string(getpid()));
  const std::vector<std::string> ports = {"1001", "1002", "1003", "1004", "1005", "1006"};
  std::map<std::string, uint32_t> want;
  TempDir a, b;
  std::vector<CmdrFrameFields> callsA, callsB;
  for (int i = 0; i < 120; ++i) {
    const std::string& pa = ports[size_t(i) % ports.size()];
    const std::string& pb = ports[ports.size() - 1 - size_t(i) % ports.size()];
    callsA.push_back(callFields(uint32_t(1000 + i), pa, uint16_t(1 + i % 5)));
    callsB.push_back(callFields(uint32_t(5000 + i), pb, uint16_t(2 + i % 3)));
    want[pa] += uint32_t(1 + i % 5);
    want[pb] += uint32_t(2 + i % 3);
  }
  Child simA(
      {binary("CORVANE_SIM"), "cmdr", "--any-port", "--file", hexFile(a.path(), callsA), "--batch", "6", "--join"});
  Child simB(
      {binary("CORVANE_SIM"), "cmdr", "--any-port", "--file", hexFile(b.path(), callsB), "--batch", "6", "--join"});
  std::string portA = simPort(simA), portB = simPort(simB);
  ASSERT_FALSE(portA.empty() || portB.empty());
  // Both start on an empty database at the same moment.
  Child cliA(cliArgs(a.path(), schema.connection(), portA), a.path() + "/stderr.txt");
  Child cliB(cliArgs(b.path(), schema.connection(), portB), b.path() + "/stderr.txt");
  ASSERT_TRUE(waitFor([&] {
    return (simA.printed("done") && simB.printed("done")) || !cliA.running() || !cliB.running();
  })) << simA.output()
      << simB.output();
  cliA.signal(SIGTERM);
  cliB.signal(SIGTERM);
  EXPECT_EQ(cliA.wait(), 0);
  EXPECT_EQ(cliB.wait(), 0);
  for (TempDir* d : {&a, &b}) {
    std::string err = corvane::readFileBytes(d->path() + "/stderr.txt").value_or("");
    EXPECT_EQ(err, "") << "no database message while both store";
    EXPECT_FALSE(std::filesystem::exists(d->path() + "/fcmdr.txt"));
  }
  store::Database db(schema.connection());
  EXPECT_EQ(storedRefs(db).size(), 240u);
  store::DrptPset users(db);
  ASSERT_TRUE(users.open());
  std::map<std::string, uint32_t> got;
  UserRecord u;
  while (users.next(u)) {
    const std::string port(corvane::trimBlanks(u.cport));
    EXPECT_EQ(got.count(port), 0u) << "a second row for " << u.cport;
    got[port] = u.pra0 + u.pra1 + u.pra2 + u.pra3;
  }
  EXPECT_EQ(got, want);
}

TEST(CollectSharedServer, AServerRestartedMidRunIsReopenedAndLaterRecordsAreStoredAgain) {
  const std::string pg = storetest::pgServer();
  const char* ctl = std::getenv("LUMARC_TEST_PG_CTL");
  const char* runtime = std::getenv("LUMARC_TEST_PG_RUNTIME");
  if (pg.empty() || !ctl || !runtime) GTEST_SKIP() << "no PostgreSQL test server that this test may restart";
  storetest::PgSchema schema(pg, "restart_" + std::to_string(getpid()));
  TempDir dir;
  std::vector<CmdrFrameFields> calls;
  // About 13 s of calls: the server is back long before the end, and the
  // collector tries it again every 10 s.
  for (int i = 0; i < 130; ++i) calls.push_back(callFields(uint32_t(100 + i), "1001"));
  Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--file", hexFile(dir.path(), calls), "--batch", "1",
             "--pause", "100"});
  std::string port = simPort(sim);
  ASSERT_FALSE(port.empty());
  Child cli(cliArgs(dir.path(), schema.connection(), port), dir.path() + "/stderr.txt");
  ASSERT_TRUE(waitFor([&] { return count(sim.output(), "ack ") >= 10; })) << sim.output();
  Child restart({ctl, "restart", runtime});
  ASSERT_EQ(restart.wait(), 0);
  ASSERT_TRUE(waitFor([&] { return sim.printed("done") || !cli.running(); }, 90)) << sim.output();
  // The pass after the last acknowledgement may still be on its way.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  cli.signal(SIGTERM);
  EXPECT_EQ(cli.wait(), 0);
  std::string err = corvane::readFileBytes(dir.path() + "/stderr.txt").value_or("");
  store::Database db(schema.connection());
  std::vector<uint32_t> stored = storedRefs(db);
  std::string fcmdr = corvane::readFileBytes(dir.path() + "/fcmdr.txt").value_or("");
  // Every call is in the database or in fcmdr.txt, once.
  for (const CmdrFrameFields& s : calls) {
    size_t inDb = size_t(std::count(stored.begin(), stored.end(), s.crefA));
    size_t inFile = count(fcmdr, lineOf(s) + "\r\n");
    EXPECT_EQ(inDb + inFile, 1u) << "call " << s.crefA << "\n" << err;
  }
  // The calls after the restart are stored again.
  EXPECT_NE(std::find(stored.begin(), stored.end(), calls.back().crefA), stored.end()) << err;
  if (err.find("Database connection lost: ") != std::string::npos) {
    EXPECT_NE(err.find("Database connection restored"), std::string::npos) << err;
    EXPECT_EQ(count(err, "Database connection lost: "), 1u) << err;
  }
  EXPECT_EQ(err.find("no transaction is active"), std::string::npos) << err;
}

}  // namespace
}  // namespace lumarc
