// The store suite. Tests named Backends/* run against the embedded SQLite
// files and against PostgreSQL (LUMARC_TEST_PG, a connection string; skipped
// when unset). File tests (read-only, Access-looking, import renames) are
// SQLite only, since they are about files. This file holds the schema,
// recordsets and opening; the store operation, the archives and the import
// have test files of their own (cmdr_store_test.cpp, cmdr_archive_test.cpp,
// older_import_test.cpp).
#include "lumarc/store/record_store.h"
#include "lumarc/store/record_store_test_support.h"

#include "common/format.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lumarc {
namespace {

using store::Condition;
using store::Database;
using store::Expr;

using corvane::testing::readAll;
using namespace storetest;

// Columns of a table as the ODBC catalog (SQLColumns) reports them.
struct CatalogColumn {
  std::string name;
  int dataType;
  long size;
  int position;
};
std::vector<CatalogColumn> catalogColumns(Database& db, std::string table) {
  if (db.engine() == store::Engine::Postgres)
    for (auto& c : table) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  odbc::Statement s(db.connection());
  SQLRETURN rc =
      SQLColumns(s.handle(), nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(table.data()), SQL_NTS, nullptr, 0);
  odbc::check(rc, SQL_HANDLE_STMT, s.handle(), "SQLColumns");
  std::vector<CatalogColumn> cols;
  while (s.fetch()) {
    CatalogColumn c;
    int64_t v = 0;
    s.getText(4, c.name);
    s.getInt64(5, v);
    c.dataType = static_cast<int>(v);
    s.getInt64(7, v);
    c.size = static_cast<long>(v);
    s.getInt64(17, v);
    c.position = static_cast<int>(v);
    cols.push_back(c);
  }
  return cols;
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST_P(Backends, CatalogShowsTheProgramsSchema) {
  RecordStore& rs = openStore();
  for (const store::TableDef* t :
       {&store::cdataTable(), &store::pdataTable(), &store::mdataTable(), &store::routTable(), &store::tmpl03Table()}) {
    auto cols = catalogColumns(*rs.mainDatabase(), t->name);
    ASSERT_EQ(cols.size(), t->columns.size()) << t->name;
    for (size_t i = 0; i < cols.size(); ++i) {
      SCOPED_TRACE(std::string(t->name) + "." + t->columns[i].name);
      EXPECT_EQ(lower(cols[i].name), lower(t->columns[i].name));
      EXPECT_EQ(cols[i].position, static_cast<int>(i + 1));
      switch (t->columns[i].type) {
        case store::ColType::Text:
          EXPECT_TRUE(cols[i].dataType == SQL_VARCHAR || cols[i].dataType == SQL_WVARCHAR) << cols[i].dataType;
          EXPECT_EQ(cols[i].size, static_cast<long>(t->columns[i].width));
          break;
        case store::ColType::Counter:
        case store::ColType::Long: EXPECT_EQ(cols[i].dataType, SQL_INTEGER); break;
        case store::ColType::Bit:
        case store::ColType::Short: EXPECT_EQ(cols[i].dataType, SQL_SMALLINT); break;
        case store::ColType::Float:
          EXPECT_TRUE(cols[i].dataType == SQL_DOUBLE || cols[i].dataType == SQL_FLOAT) << cols[i].dataType;
          break;
        case store::ColType::Date:
          EXPECT_TRUE(cols[i].dataType == SQL_TYPE_TIMESTAMP || cols[i].dataType == SQL_TIMESTAMP) << cols[i].dataType;
          break;
      }
    }
  }
  auto vcols = catalogColumns(*rs.voiceDatabase(), "Vdata00");
  ASSERT_EQ(vcols.size(), 16u);
  EXPECT_EQ(lower(vcols[11].name), "rcdfn");
  EXPECT_EQ(vcols[11].size, 1024);

  // The secondary indexes, named <Table>_<column> (SQLStatistics).
  std::string table = rs.mainDatabase()->engine() == store::Engine::Postgres ? "cdata" : "Cdata";
  odbc::Statement s(rs.mainDatabase()->connection());
  SQLRETURN rc = SQLStatistics(s.handle(), nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(table.data()), SQL_NTS,
                               SQL_INDEX_ALL, SQL_QUICK);
  odbc::check(rc, SQL_HANDLE_STMT, s.handle(), "SQLStatistics");
  std::vector<std::string> names;
  while (s.fetch()) {
    std::string n;
    s.getText(6, n);
    names.push_back(lower(n));
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "cdata_tdate"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "cdata_cport"), names.end());
}

TEST_P(Backends, CdataRowRoundTripsExactly) {
  RecordStore& rs = openStore();
  CmdrRecord r = sampleA();
  r.rdata = "\xE9t\xE9 caf\xE9" + std::string(23, ' ');  // 8-bit CP1252 text
  r.flags = 0xFFFFFFFFu;
  r.Xid = "EXCH-01";
  r.flagt = 0x80000000u;
  ASSERT_TRUE(rs.cset()->add(r)) << rs.cset()->error();
  EXPECT_GT(r.sqno, 0);
  auto back = rs.cset()->find(r.sqno);
  ASSERT_TRUE(back.has_value()) << rs.cset()->error();
  EXPECT_EQ(back->sqno, r.sqno);
  EXPECT_EQ(back->type, "A");
  EXPECT_EQ(back->tdate, r.tdate);
  EXPECT_EQ(back->cport, "    1234");
  EXPECT_EQ(back->cdata, r.cdata);
  EXPECT_EQ(back->rdata, r.rdata);
  EXPECT_EQ(back->crefa, 0x80000001u);
  EXPECT_EQ(back->flags, 0xFFFFFFFFu);
  EXPECT_EQ(back->flagt, 0x80000000u);
  EXPECT_EQ(back->ipadr, 0xC0A80A01u);
  EXPECT_EQ(back->Xid, "EXCH-01");
  // Texts longer than the column are cut to its width.
  CmdrRecord longer = sampleA();
  longer.cport = "123456789012";
  ASSERT_TRUE(rs.cset()->add(longer)) << rs.cset()->error();
  EXPECT_EQ(longer.sqno, r.sqno + 1);
  auto cut = rs.cset()->find(longer.sqno);
  ASSERT_TRUE(cut.has_value()) << rs.cset()->error();
  EXPECT_EQ(cut->cport, "12345678");
}

TEST_P(Backends, RecordsetFilterSortUpdateDelete) {
  RecordStore& rs = openStore();
  for (int i = 0; i < 30; ++i) {
    CmdrRecord r = sampleA(i % 60);
    r.tdate = DateTime{2023 + i % 2, 1 + i % 12, 1 + i, i % 24, i, i};
    r.cport = corvane::portText8(std::to_string(100 + i));
    r.type = i % 3 == 0 ? "B" : "A";
    ASSERT_TRUE(rs.cset()->add(r)) << rs.cset()->error();
  }
  auto collect = [&](const Condition& c, const store::Sort& s = {}) {
    std::vector<CmdrRecord> v;
    EXPECT_TRUE(rs.cset()->open(c, s)) << rs.cset()->error();
    CmdrRecord r;
    while (rs.cset()->next(r)) v.push_back(r);
    EXPECT_EQ(rs.cset()->error(), "");
    return v;
  };
  EXPECT_EQ(collect({}).size(), 30u);
  auto y2024 = collect(Condition::compare(Expr::year("tdate"), Condition::Op::Eq, int64_t{2024}),
                       store::Sort{{Expr::column("tdate"), true}});
  ASSERT_EQ(y2024.size(), 15u);
  for (size_t i = 1; i < y2024.size(); ++i) EXPECT_GT(y2024[i - 1].tdate, y2024[i].tdate);
  auto hour5 = collect(Condition::all({Condition::compare(Expr::hour("tdate"), Condition::Op::Eq, int64_t{5}),
                                       Condition::compare(Expr::minute("tdate"), Condition::Op::Eq, int64_t{5})}));
  ASSERT_EQ(hour5.size(), 1u);
  EXPECT_EQ(hour5[0].cport, "     105");
  EXPECT_EQ(collect(Condition::compare(Expr::month("tdate"), Condition::Op::Eq, int64_t{2})).size(), 3u);
  EXPECT_EQ(collect(Condition::compare(Expr::day("tdate"), Condition::Op::Le, int64_t{3})).size(), 3u);
  EXPECT_EQ(collect(Condition::compare(Expr::left("cport", 7), Condition::Op::Eq, std::string("     11"))).size(), 10u);
  EXPECT_EQ(collect(Condition::eq("type", std::string("B"))).size(), 10u);
  EXPECT_EQ(collect(Condition::eq("cport", std::string("' OR 1=1 --"))).size(), 0u);
  EXPECT_EQ(collect(Condition::none()).size(), 0u);

  auto first = collect(Condition::eq("cport", std::string("     107")));
  ASSERT_EQ(first.size(), 1u);
  CmdrRecord r = first[0];
  r.flagt = 42;
  r.cdata = "changed";
  ASSERT_TRUE(rs.cset()->update(r)) << rs.cset()->error();
  auto again = rs.cset()->find(r.sqno);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->flagt, 42u);
  EXPECT_EQ(again->cdata, "changed");
  ASSERT_TRUE(rs.cset()->remove(r.sqno));
  EXPECT_FALSE(rs.cset()->find(r.sqno).has_value());
  EXPECT_EQ(count(store::cdataTable()), 29);
}

TEST_P(Backends, EveryTableRoundTrips) {
  RecordStore& rs = openStore();
  UserRecord u;
  u.cport = "     201";
  u.name = "Ay\xFE";  // CP1252 thorn
  u.surn = "Yilmaz";
  u.flag = 0x80000000u;
  u.prc = 7;
  u.Slct = true;
  ASSERT_TRUE(rs.pset()->add(u)) << rs.pset()->error();
  auto u2 = rs.pset()->find(u.sqno);
  ASSERT_TRUE(u2);
  EXPECT_EQ(u2->name, u.name);
  EXPECT_EQ(u2->flag, 0x80000000u);
  EXPECT_TRUE(u2->Slct);

  RouteRecord rt;
  rt.RFlag = -1;
  rt.RName = "Sales";
  rt.RDgts = "0090";
  rt.Ackd = true;
  ASSERT_TRUE(rs.rset()->add(rt)) << rs.rset()->error();
  auto rt2 = rs.rset()->find(rt.RSno);
  ASSERT_TRUE(rt2);
  EXPECT_EQ(rt2->RFlag, -1);
  EXPECT_EQ(rt2->RDgts, "0090");
  EXPECT_TRUE(rt2->Ackd);
  EXPECT_FALSE(rt2->Slct);

  TemplateRecord t;
  t.TName = "Night calls";
  t.TPrce = 0.125;
  t.Tucamr = 1e-3;
  t.TStr = DateTime{2024, 1, 1, 0, 0, 0};
  t.TMid = DateTime{1899, 12, 30, 22, 0, 0};
  t.TDrtn = -1;
  t.ipadr = 0xFFFFFFFFu;
  ASSERT_TRUE(rs.tset()->add(t)) << rs.tset()->error();
  auto t2 = rs.tset()->find(t.TSno);
  ASSERT_TRUE(t2);
  EXPECT_EQ(t2->TName, "Night calls");
  EXPECT_DOUBLE_EQ(t2->TPrce, 0.125);
  EXPECT_DOUBLE_EQ(t2->Tucamr, 1e-3);
  EXPECT_EQ(t2->TStr, t.TStr);
  EXPECT_TRUE(t2->TEnd.isNull());
  EXPECT_EQ(t2->TMid, t.TMid);
  EXPECT_EQ(t2->TDrtn, -1);
  EXPECT_EQ(t2->ipadr, 0xFFFFFFFFu);

  VoiceRecord v;
  v.rcdport = "     301";
  v.rcdfn = dir_ + "/Wav/" + std::string(300, 'x');  // longer than 128
  v.rcdfx = "apc";
  v.Wavu = true;
  v.rcddate = 240315;
  ASSERT_TRUE(rs.vset()->add(v)) << rs.vset()->error();
  auto v2 = rs.vset()->find(v.sqno);
  ASSERT_TRUE(v2);
  EXPECT_EQ(v2->rcdfn, v.rcdfn);
  EXPECT_TRUE(v2->Wavu);
  EXPECT_FALSE(v2->Drog);

  MonitorRow m;
  m.datb = std::string(193, 'd');
  m.tdate = DateTime{2024, 5, 6, 7, 8, 9};
  ASSERT_TRUE(rs.mset()->add(m)) << rs.mset()->error();
  auto m2 = rs.mset()->find(m.sqno);
  ASSERT_TRUE(m2);
  EXPECT_EQ(m2->datb, m.datb);
  EXPECT_EQ(m2->tdate, m.tdate);
}

TEST_P(Backends, BulkInsertAndStreaming) {
  RecordStore& rs = openStore();
  Database& db = *rs.mainDatabase();
  db.begin();
  {
    store::BulkInserter<CmdrRecord> bulk(db, 64);
    for (int i = 0; i < 1000; ++i) {
      CmdrRecord r = sampleA(i % 60);
      r.crefb = static_cast<uint32_t>(i);
      bulk.add(r);
    }
    bulk.flush();
    EXPECT_EQ(bulk.inserted(), 1000u);
  }
  db.commit();
  EXPECT_EQ(count(store::cdataTable()), 1000);
  ASSERT_TRUE(rs.cset()->open({}, store::sortBy("crefb")));
  CmdrRecord r;
  uint32_t expect = 0;
  while (rs.cset()->next(r)) EXPECT_EQ(r.crefb, expect++);
  EXPECT_EQ(expect, 1000u);
  // Rolled back rows are gone.
  db.begin();
  {
    store::BulkInserter<CmdrRecord> bulk(db, 10);
    for (int i = 0; i < 25; ++i) bulk.add(sampleA());
    bulk.flush();
  }
  db.rollback();
  EXPECT_EQ(count(store::cdataTable()), 1000);
}

TEST_P(Backends, LargeResultsStreamInOrder) {
  // More rows than one page of the SQLite keyset paging, with repeated sort
  // values and some rows without a date.
  RecordStore& rs = openStore();
  Database& db = *rs.mainDatabase();
  const int n = static_cast<int>(store::DrptCset::kPageRows) * 2 + 357;
  db.begin();
  {
    store::BulkInserter<CmdrRecord> bulk(db, 100);
    for (int i = 0; i < n; ++i) {
      CmdrRecord r = sampleA(0);
      r.tdate = i % 97 == 0 ? DateTime{} : DateTime{2024, 1, 1 + i % 20, 0, 0, i % 7};
      r.duration = static_cast<uint32_t>(i % 13);
      r.rpuls = static_cast<uint32_t>(i % 5);
      r.type = i % 4 == 0 ? "B" : "A";
      bulk.add(r);
    }
    bulk.flush();
  }
  db.commit();
  auto read = [&](const Condition& c, const store::Sort& s) {
    std::vector<CmdrRecord> v;
    EXPECT_TRUE(rs.cset()->open(c, s)) << rs.cset()->error();
    CmdrRecord r;
    while (rs.cset()->next(r)) v.push_back(r);
    EXPECT_EQ(rs.cset()->error(), "");
    return v;
  };
  auto uniqueKeys = [](const std::vector<CmdrRecord>& v) {
    std::set<int32_t> k;
    for (auto& r : v) k.insert(r.sqno);
    return k.size();
  };
  auto all = read({}, {});
  ASSERT_EQ(all.size(), static_cast<size_t>(n));
  EXPECT_EQ(uniqueKeys(all), static_cast<size_t>(n));
  for (size_t i = 1; i < all.size(); ++i) EXPECT_LT(all[i - 1].sqno, all[i].sqno);

  for (bool desc : {false, true}) {
    auto byDate = read({}, store::sortBy("tdate", desc));
    ASSERT_EQ(byDate.size(), static_cast<size_t>(n)) << desc;
    EXPECT_EQ(uniqueKeys(byDate), static_cast<size_t>(n));
    std::vector<DateTime> dates;
    for (auto& r : byDate)
      if (!r.tdate.isNull()) dates.push_back(r.tdate);
    EXPECT_EQ(dates.size(), static_cast<size_t>(n - (n + 96) / 97));
    if (desc) std::reverse(dates.begin(), dates.end());
    EXPECT_TRUE(std::is_sorted(dates.begin(), dates.end())) << desc;
  }

  // Two columns in one direction, with a filter.
  Condition typeA = Condition::eq("type", std::string("A"));
  auto two = read(typeA, store::Sort{{Expr::column("duration"), true}, {Expr::column("rpuls"), true}});
  size_t expectA = 0;
  for (int i = 0; i < n; ++i) expectA += i % 4 != 0;
  ASSERT_EQ(two.size(), expectA);
  EXPECT_EQ(uniqueKeys(two), expectA);
  for (size_t i = 1; i < two.size(); ++i) {
    auto a = std::make_pair(two[i - 1].duration, two[i - 1].rpuls), b = std::make_pair(two[i].duration, two[i].rpuls);
    EXPECT_GE(a, b);
  }
  // Mixed directions and expressions run as one query.
  auto mixed = read(typeA, store::Sort{{Expr::year("tdate"), false}, {Expr::column("duration"), true}});
  EXPECT_EQ(mixed.size(), expectA);
}

// An older program's database as an SQLite file (its Cdata columns).
// Instantiates the Backends tests of every file of the suite.
INSTANTIATE_TEST_SUITE_P(Store, Backends, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const auto& info) { return info.param == Backend::Sqlite ? "Sqlite" : "Postgres"; });

// ---- file behaviour of the embedded databases (SQLite only) ----

TEST_F(Files, FirstStartCreatesBothDatabasesThenReopens) {
  mkdir((dir_ + "/Wav").c_str(), 0755);
  RecordingSink sink;
  {
    RecordStore rs(&sink);
    ASSERT_TRUE(rs.openMainDatabase(dir_));
    ASSERT_TRUE(rs.openVoiceDatabase(dir_ + "/Wav"));
    EXPECT_EQ(rs.mainState(), "created");
    EXPECT_EQ(rs.voiceState(), "created");
    for (auto* t : store::mainTables()) EXPECT_TRUE(rs.mainDatabase()->tableExists(t->name)) << t->name;
    EXPECT_TRUE(rs.voiceDatabase()->tableExists("Vdata00"));
    CmdrRecord r = sampleA();
    ASSERT_TRUE(rs.cset()->add(r));
    rs.closeAll();
    EXPECT_FALSE(rs.mainOpen());
  }
  EXPECT_EQ(detectDbFileKind(dir_ + "/Lumarc.mdb"), DbFileKind::Sqlite);
  EXPECT_EQ(detectDbFileKind(dir_ + "/Wav/LumarcVt.mdb"), DbFileKind::Sqlite);
  RecordStore rs(&sink);
  ASSERT_TRUE(rs.openMainDatabase(dir_));
  EXPECT_EQ(rs.mainState(), "opened");
  EXPECT_EQ(rs.mainDatabase()->rowCount(store::cdataTable()), 1);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(Files, ZeroByteFileIsAnEmptyDatabase) {
  { std::ofstream(dir_ + "/Lumarc.mdb"); }
  RecordStore rs;
  ASSERT_TRUE(rs.openMainDatabase(dir_));
  EXPECT_EQ(rs.mainState(), "opened");
  EXPECT_TRUE(rs.mainDatabase()->tableExists("Tmpl03"));
}

TEST_F(Files, OldDatabaseWithoutTmpl03GetsItAndKeepsRows) {
  const std::string path = dir_ + "/Lumarc.mdb";
  {
    Database db(sqliteConnectionString(path));
    db.ensureTables({&store::cdataTable(), &store::mdataTable(), &store::pdataTable(), &store::routTable()});
    store::DrptCset c(db);
    CmdrRecord r = sampleA();
    ASSERT_TRUE(c.add(r));
    UserRecord u;
    u.cport = "    1234";
    store::DrptPset p(db);
    ASSERT_TRUE(p.add(u));
    EXPECT_FALSE(db.tableExists("Tmpl03"));
  }
  RecordingSink sink;
  RecordStore rs(&sink);
  ASSERT_TRUE(rs.openMainDatabase(dir_));
  EXPECT_EQ(rs.mainState(), "opened");
  EXPECT_TRUE(rs.mainDatabase()->tableExists("Tmpl03"));
  EXPECT_EQ(rs.mainDatabase()->rowCount(store::cdataTable()), 1);
  EXPECT_EQ(rs.mainDatabase()->rowCount(store::pdataTable()), 1);
  TemplateRecord t;
  t.TName = "new";
  EXPECT_TRUE(rs.tset()->add(t));
  EXPECT_TRUE(sink.messages.empty());
}

// Runs f as an unprivileged user when the test runs as root (root may write
// any file), and returns its exit status.
template <class F>
int asUnprivileged(F f) {
  if (geteuid() != 0) return f();
  pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
    _exit(f());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST_F(Files, ReadOnlyFileIsReportedNeverReplaced) {
  const std::string path = dir_ + "/Lumarc.mdb";
  {
    RecordStore rs;
    ASSERT_TRUE(rs.openMainDatabase(dir_));
    CmdrRecord r = sampleA();
    ASSERT_TRUE(rs.cset()->add(r));
  }
  chmod(path.c_str(), 0444);
  chmod(dir_.c_str(), 0777);
  const std::string before = readAll(path);
  int rc = asUnprivileged([&] {
    RecordingSink sink;
    RecordStore rs(&sink);
    if (rs.openMainDatabase(dir_)) return 1;
    if (sink.messages.size() != 1) return 2;
    if (sink.messages[0].id != StoreMessage::FileAccessFailed) return 3;
    if (sink.messages[0].file != "Lumarc.mdb") return 4;
    return 0;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(readAll(path), before);
  EXPECT_EQ(detectDbFileKind(path), DbFileKind::Sqlite);
}

TEST_F(Files, UnwritableVoiceFileIsReported) {
  mkdir((dir_ + "/Wav").c_str(), 0777);
  { std::ofstream(dir_ + "/Wav/LumarcVt.mdb"); }
  chmod((dir_ + "/Wav/LumarcVt.mdb").c_str(), 0444);
  chmod(dir_.c_str(), 0777);
  int rc = asUnprivileged([&] {
    RecordingSink sink;
    RecordStore rs(&sink);
    if (rs.openVoiceDatabase(dir_ + "/Wav")) return 1;
    return sink.has(StoreMessage::FileAccessFailed) && sink.messages[0].file == "LumarcVt.mdb" ? 0 : 2;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(exists(dir_ + "/Wav/LumarcVt.mdb"));
}

TEST_F(Files, AccessFileIsRecognisedAndNeverWritten) {
  const std::string path = dir_ + "/Lumarc.mdb";
  { std::ofstream(path, std::ios::binary) << accessLookingBytes(); }
  EXPECT_EQ(detectDbFileKind(path), DbFileKind::Access);
  RecordingSink sink;
  RecordStore rs(&sink);
  EXPECT_FALSE(rs.openMainDatabase(dir_));
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].id, StoreMessage::DbaseOpenFailed);
  EXPECT_NE(sink.messages[0].detail.find("Access"), std::string::npos);
  EXPECT_EQ(readAll(path), accessLookingBytes());
  EXPECT_FALSE(exists(path + "-wal"));
  // An archive cannot be opened on it either.
  EXPECT_EQ(rs.openCmdrArchive(path, false), nullptr);
  EXPECT_EQ(readAll(path), accessLookingBytes());
}

TEST_F(Files, ForeignFileIsNotOpenedNorReplaced) {
  const std::string path = dir_ + "/Lumarc.mdb";
  { std::ofstream(path) << "just some text, not a database\n"; }
  RecordingSink sink;
  RecordStore rs(&sink);
  EXPECT_FALSE(rs.openMainDatabase(dir_));
  EXPECT_TRUE(sink.has(StoreMessage::DbaseOpenFailed));
  EXPECT_EQ(readAll(path), "just some text, not a database\n");
}

TEST_F(Files, UserDsnLumarcDbIsUsedWhenDefined) {
  const char* old = std::getenv("ODBCINI");
  const std::string saved = old ? old : "";
  const std::string ini = dir_ + "/odbc.ini", db = dir_ + "/dsn-main.db";
  { std::ofstream(ini) << "[LumarcDb]\nDriver=SQLite3\nDatabase=" << db << "\n"; }
  setenv("ODBCINI", ini.c_str(), 1);
  EXPECT_TRUE(userDsnDefined("LumarcDb"));
  EXPECT_FALSE(userDsnDefined("KvVrcDb"));
  {
    RecordingSink sink;
    RecordStore rs(&sink);
    EXPECT_TRUE(rs.openMainDatabase(dir_)) << (sink.messages.empty() ? "" : sink.messages[0].detail);
    EXPECT_EQ(rs.mainState(), "server");
  }
  if (old)
    setenv("ODBCINI", saved.c_str(), 1);
  else
    unsetenv("ODBCINI");
  EXPECT_EQ(detectDbFileKind(db), DbFileKind::Sqlite);
  EXPECT_FALSE(exists(dir_ + "/Lumarc.mdb"));
}

TEST_F(Files, MissingDriverIsAConfigError) {
  RecordingSink sink;
  RecordStore rs(&sink);
  EXPECT_FALSE(rs.openMainDatabase(dir_, "DRIVER={No Such Driver};SERVER=127.0.0.1;"));
  ASSERT_FALSE(sink.messages.empty());
  EXPECT_EQ(sink.messages[0].id, StoreMessage::SqlConfigError);
}

TEST_F(Files, StoreWithoutDatabaseFails) {
  RecordStore rs;
  StoreOutcome o = rs.store(sampleA());
  EXPECT_TRUE(o.failed());
  EXPECT_FALSE(o.error.empty());
}

}  // namespace
}  // namespace lumarc
