// lumarc-cli db init, db stats and import, run as a program on temporary
// working directories (and on the test PostgreSQL server when there is one).
#include "common/test_support.h"
#include "lumarc/store/record_store.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

struct CliResult {
  int status = -1;
  std::string out, err;
};

using corvane::testing::readAll;

std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class DbCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* cli = std::getenv("LUMARC_CLI");
    if (!cli) GTEST_SKIP() << "LUMARC_CLI not set";
    cli_ = cli;
    ASSERT_FALSE(tmp_.path().empty());
    dir_ = tmp_.path();
  }
  CliResult run(const std::string& args, const std::string& db = {}) {
    std::string cmd = "env -u LUMARC_DB -u LUMARC_VOICE_DB " + shellQuote(cli_) + " --dir " + shellQuote(dir_);
    if (!db.empty()) cmd += " --db " + shellQuote(db);
    cmd += " " + args + " >" + shellQuote(dir_ + "/out.txt") + " 2>" + shellQuote(dir_ + "/err.txt");
    CliResult r;
    int st = std::system(cmd.c_str());
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = readAll(dir_ + "/out.txt");
    r.err = readAll(dir_ + "/err.txt");
    return r;
  }
  corvane::testing::TempDir tmp_{"lumarc-dbcmd"};
  std::string cli_, dir_;
};

TEST_F(DbCommand, InitCreatesThenOpensAndStatsCountRows) {
  CliResult none = run("db stats");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("db init"), std::string::npos) << none.err;
  struct stat st {};
  EXPECT_NE(stat((dir_ + "/Lumarc.mdb").c_str(), &st), 0) << "stats must not create the database";

  CliResult init = run("db init");
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_EQ(init.out, "main: created " + dir_ + "/Lumarc.mdb\nvoice: created " + dir_ + "/Wav/LumarcVt.mdb\n");
  CliResult again = run("db init");
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, "main: opened " + dir_ + "/Lumarc.mdb\nvoice: opened " + dir_ + "/Wav/LumarcVt.mdb\n");

  CliResult stats = run("db stats");
  ASSERT_EQ(stats.status, 0) << stats.err;
  EXPECT_EQ(stats.out, "Cdata: 0\nMdata: 0\nPdata: 0\nRout: 0\nTmpl03: 0\nVdata00: 0\n");
}

TEST_F(DbCommand, ImportsAnOlderDatabaseOnceAndCountsIt) {
  const std::string old = dir_ + "/site-2009.mdb";
  {
    ASSERT_TRUE(lumarc::RecordStore::createBlankDatabase(old));
    lumarc::store::Database db(lumarc::sqliteConnectionString(old));
    db.ensureTables({&lumarc::store::olderCdataTable()});
    lumarc::store::DrptXset x(db);
    for (int i = 0; i < 3; ++i) {
      lumarc::OlderCmdrRecord r;
      r.type = "A";
      r.tdate = lumarc::DateTime{2009, 1, 2, 3, 4, i};
      r.cport = "123";
      r.rpuls = 2;
      r.flags = 0x000F3201u;
      r.info = 0x155;
      ASSERT_TRUE(x.add(r));
    }
    lumarc::OlderCmdrRecord b;
    b.type = "B";
    ASSERT_TRUE(x.add(b));
  }
  ASSERT_EQ(run("db init").status, 0);
  CliResult first = run("import " + shellQuote(old));
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("Imported records 3 - 0\n"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("stored: 3\nduplicates: 0\nskipped: 1\n"), std::string::npos) << first.out;
  CliResult second = run("import " + shellQuote(old));
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_NE(second.out.find("stored: 0\nduplicates: 3\n"), std::string::npos) << second.out;
  struct stat st {};
  EXPECT_EQ(stat(old.c_str(), &st), 0) << "the command does not rename FILE";

  CliResult stats = run("db stats");
  ASSERT_EQ(stats.status, 0) << stats.err;
  EXPECT_NE(stats.out.find("Cdata: 3\n"), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("Pdata: 1\n"), std::string::npos) << stats.out;

  CliResult missing = run("import " + shellQuote(dir_ + "/nothing.mdb"));
  EXPECT_EQ(missing.status, 1);
}

TEST_F(DbCommand, AccessFileIsLeftAloneAndStartFails) {
  std::string jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
  jet.resize(2048, '\0');
  { std::ofstream(dir_ + "/Lumarc.mdb", std::ios::binary) << jet; }
  CliResult r = run("db init");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Dbase open failed!"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Database access Failed!"), std::string::npos) << r.err;
  EXPECT_EQ(readAll(dir_ + "/Lumarc.mdb"), jet);
}

TEST_F(DbCommand, ServerConnectionFromDbOption) {
  const char* pg = std::getenv("LUMARC_TEST_PG");
  if (!pg || !*pg) GTEST_SKIP() << "LUMARC_TEST_PG is not set: no PostgreSQL server for this run";
  const std::string schema = "cli_" + std::to_string(getpid());
  {
    lumarc::store::Database admin(pg);
    admin.connection().execute("CREATE SCHEMA " + schema);
  }
  std::string conn = std::string(pg) + ";ConnSettings={SET search_path TO " + schema + "};";
  CliResult init = run("db init", conn);
  EXPECT_EQ(init.status, 0) << init.err;
  EXPECT_NE(init.out.find("main: opened on the server"), std::string::npos) << init.out;
  EXPECT_EQ(init.out.find("PWD=") == std::string::npos || init.out.find("PWD=***") != std::string::npos, true)
      << "no password in the output";
  CliResult stats = run("db stats", conn);
  EXPECT_EQ(stats.status, 0) << stats.err;
  EXPECT_EQ(stats.out, "Cdata: 0\nMdata: 0\nPdata: 0\nRout: 0\nTmpl03: 0\nVdata00: 0\n");
  lumarc::store::Database admin(pg);
  admin.connection().execute("DROP SCHEMA " + schema + " CASCADE");
}

}  // namespace
