// Test support for the store suites: a PostgreSQL schema of its own per
// test on the test server (LUMARC_TEST_PG), and a fresh folder.
#pragma once

#include "common/test_support.h"
#include "lumarc/store/database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace lumarc::storetest {

// The test server's connection string, or empty when this run has none.
inline std::string pgServer() {
  const char* pg = std::getenv("LUMARC_TEST_PG");
  return pg && *pg ? pg : "";
}

// A schema of its own through psqlODBC's ConnSettings, dropped at the end.
class PgSchema {
 public:
  PgSchema(const std::string& base, const std::string& name) : base_(base), name_(clean(name)) {
    store::Database admin(base_);
    admin.connection().execute("DROP SCHEMA IF EXISTS " + name_ + " CASCADE");
    admin.connection().execute("CREATE SCHEMA " + name_);
  }
  ~PgSchema() {
    try {
      store::Database admin(base_);
      admin.connection().execute("DROP SCHEMA IF EXISTS " + name_ + " CASCADE");
    } catch (...) {
    }
  }
  std::string connection() const {
    std::string c = base_;
    if (!c.empty() && c.back() != ';') c += ';';
    return c + "ConnSettings={SET search_path TO " + name_ + "};";
  }

 private:
  static std::string clean(std::string n) {
    for (auto& c : n) c = std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
    return n.substr(0, 60);
  }
  std::string base_, name_;
};

// Makes the database refuse every Cdata row whose `column` holds one of
// `values`, as a database refuses a row it cannot take: the statement fails
// with "refused by the test" and the transaction goes on.
inline void refuseCdataRows(store::Database& db, const std::string& column, const std::vector<uint32_t>& values) {
  std::string list;
  for (uint32_t v : values) list += (list.empty() ? "" : ", ") + std::to_string(v);
  if (db.engine() == store::Engine::Postgres) {
    db.connection().execute("CREATE FUNCTION cdata_refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF NEW." +
                            column + " IN (" + list +
                            ") THEN RAISE EXCEPTION 'refused by the test'; END IF; RETURN NEW; END $$");
    db.connection().execute(
        "CREATE TRIGGER cdata_refuse BEFORE INSERT ON Cdata FOR EACH ROW EXECUTE FUNCTION cdata_refuse()");
  } else {
    db.connection().execute("CREATE TRIGGER cdata_refuse BEFORE INSERT ON Cdata WHEN NEW." + column + " IN (" + list +
                            ") BEGIN SELECT RAISE(ABORT, 'refused by the test'); END");
  }
}

// Undoes refuseCdataRows.
inline void allowCdataRows(store::Database& db) {
  db.connection().execute(db.engine() == store::Engine::Postgres ? "DROP TRIGGER cdata_refuse ON Cdata"
                                                                 : "DROP TRIGGER cdata_refuse");
}

// A fresh folder with mode 0755 (see corvane::testing::makeTempDir); the caller removes it.
inline std::string makeTempDir(const char* stem = "store-test") { return corvane::testing::makeTempDir(stem, 0755); }

}  // namespace lumarc::storetest
