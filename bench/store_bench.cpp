// Record store benchmark: 1,000,000 Cdata rows inserted in one
// transaction
//   - through SQLite's own C API (the ceiling),
//   - through the store API (ODBC, parameter arrays) on the embedded SQLite file,
//   - through the store API on PostgreSQL (LUMARC_TEST_PG, else a throwaway
//     server started with scripts/pg-test-server.sh),
// and the CMDR store operation (duplicate test, insert, user counters) in
// receive passes for a smaller count: all in one transaction, and each pass
// committed on its own as a collector does. In one long transaction the
// same user rows are updated pass after pass, and PostgreSQL keeps every
// version of them to the end of it. Wall-clock and CPU rates side by side. Prints "name: value unit" lines.
//
// Environment: STORE_BENCH_ROWS (default 1000000), STORE_BENCH_PG_ROWS
// (default: the same), STORE_BENCH_STORE_ROWS (default 100000),
// STORE_BENCH_SKIP_PG=1.
#include "bench/bench_support.h"
#include "lumarc/store/record_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace lumarc;

namespace {

using bench::PgServer;
using bench::rmrf;
using bench::tempDir;

#include <ctime>
double seconds(std::chrono::steady_clock::time_point a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}
// CPU time of this process: SQLite runs inside it, so rows per CPU second
// compare the two SQLite paths fairly even on a loaded machine.
double cpuNow() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
struct Rates {
  double wall = 0, cpu = 0;
};

size_t envCount(const char* name, size_t dflt) {
  const char* v = std::getenv(name);
  return v && *v ? static_cast<size_t>(std::strtoull(v, nullptr, 10)) : dflt;
}

// A pool of realistic records; row i uses pool[i % n] with its own time.
std::vector<CmdrRecord> makePool() {
  std::vector<CmdrRecord> pool;
  for (int i = 0; i < 4096; ++i) {
    CmdrRecord r;
    r.type = "A";
    r.duration = static_cast<uint32_t>(i * 7 % 3600);
    char port[16];
    std::snprintf(port, sizeof port, "%8d", 1000 + i % 300);
    r.cport = port;
    std::snprintf(port, sizeof port, "%8d", 5000 + i % 97);
    r.pport = port;
    r.uport = "     801";
    r.rdata = "0212555" + std::to_string(100000 + i);
    r.rdata.resize(32, ' ');
    r.xdata = std::string(32, ' ');
    r.cdata = "0532" + std::to_string(7000000 + i);
    r.cdata.resize(32, ' ');
    r.rpuls = static_cast<uint32_t>(i % 11);
    r.ppuls = static_cast<uint32_t>(i % 3);
    r.crefa = 0x80000000u + static_cast<uint32_t>(i);
    r.crefb = static_cast<uint32_t>(i);
    r.crefc = 0;
    r.flags = (static_cast<uint32_t>(i % 4) << 21) | 0x12;
    r.ipadr = 0xC0A80A01u;
    pool.push_back(r);
  }
  return pool;
}

DateTime timeOf(size_t i) { return addSeconds(DateTime{2020, 1, 1, 0, 0, 0}, static_cast<int64_t>(i) * 7); }

Rates sqliteCeiling(const std::vector<CmdrRecord>& pool, size_t rows) {
  std::string dir = tempDir("capi");
  std::string path = dir + "/Lumarc.mdb";
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return {};
  store::Dialect d(store::Engine::Sqlite);
  auto exec = [&](const std::string& sql) { sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); };
  exec("PRAGMA journal_mode = WAL");
  exec("PRAGMA synchronous = NORMAL");
  exec(d.createTable(store::cdataTable()));
  for (auto& s : d.createIndexes(store::cdataTable())) exec(s);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, store::insertSql(store::cdataTable()).c_str(), -1, &st, nullptr);
  auto t0 = std::chrono::steady_clock::now();
  const double c0 = cpuNow();
  exec("BEGIN");
  for (size_t i = 0; i < rows; ++i) {
    const CmdrRecord& r = pool[i % pool.size()];
    std::string date = dateTimeText(timeOf(i));
    int c = 1;
    auto text = [&](const std::string& s) {
      sqlite3_bind_text(st, c++, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    };
    auto num = [&](uint32_t v) { sqlite3_bind_int(st, c++, static_cast<int32_t>(v)); };
    text(r.type);
    text(date);
    num(r.duration);
    text(r.cport);
    text(r.pport);
    text(r.uport);
    text(r.rdata);
    text(r.xdata);
    text(r.cdata);
    num(r.rpuls);
    num(r.ppuls);
    num(r.crefa);
    num(r.crefb);
    num(r.crefc);
    num(r.flags);
    num(r.flagt);
    num(r.flagu);
    num(r.ipadr);
    text(r.Xid);
    if (sqlite3_step(st) != SQLITE_DONE) {
      std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
      break;
    }
    sqlite3_reset(st);
  }
  exec("COMMIT");
  Rates rate{static_cast<double>(rows) / seconds(t0), static_cast<double>(rows) / (cpuNow() - c0)};
  sqlite3_finalize(st);
  sqlite3_close(db);
  rmrf(dir);
  return rate;
}

// Bulk insert through the store API into an open main database.
using Mode = store::BulkInserter<CmdrRecord>::Mode;
Rates storeBulk(store::Database& db, const std::vector<CmdrRecord>& pool, size_t rows, Mode mode = Mode::Auto,
                size_t batch = 1024) {
  auto t0 = std::chrono::steady_clock::now();
  const double c0 = cpuNow();
  db.begin();
  {
    store::BulkInserter<CmdrRecord> bulk(db, batch, store::cdataTable(), mode);
    CmdrRecord r;
    for (size_t i = 0; i < rows; ++i) {
      const CmdrRecord& p = pool[i % pool.size()];
      r = p;
      r.tdate = timeOf(i);
      bulk.add(r);
    }
    bulk.flush();
  }
  db.commit();
  return Rates{static_cast<double>(rows) / seconds(t0), static_cast<double>(rows) / (cpuNow() - c0)};
}

// The CMDR store operation (duplicate test, insert, user counters) in
// receive passes of kPass records inside one transaction, as the import
// and a collector draining a backlog run it, over a table that already
// holds `rows` rows.
constexpr size_t kPass = 256;
// With ownTransactions each pass is a transaction of its own, committed
// durably, as a collector stores what an exchange sends.
Rates storeOperation(RecordStore& rs, const std::vector<CmdrRecord>& pool, size_t rows, size_t offset,
                     bool ownTransactions = false) {
  auto t0 = std::chrono::steady_clock::now();
  const double c0 = cpuNow();
  if (!ownTransactions) rs.mainDatabase()->begin();
  std::vector<CmdrRecord> pass;
  for (size_t i = 0; i < rows; i += kPass) {
    pass.clear();
    for (size_t j = i; j < std::min(rows, i + kPass); ++j) {
      pass.push_back(pool[j % pool.size()]);
      pass.back().tdate = timeOf(offset + j);
    }
    bool failed = false;
    for (const StoreOutcome& o : rs.storePass(pass)) failed = failed || !o.stored();
    if (failed) {
      std::fprintf(stderr, "store failed in the pass at %zu\n", i);
      break;
    }
  }
  if (!ownTransactions) rs.mainDatabase()->commit();
  return Rates{static_cast<double>(rows) / seconds(t0), static_cast<double>(rows) / (cpuNow() - c0)};
}

}  // namespace

int main() {
  const size_t rows = envCount("STORE_BENCH_ROWS", 1000000);
  const size_t pgRows = envCount("STORE_BENCH_PG_ROWS", rows);
  const size_t storeRows = envCount("STORE_BENCH_STORE_ROWS", 100000);
  const std::vector<CmdrRecord> pool = makePool();
  const Mode mode = std::getenv("STORE_BENCH_MULTIROW")     ? Mode::MultiRow
                    : std::getenv("STORE_BENCH_PARAMARRAY") ? Mode::ParamArray
                                                            : Mode::Auto;
  const size_t batch = envCount("STORE_BENCH_BATCH", 1024);

  const Rates ceiling = sqliteCeiling(pool, rows);
  std::printf("store_sqlite_capi_insert_1tx: %.0f rows/s\n", ceiling.wall);
  std::printf("store_sqlite_capi_insert_1tx_cpu: %.0f rows/s\n", ceiling.cpu);
  std::fflush(stdout);

  {
    std::string dir = tempDir("odbc");
    RecordStore rs;
    if (!rs.openMainDatabase(dir)) {
      std::printf("store_sqlite_odbc_bulk_insert_1tx: 0 rows/s\n");
    } else {
      const Rates bulk = storeBulk(*rs.mainDatabase(), pool, rows, mode, batch);
      std::printf("store_sqlite_odbc_bulk_insert_1tx: %.0f rows/s (baseline: store_sqlite_capi_insert_1tx)\n",
                  bulk.wall);
      std::printf("store_sqlite_odbc_bulk_insert_1tx_cpu: %.0f rows/s (baseline: store_sqlite_capi_insert_1tx_cpu)\n",
                  bulk.cpu);
      // The goal: the store API at least half of the C API (per CPU second,
      // which a busy machine disturbs least; the wall-clock ratio beside it).
      std::printf("store_sqlite_odbc_vs_capi_ratio_cpu: %.2f ratio (goal >= 0.50)\n",
                  ceiling.cpu > 0 ? bulk.cpu / ceiling.cpu : 0);
      std::printf("store_sqlite_odbc_vs_capi_ratio_wall: %.2f ratio\n",
                  ceiling.wall > 0 ? bulk.wall / ceiling.wall : 0);
      std::fflush(stdout);
      const Rates op = storeOperation(rs, pool, storeRows, rows);
      std::printf("store_sqlite_storecmdr_1tx: %.0f rows/s (baseline: store_sqlite_capi_insert_1tx)\n", op.wall);
      std::printf("store_sqlite_storecmdr_1tx_cpu: %.0f rows/s (baseline: store_sqlite_capi_insert_1tx_cpu)\n", op.cpu);
      const Rates passes = storeOperation(rs, pool, storeRows, rows + storeRows, true);
      std::printf("store_sqlite_storepass_256: %.0f rows/s (baseline: store_sqlite_storecmdr_1tx)\n", passes.wall);
      std::printf("store_sqlite_storepass_256_cpu: %.0f rows/s\n", passes.cpu);
    }
    rs.closeAll();
    rmrf(dir);
  }
  std::fflush(stdout);

  if (std::getenv("STORE_BENCH_SKIP_PG")) return 0;
  PgServer pg;
  if (!pg.start()) {
    std::printf("store_pg_odbc_bulk_insert_1tx: 0 rows/s (no PostgreSQL server)\n");
    return 0;
  }
  try {
    const std::string schema = "bench_" + std::to_string(getpid());
    {
      store::Database admin(pg.conn);
      admin.connection().execute("CREATE SCHEMA " + schema);
    }
    std::string conn = pg.conn;
    if (conn.back() != ';') conn += ';';
    conn += "ConnSettings={SET search_path TO " + schema + "};";
    {
      RecordStore rs;
      if (rs.openMainDatabase("/nonexistent", conn)) {
        const Rates bulk = storeBulk(*rs.mainDatabase(), pool, pgRows, mode, batch);
        std::printf("store_pg_odbc_bulk_insert_1tx: %.0f rows/s (baseline: store_sqlite_capi_insert_1tx)\n", bulk.wall);
        std::printf("store_pg_odbc_vs_sqlite_capi_ratio_wall: %.2f ratio\n",
                    ceiling.wall > 0 ? bulk.wall / ceiling.wall : 0);
        std::fflush(stdout);
        const Rates op = storeOperation(rs, pool, storeRows, pgRows);
        std::printf("store_pg_storecmdr_1tx: %.0f rows/s (baseline: store_pg_odbc_bulk_insert_1tx)\n", op.wall);
        std::printf("store_pg_storecmdr_1tx_cpu: %.0f rows/s (this process only; the server's time is not in it)\n",
                    op.cpu);
        const Rates passes = storeOperation(rs, pool, storeRows, pgRows + storeRows, true);
        std::printf("store_pg_storepass_256: %.0f rows/s (baseline: store_pg_storecmdr_1tx)\n", passes.wall);
        std::printf("store_pg_storepass_256_cpu: %.0f rows/s (this process only)\n", passes.cpu);
      } else {
        std::printf("store_pg_odbc_bulk_insert_1tx: 0 rows/s (open failed)\n");
      }
    }
    store::Database admin(pg.conn);
    admin.connection().execute("DROP SCHEMA " + schema + " CASCADE");
  } catch (const std::exception& e) {
    std::printf("store_pg_odbc_bulk_insert_1tx: 0 rows/s (%s)\n", e.what());
  }
  return 0;
}
