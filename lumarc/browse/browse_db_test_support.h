// Test support for the selection and report suites: a main database on a
// fresh SQLite file, or in a schema of its own on the test PostgreSQL server
// (LUMARC_TEST_PG), with helpers that seed records, users and definitions.
#pragma once

#include "common/format.h"
#include "common/test_support.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/store_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace lumarc::browse::testing {

enum class Engine { Sqlite, Postgres };

inline std::string engineName(const ::testing::TestParamInfo<Engine>& i) {
  return i.param == Engine::Sqlite ? "Sqlite" : "Postgres";
}

class OnDatabase : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    std::string conn;
    if (GetParam() == Engine::Postgres) {
      if (storetest::pgServer().empty()) GTEST_SKIP() << "LUMARC_TEST_PG is not set";
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      schema_ = std::make_unique<storetest::PgSchema>(storetest::pgServer(),
                                                      "rep_" + std::to_string(getpid()) + "_" + info->name());
      conn = schema_->connection();
    }
    ASSERT_TRUE(store_.openMainDatabase(dir_.path(), conn));
  }
  void TearDown() override {
    store_.closeAll();
    schema_.reset();
  }
  store::Database& db() { return *store_.mainDatabase(); }

  static CmdrRecord call(const char* cport, DateTime t, uint32_t duration = 60) {
    CmdrRecord r;
    r.type = "A";
    r.tdate = t;
    r.duration = duration;
    r.cport = corvane::portText8(cport);
    r.pport = "        ";
    r.uport = "        ";
    r.rdata = std::string(32, ' ');
    r.xdata = std::string(32, ' ');
    r.cdata = std::string(32, ' ');
    return r;
  }
  static std::string digits(const std::string& d) { return d + std::string(32 - d.size(), ' '); }
  int32_t add(CmdrRecord r) {
    store::DrptCset c(db());
    EXPECT_TRUE(c.add(r)) << c.error();
    return r.sqno;
  }
  int32_t addUser(const char* port, const char* surname, const char* name, bool selected = false, const char* dept = "",
                  const char* sect = "") {
    UserRecord u;
    u.cport = corvane::portText8(port);
    u.surn = surname;
    u.name = name;
    u.Slct = selected;
    u.dept = dept;
    u.sect = sect;
    store::DrptPset users(db());
    EXPECT_TRUE(users.add(u)) << users.error();
    return u.sqno;
  }
  void addDefinition(const char* name, const char* number, bool ackd, int32_t type = 0) {
    RouteRecord r;
    r.RType = type;
    r.RName = name;
    r.RDgts = number;
    r.Ackd = ackd;
    store::DrptRset defs(db());
    EXPECT_TRUE(defs.add(r)) << defs.error();
  }

  corvane::testing::TempDir dir_{"browse-report"};
  std::unique_ptr<storetest::PgSchema> schema_;
  RecordStore store_;
};

}  // namespace lumarc::browse::testing
