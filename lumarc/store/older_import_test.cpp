// The import of the older program's database: the conversion of an older
// row, the start-up import of Olvar.mdb with its question and rename (run
// twice: the second finds only duplicates), an Access file read through
// mdbtools, the import of any file, and the rename that never overwrites.
#include "lumarc/store/record_store_test_support.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using store::Condition;
using store::Database;
using namespace storetest;

using corvane::testing::readAll;

TEST(Import, FlagRebuildOfAnOlderRecord) {
  EXPECT_EQ(rebuildImportedFlags(0x000F3201u, 0x0155u), 0x01FD5501u);
  OlderCmdrRecord old;
  old.type = "A";
  old.cport = "  123";
  old.pport = "4567xyz";
  old.uport = "";
  old.rdata = "   0123";
  old.xdata = std::string(40, '9');
  old.flags = 0x000F3201u;
  old.info = 0x0155u;
  CmdrRecord r = importedRecord(old);
  EXPECT_EQ(r.cport, "     123");
  EXPECT_EQ(r.pport, "    4567");
  EXPECT_EQ(r.uport, "        ");
  EXPECT_EQ(r.rdata, "0123" + std::string(28, ' '));
  EXPECT_EQ(r.xdata, std::string(32, '9'));
  EXPECT_EQ(r.cdata, std::string(32, ' '));
  EXPECT_EQ(r.flags, 0x01FD5501u);
}

void writeOlderDatabase(const std::string& path, const std::vector<OlderCmdrRecord>& rows) {
  ASSERT_TRUE(RecordStore::createBlankDatabase(path));
  Database db(sqliteConnectionString(path));
  db.ensureTables({&store::olderCdataTable()});
  store::DrptXset x(db);
  for (auto r : rows) ASSERT_TRUE(x.add(r)) << x.error();
}

std::vector<OlderCmdrRecord> olderRows() {
  std::vector<OlderCmdrRecord> v;
  for (int i = 0; i < 300; ++i) {
    OlderCmdrRecord o;
    o.type = "A";
    o.tdate = DateTime{2009, 6, 1 + i / 60, 12, i % 60, i % 60};
    o.duration = static_cast<uint32_t>(i);
    o.cport = "  " + std::to_string(100 + i % 3);
    o.pport = "5000";
    o.uport = "801";
    o.rdata = "   0212555" + std::to_string(i);
    o.rpuls = 2;
    o.ppuls = 1;
    o.flags = 0x000F3201u;
    o.info = 0x0155u;
    v.push_back(o);
  }
  OlderCmdrRecord b;
  b.type = "B";
  b.tdate = DateTime{2009, 6, 1, 0, 0, 0};
  b.rdata = "Power up";
  v.push_back(b);
  v.push_back(v[0]);  // a duplicate inside the old file
  return v;
}

TEST_P(Backends, ImportOlderDatabaseTwice) {
  RecordStore& rs = openStore();
  const std::string olvar = dir_ + "/Olvar.mdb";
  writeOlderDatabase(olvar, olderRows());
  AnswerUi ui;
  ui.answer = false;
  ImportResult cancelled = rs.importOlderDatabase(dir_, &ui);
  EXPECT_EQ(cancelled.status, ImportResult::Status::Cancelled);
  EXPECT_EQ(ui.asked, 1);
  EXPECT_TRUE(exists(olvar));
  EXPECT_EQ(count(store::cdataTable()), 0);

  ui.answer = true;
  ImportResult r = rs.importOlderDatabase(dir_, &ui);
  ASSERT_EQ(r.status, ImportResult::Status::Done) << r.error;
  EXPECT_EQ(r.stored, 300u);
  EXPECT_EQ(r.duplicates, 1u);
  EXPECT_EQ(r.skipped, 1u);
  EXPECT_EQ(ui.progress, 1);  // after row 256
  EXPECT_EQ(ui.finished, 1);
  EXPECT_EQ(r.renamedTo, dir_ + "/OlvarImp.mdb");
  EXPECT_FALSE(exists(olvar));
  EXPECT_EQ(count(store::cdataTable()), 300);
  ASSERT_TRUE(rs.cset()->open(Condition::eq("duration", int64_t{0})));
  CmdrRecord c;
  ASSERT_TRUE(rs.cset()->next(c));
  rs.cset()->close();
  EXPECT_EQ(c.flags, 0x01FD5501u);
  EXPECT_EQ(c.cport, "     100");
  EXPECT_EQ(c.uport, "     801");
  EXPECT_EQ(c.rdata, "02125550" + std::string(24, ' '));
  EXPECT_EQ(c.tdate, (DateTime{2009, 6, 1, 12, 0, 0}));
  // Counters: 100 calls per user, star class 3 (old flag bits 16-19 = 0xF).
  store::DrptPset users(*rs.mainDatabase());
  ASSERT_TRUE(users.open(Condition::eq("cport", std::string("     100"))));
  UserRecord u;
  ASSERT_TRUE(users.next(u));
  EXPECT_EQ(u.pra3, 200u);
  EXPECT_EQ(u.ppa3, 100u);
  users.close();

  // Renamed back, the same file imports nothing and charges nothing.
  ASSERT_EQ(rename((dir_ + "/OlvarImp.mdb").c_str(), olvar.c_str()), 0);
  writeOlderDatabase(dir_ + "/OlvarImp.mdb", {});  // an earlier import's file is in the way
  ImportResult second = rs.importOlderDatabase(dir_, &ui);
  ASSERT_EQ(second.status, ImportResult::Status::Done) << second.error;
  EXPECT_EQ(second.stored, 0u);
  EXPECT_EQ(second.duplicates, 301u);
  EXPECT_EQ(second.renamedTo, dir_ + "/OlvarImp1.mdb");  // nothing overwritten
  EXPECT_TRUE(exists(dir_ + "/OlvarImp.mdb"));
  EXPECT_EQ(count(store::cdataTable()), 300);
  ASSERT_TRUE(users.open(Condition::eq("cport", std::string("     100"))));
  ASSERT_TRUE(users.next(u));
  EXPECT_EQ(u.pra3, 200u);
}

TEST_F(Files, AccessOlvarGoesThroughMdbtoolsReadOnly) {
  // No real Access file can be made here (mdbtools only reads); this one has
  // a Jet header and nothing else: the mdbtools driver is asked and refuses,
  // and the import is skipped without touching or renaming the file.
  RecordStore rs;
  ASSERT_TRUE(rs.openMainDatabase(dir_));
  const std::string olvar = dir_ + "/Olvar.mdb";
  { std::ofstream(olvar, std::ios::binary) << accessLookingBytes(); }
  AnswerUi ui;
  ImportResult r = rs.importOlderDatabase(dir_, &ui);
  EXPECT_EQ(r.status, ImportResult::Status::Unreadable) << r.error;
  EXPECT_EQ(ui.asked, 0);
  EXPECT_EQ(readAll(olvar), accessLookingBytes());
  EXPECT_FALSE(exists(dir_ + "/OlvarImp.mdb"));
  EXPECT_EQ(mdbtoolsConnectionString("/a b/Olvar.mdb"), "DRIVER=MDBTools;DBQ=/a b/Olvar.mdb;");
}

TEST_F(Files, NoOlvarNoQuestion) {
  RecordStore rs;
  ASSERT_TRUE(rs.openMainDatabase(dir_));
  AnswerUi ui;
  EXPECT_EQ(rs.importOlderDatabase(dir_, &ui).status, ImportResult::Status::NoFile);
  EXPECT_EQ(ui.asked, 0);
}

TEST_F(Files, ImportFileWithoutQuestionOrRename) {
  RecordStore rs;
  ASSERT_TRUE(rs.openMainDatabase(dir_));
  const std::string src = dir_ + "/old-site.db";
  writeOlderDatabase(src, olderRows());
  ImportResult r = rs.importFile(src);
  ASSERT_EQ(r.status, ImportResult::Status::Done) << r.error;
  EXPECT_EQ(r.stored, 300u);
  EXPECT_TRUE(exists(src));
  EXPECT_EQ(rs.importFile(src).stored, 0u);
}

TEST_F(Files, RenameNeverOverwrites) {
  const std::string a = dir_ + "/Olvar.mdb", b = dir_ + "/OlvarImp.mdb";
  { std::ofstream(a) << "new"; }
  { std::ofstream(b) << "old"; }
  { std::ofstream(dir_ + "/OlvarImp1.mdb") << "older"; }
  auto r = renameNoReplace(a, b);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, dir_ + "/OlvarImp2.mdb");
  EXPECT_EQ(readAll(b), "old");
  EXPECT_EQ(readAll(*r), "new");
}

}  // namespace
}  // namespace lumarc
