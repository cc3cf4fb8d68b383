// The web front end under load, over a month of records in SQLite: page 1
// of "All, user sorted" (p95 after the first request), the month's CSV
// streamed against the command line's CSV of the same selection written to
// /dev/null, 50 clients at once on the overview, and the server's peak
// resident memory. The server runs in a process of its own (forked), as
// lumarc-cli serve runs it. WEB_BENCH_ROWS (default 1000000) and
// WEB_BENCH_USERS (1000) size the month; WEB_BENCH_DIR keeps the database.
#include "bench/bench_support.h"

#include "common/format.h"
#include "common/http/http_server.h"
#include "lumarc/browse/cmdr_report.h"
#include "lumarc/browse/csv.h"
#include "lumarc/browse/report_plan.h"
#include "lumarc/browse/selection.h"
#include "lumarc/store/record_store.h"
#include "lumarc/texts/texts.h"
#include "lumarc/web/accounts.h"
#include "lumarc/web/net/http_edge.h"
#include "lumarc/web/web_app.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

using namespace lumarc;
using bench::rmrf;
using bench::tempDir;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

size_t envCount(const char* name, size_t dflt) {
  const char* v = std::getenv(name);
  return v && *v ? static_cast<size_t>(std::strtoull(v, nullptr, 10)) : dflt;
}

std::string port(size_t u) { return corvane::portText8(std::to_string(1000 + u)); }

// As report_bench: call i belongs to user i mod users, two seconds apart,
// from 2024-05-01 on (a million fill 23 days of May).
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

long peakKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// The server in a child process; its port, or 0.
pid_t startServer(const std::string& dir, int& portOut) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    ::close(fds[0]);
    web::WebConfig config;
    config.workDir = dir;
    config.accountsPath = dir + "/web-accounts";
    web::WebApp app(config);
    corvane::http::Server server(corvane::http::ServerLimits{}, {}, web::securityHeaders());
    web::net::serveWebApp(server, app);
    std::string error;
    const int p = server.bind("127.0.0.1", 0, error);
    if (::write(fds[1], &p, sizeof p) != sizeof p) _exit(1);
    ::close(fds[1]);
    server.run();
    _exit(0);
  }
  ::close(fds[1]);
  int p = 0;
  if (::read(fds[0], &p, sizeof p) != sizeof p) p = 0;
  ::close(fds[0]);
  portOut = p;
  return pid;
}

}  // namespace

int main() {
  const size_t rows = envCount("WEB_BENCH_ROWS", 1000000);
  const size_t users = envCount("WEB_BENCH_USERS", 1000);
  const char* keep = std::getenv("WEB_BENCH_DIR");
  const std::string dir = keep && *keep ? std::string(keep) : tempDir("web");
  if (!(keep && *keep && access((dir + "/Lumarc.mdb").c_str(), R_OK) == 0)) {
    RecordStore rs;
    if (!rs.openMainDatabase(dir) || !seed(*rs.mainDatabase(), rows, users)) {
      std::printf("web_page1_p95: skipped (the database could not be seeded)\n");
      rmrf(dir);
      return 1;
    }
  }
  {
    web::AccountFile accounts(dir + "/web-accounts");
    std::string error;
    accounts.save({{"bench", web::Role::Admin, {}, web::hashPassword("bench-password")}}, error);
  }
  const char* month = "month=2024-05&mode=1&price=0.05&unit=EUR";

  // The command line's CSV of the month, to /dev/null, in a child.
  double cliSeconds = 0;
  {
    std::fflush(stdout);
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      RecordStore rs;
      if (!rs.openMainDatabase(dir)) _exit(1);
      TemplateRecord s = browse::defaultSelection();
      s.TStr = {2024, 5, 1, 0, 0, 0};
      s.TEnd = {2024, 5, 31, 23, 59, 0};
      s.TLtyp = browse::kAllUserSorted;
      s.TPrce = 0.05;
      s.TPunt = "EUR";
      std::FILE* out = std::fopen("/dev/null", "wb");
      const browse::ReportPlan plan = browse::planFor(s);
      browse::CmdrCsvWriter csv(out, corvane::CodePage::Cp1252, plan.amounts.unit);
      const auto r =
          browse::buildCmdrReport(*rs.mainDatabase(), plan, browse::CmdrReportTexts::from(englishTexts()), csv);
      _exit(r.error.empty() && csv.ok() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    cliSeconds = seconds(t0);
    std::printf("web_cli_csv_month: %.3f s\n", cliSeconds);
  }

  int port = 0;
  const pid_t server = startServer(dir, port);
  if (server <= 0 || port == 0) {
    std::printf("web_page1_p95: skipped (the server did not start)\n");
    return 1;
  }
  httplib::Client login("127.0.0.1", port);
  auto res = login.Post("/login", httplib::Params{{"name", "bench"}, {"password", "bench-password"}});
  const std::string cookie =
      res ? res->get_header_value("Set-Cookie").substr(0, res->get_header_value("Set-Cookie").find(';')) : "";
  const httplib::Headers auth{{"Cookie", cookie}};

  // Page 1 of "All, user sorted": the first request, then p95 of the next.
  // Uncompressed, as the command line writes it.
  httplib::Client c("127.0.0.1", port);
  c.set_keep_alive(true);
  c.set_decompress(false);
  c.set_read_timeout(600, 0);
  std::vector<double> page;
  bool pagesOk = true;
  for (int i = 0; i < 41; ++i) {
    const auto t0 = Clock::now();
    auto r = c.Get((std::string("/records?") + month).c_str(), auth);
    pagesOk = pagesOk && r && r->status == 200 && r->body.find("id=\"listing\"") != std::string::npos;
    page.push_back(seconds(t0) * 1000);
  }
  std::printf("web_page1_first: %.1f ms\n", page.front());
  page.erase(page.begin());
  std::printf("web_page1_p95: %.1f ms%s\n", percentile(page, 0.95), pagesOk ? "" : " (failed answers)");

  // The month's CSV, streamed.
  size_t bytes = 0;
  const auto t0 = Clock::now();
  auto csv = c.Get((std::string("/records.csv?") + month).c_str(), auth, [&](const char*, size_t n) {
    bytes += n;
    return true;
  });
  const double webSeconds = seconds(t0);
  std::printf("web_csv_month: %.3f s (%.1f MB; baseline: web_cli_csv_month)%s\n", webSeconds, double(bytes) / 1e6,
              csv && csv->status == 200 ? "" : " (failed)");

  // 50 clients at once on the overview, after one request that sums.
  {
    const auto a = Clock::now();
    auto r = c.Get("/", auth);
    std::printf("web_dashboard_first: %.1f ms%s\n", seconds(a) * 1000, r && r->status == 200 ? "" : " (failed)");
  }
  const int clients = 50, each = int(envCount("WEB_BENCH_REQUESTS", 40));
  std::vector<std::vector<double>> lat(clients);
  std::atomic<int> good{0};
  const auto d0 = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < clients; ++t)
    threads.emplace_back([&, t] {
      httplib::Client k("127.0.0.1", port);
      k.set_keep_alive(true);
      for (int i = 0; i < each; ++i) {
        const auto a = Clock::now();
        auto r = k.Get("/", auth);
        lat[size_t(t)].push_back(seconds(a) * 1000);
        if (r && r->status == 200) ++good;
      }
    });
  for (std::thread& t : threads) t.join();
  const double wall = seconds(d0);
  std::vector<double> all;
  for (auto& v : lat) all.insert(all.end(), v.begin(), v.end());
  std::printf("web_dashboard_50_clients: %.0f req/s (%d of %d answered)\n", double(good) / wall, good.load(),
              clients * each);
  std::printf("web_dashboard_50_clients_p99: %.1f ms\n", percentile(all, 0.99));
  std::printf("web_server_peak_rss: %.1f MB\n", double(peakKb(server)) / 1024.0);
  std::fflush(stdout);
  kill(server, SIGTERM);
  kill(server, SIGKILL);
  waitpid(server, nullptr, 0);
  if (!keep || !*keep) rmrf(dir);
  return 0;
}
