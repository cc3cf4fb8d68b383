// Fixtures of the record store suite (store_test, cmdr_store_test,
// older_import_test, cmdr_archive_test): a RecordStore on a fresh folder,
// on the embedded SQLite files and on a PostgreSQL schema of its own
// (Backends), or on files only (Files); the messages it reports; a sample
// type A record.
#pragma once

#include "lumarc/store/record_store.h"
#include "lumarc/store/store_test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumarc::storetest {

inline bool exists(const std::string& p) {
  struct stat st {};
  return stat(p.c_str(), &st) == 0;
}

struct Message {
  StoreMessage id;
  std::string file, detail;
};

struct RecordingSink : StoreMessageSink {
  std::vector<Message> messages;
  void storeMessage(StoreMessage id, const std::string& file, const std::string& detail) override {
    messages.push_back({id, file, detail});
  }
  bool has(StoreMessage id) const {
    for (auto& m : messages)
      if (m.id == id) return true;
    return false;
  }
};

struct AnswerUi : ImportUi {
  bool answer = true;
  int asked = 0, progress = 0, finished = 0;
  bool confirmImport() override {
    ++asked;
    return answer;
  }
  void importProgress(uint64_t, uint64_t) override { ++progress; }
  void importFinished() override { ++finished; }
};

inline CmdrRecord sampleA(int second = 7, uint32_t pulses = 3, const std::string& cport = "    1234") {
  CmdrRecord r;
  r.type = "A";
  r.tdate = DateTime{2024, 3, 15, 10, 20, second};
  r.duration = 65;
  r.cport = cport;
  r.pport = "    5678";
  r.uport = "     801";
  r.rdata = "0123456789" + std::string(22, ' ');
  r.xdata = std::string(32, ' ');
  r.cdata = "  lead blanks kept" + std::string(14, ' ');
  r.rpuls = pulses;
  r.ppuls = 1;
  r.crefa = 0x80000001u;
  r.crefb = 2;
  r.crefc = 3;
  r.flags = (2u << 21) | 0x12;
  r.ipadr = 0xC0A80A01u;  // 192.168.10.1: above 2^31
  return r;
}

enum class Backend { Sqlite, Postgres };

class Backends : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    dir_ = makeTempDir();
    ASSERT_FALSE(dir_.empty());
    if (GetParam() == Backend::Postgres) {
      const char* pg = std::getenv("LUMARC_TEST_PG");
      if (!pg || !*pg)
        GTEST_SKIP() << "LUMARC_TEST_PG is not set: no PostgreSQL server for this run "
                        "(make test starts one with scripts/pg-test-server.sh)";
      std::string name =
          "lt_" + std::to_string(getpid()) + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
      for (auto& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      schema_ = std::make_unique<PgSchema>(pg, name.substr(0, 60));
      conn_ = schema_->connection();
    }
  }
  void TearDown() override {
    store_.reset();
    schema_.reset();
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  RecordStore& openStore() {
    store_ = std::make_unique<RecordStore>(&sink_);
    EXPECT_TRUE(store_->openMainDatabase(dir_, conn_)) << dump();
    EXPECT_TRUE(store_->openVoiceDatabase(dir_, conn_)) << dump();
    return *store_;
  }
  std::string dump() const {
    std::string s;
    for (auto& m : sink_.messages) s += m.file + ": " + m.detail + "\n";
    return s;
  }
  int64_t count(const store::TableDef& t) { return store_->mainDatabase()->rowCount(t); }

  std::string dir_, conn_;
  std::unique_ptr<PgSchema> schema_;
  RecordingSink sink_;
  std::unique_ptr<RecordStore> store_;
};

class Files : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = makeTempDir(); }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
};

// A file that starts like an Access (Jet 4) database and holds nothing else.
inline std::string accessLookingBytes() {
  // The first bytes of a Jet 4 file: 00 01 00 00 "Standard Jet DB" 00, then zeros.
  std::string b("\x00\x01\x00\x00Standard Jet DB\x00\x01\x00\x00\x00", 24);
  b.resize(4096, '\0');
  return b;
}

}  // namespace lumarc::storetest
