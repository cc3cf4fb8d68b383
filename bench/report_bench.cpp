// CMDR report benchmark: the monthly report of a large exchange must list
// in seconds and in constant memory.
//   - listing 1,000,000 Cdata records over 1,000 users in mode "All, user
//     sorted" (query, record lines, headings, sub-totals, totals, line
//     store) on SQLite: wall time and peak resident memory of the listing
//     alone (it runs in a child process);
//   - beside it the sqlite3 command-line program writing the same rows in
//     the same order as CSV to /dev/null (the ceiling);
//   - the same listing through PostgreSQL (LUMARC_TEST_PG, else a
//     throwaway server started with scripts/pg-test-server.sh).
// Each listing figure comes with its CPU time (_cpu: user and system time
// of the child). Goals: on SQLite at most 5 s and 100 MB and 1.5 times as
// fast as the sqlite3 program; through PostgreSQL at most 8 s.
//
// Environment: REPORT_BENCH_ROWS (default 1000000), REPORT_BENCH_USERS (1000);
// REPORT_BENCH_DIR keeps the SQLite database in that folder and reuses it
// when it is there (for profiling the listing alone).
#include "bench/bench_support.h"
#include "common/format.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/cmdr_report.h"
#include "lumarc/browse/line_store.h"
#include "lumarc/browse/selection.h"
#include "lumarc/store/record_store.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace lumarc;

namespace {

using bench::PgServer;
using bench::rmrf;
using bench::tempDir;

using Clock = std::chrono::steady_clock;
double seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

size_t envCount(const char* name, size_t dflt) {
  const char* v = std::getenv(name);
  return v && *v ? static_cast<size_t>(std::strtoull(v, nullptr, 10)) : dflt;
}

std::string port(size_t u) { return corvane::portText8(std::to_string(1000 + u)); }

// Users and records: call i belongs to user i mod users, seven seconds apart.
bool seed(store::Database& db, size_t rows, size_t users) {
  try {
    db.begin();
    {
      store::BulkInserter<UserRecord> bulk(db, 256);
      for (size_t u = 0; u < users; ++u) {
        UserRecord r;
        r.cport = port(u);
        r.surn = "Surname" + std::to_string(u);
        r.name = "Name";
        bulk.add(r);
      }
      bulk.flush();
    }
    {
      store::BulkInserter<CmdrRecord> bulk(db, 1024);
      CmdrRecord r;
      r.type = "A";
      r.pport = "     801";
      r.uport = "     801";
      r.xdata = std::string(32, ' ');
      r.ipadr = 0xC0A80A01u;
      for (size_t i = 0; i < rows; ++i) {
        r.tdate = addSeconds(DateTime{2024, 5, 1, 0, 0, 0}, static_cast<int64_t>(i) * 2);
        r.duration = static_cast<uint32_t>(i % 600);
        r.cport = port(i % users);
        r.rdata = "0212555" + std::to_string(100000 + i % 900000);
        r.rdata.resize(32, ' ');
        r.cdata = "0532" + std::to_string(7000000 + i % 1000000);
        r.cdata.resize(32, ' ');
        r.rpuls = static_cast<uint32_t>(i % 11);
        r.ppuls = static_cast<uint32_t>(i % 3);
        r.flags = 0x12;
        bulk.add(r);
      }
      bulk.flush();
    }
    db.commit();
    return true;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "seed: %s\n", e.what());
    return false;
  }
}

struct Run {
  double wall = 0;
  double peakMb = 0;
  double cpu = 0;  // user and system time of the child: honest on a busy machine
  bool ok = false;
};

// Runs f in a child process: its wall time and peak resident memory.
template <class F>
Run inChild(F&& f) {
  Run r;
  std::fflush(stdout);
  const auto t0 = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) _exit(f() ? 0 : 1);
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid) return r;
  r.wall = seconds(t0);
  r.peakMb = static_cast<double>(ru.ru_maxrss) / 1024.0;
  r.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

// The listing as the browser runs it: every line into a line store.
bool listing(const std::string& conn, const std::string& dir, const std::string& lineDir, size_t expectRecords) {
  RecordStore rs;
  if (!rs.openMainDatabase(dir, conn)) return false;
  TemplateRecord s = browse::defaultSelection();
  s.TLtyp = browse::kAllUserSorted;
  s.TPrce = 0.25;
  s.TPunt = "EUR";
  browse::LineStore lines(lineDir);
  browse::LineStoreSink sink(lines);
  const auto r = browse::buildCmdrReport(*rs.mainDatabase(), browse::planFor(s),
                                         browse::CmdrReportTexts::from(englishTexts()), sink);
  lines.flush();
  if (!r.error.empty()) std::fprintf(stderr, "listing: %s\n", r.error.c_str());
  return r.error.empty() && r.total.calls == expectRecords && !lines.failed();
}

}  // namespace

// The listing in a process of its own (exec'd, so that the peak memory is
// the listing's alone, not the seeding's): "report_bench --list CONN DIR ROWS".
int listMain(int argc, char** argv) {
  if (argc != 5) return 2;
  return listing(argv[2], argv[3], argv[3], std::strtoull(argv[4], nullptr, 10)) ? 0 : 1;
}

Run listInChild(const std::string& conn, const std::string& dir, size_t rows) {
  const std::string n = std::to_string(rows);
  return inChild([&] {
    execl("/proc/self/exe", "report_bench", "--list", conn.c_str(), dir.c_str(), n.c_str(),
          static_cast<char*>(nullptr));
    return false;
  });
}

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--list") return listMain(argc, argv);
  const size_t rows = envCount("REPORT_BENCH_ROWS", 1000000);
  const size_t users = envCount("REPORT_BENCH_USERS", 1000);

  const char* keep = std::getenv("REPORT_BENCH_DIR");
  const std::string dir = keep && *keep ? std::string(keep) : tempDir("sqlite");
  const bool reused = keep && *keep && access((dir + "/Lumarc.mdb").c_str(), R_OK) == 0;
  if (!reused) {
    RecordStore rs;
    if (!rs.openMainDatabase(dir) || !seed(*rs.mainDatabase(), rows, users)) {
      std::printf("report_sqlite_list_mode1: skipped (the database could not be seeded)\n");
      rmrf(dir);
      return 1;
    }
  }
  // The ceiling: the same rows in the same order as CSV, by sqlite3 itself.
  double cliWall = 0;
  if (access("/usr/bin/sqlite3", X_OK) == 0) {
    const std::string db = dir + "/Lumarc.mdb";
    const Run cli = inChild([&] {
      if (!freopen("/dev/null", "w", stdout)) return false;
      execl("/usr/bin/sqlite3", "sqlite3", "-csv", db.c_str(),
            "SELECT * FROM Cdata WHERE type = 'A' ORDER BY cport, tdate", static_cast<char*>(nullptr));
      return false;
    });
    cliWall = cli.wall;
    std::printf("report_sqlite3_cli_csv_mode1: %.3f s\n", cli.wall);
    std::printf("report_sqlite3_cli_csv_mode1_cpu: %.3f s\n", cli.cpu);
    std::printf("report_sqlite3_cli_csv_mode1_peak_rss: %.1f MB\n", cli.peakMb);
  } else {
    std::printf("report_sqlite3_cli_csv_mode1: skipped (no sqlite3 program)\n");
  }
  const Run list = listInChild({}, dir, rows);
  // Wall time beside CPU time (user and system of the child): on a busy
  // machine the wall time grows with the others' load, the CPU time much less.
  std::printf("report_sqlite_list_mode1: %.3f s (baseline: report_sqlite3_cli_csv_mode1)\n", list.wall);
  std::printf("report_sqlite_list_mode1_cpu: %.3f s (baseline: report_sqlite3_cli_csv_mode1_cpu)\n", list.cpu);
  std::printf("report_sqlite_list_mode1_peak_rss: %.1f MB\n", list.peakMb);
  if (!list.ok) std::printf("report_sqlite_list_mode1_check: failed (rows or lines missing)\n");
  std::printf("report_sqlite_goal: %s (at most 5 s and 100 MB, and 1.5 times as fast as the sqlite3 program)\n",
              list.ok && list.wall <= 5 && list.peakMb <= 100 && (cliWall == 0 || list.wall * 1.5 <= cliWall)
                  ? "met"
                  : "missed");
  std::fflush(stdout);
  if (!keep || !*keep) rmrf(dir);

  PgServer pg;
  if (!pg.start()) {
    std::printf("report_pg_list_mode1: skipped (no PostgreSQL server)\n");
    return 0;
  }
  const std::string pgDir = tempDir("pgdir");
  {
    store::Database admin(pg.conn);
    admin.connection().execute("DROP SCHEMA IF EXISTS report_bench CASCADE");
    admin.connection().execute("CREATE SCHEMA report_bench");
  }
  std::string conn = pg.conn;
  if (!conn.empty() && conn.back() != ';') conn += ';';
  conn += "ConnSettings={SET search_path TO report_bench};";
  bool seeded = false;
  {
    RecordStore rs;
    seeded = rs.openMainDatabase(pgDir, conn) && seed(*rs.mainDatabase(), rows, users);
  }
  if (seeded) {
    const Run pgList = listInChild(conn, pgDir, rows);
    std::printf("report_pg_list_mode1: %.3f s (baseline: report_sqlite_list_mode1)\n", pgList.wall);
    std::printf("report_pg_list_mode1_cpu: %.3f s (baseline: report_sqlite_list_mode1_cpu)\n", pgList.cpu);
    std::printf("report_pg_list_mode1_peak_rss: %.1f MB\n", pgList.peakMb);
    if (!pgList.ok) std::printf("report_pg_list_mode1_check: failed (rows or lines missing)\n");
    std::printf("report_pg_goal: %s (at most 8 s)\n", pgList.ok && pgList.wall <= 8 ? "met" : "missed");
  } else {
    std::printf("report_pg_list_mode1: skipped (the database could not be seeded)\n");
  }
  try {
    store::Database admin(pg.conn);
    admin.connection().execute("DROP SCHEMA IF EXISTS report_bench CASCADE");
  } catch (...) {
  }
  rmrf(pgDir);
  return 0;
}
