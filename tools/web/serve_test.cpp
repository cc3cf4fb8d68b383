// lumarc-cli serve, run as a program on a free loopback port over a seeded
// SQLite file (and the PostgreSQL test server when LUMARC_TEST_PG is set):
// the pages and exports say what `lumarc-cli report` says, a user's
// account sees only its own ports' calls, logins are throttled, bad input
// is answered with 4xx and never breaks the server, a long export streams
// with flat memory, and many clients are served at once.
#include "tools/sim/test_process.h"

#include "common/codepage.h"
#include "common/format.h"
#include "common/test_support.h"
#include "lumarc/browse/selection.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/store_test_support.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace lumarc {
namespace {

using corvane::testing::readAll;

const char* kAdminPassword = "admin-secret-1";
const char* kUserPassword = "user-secret-22";

struct Run {
  int status = -1;
  std::string out, err;
};

std::string cli() { return testproc::programPath("LUMARC_CLI"); }

Run runCli(const std::vector<std::string>& args, const std::string& errFile, const std::string& input = {}) {
  std::vector<std::string> argv = {cli()};
  argv.insert(argv.end(), args.begin(), args.end());
  if (!input.empty()) {
    // The password goes in on standard input.
    const std::string in = errFile + ".in";
    std::ofstream(in) << input;
    argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" < " + in, argv[0]};
    argv.insert(argv.end(), args.begin(), args.end());
  }
  testproc::ChildProcess p(argv, errFile);
  Run r;
  r.status = p.wait();
  r.out = p.output();
  r.err = readAll(errFile);
  return r;
}

// A seeded working directory, its database and the two accounts.
struct Site {
  corvane::testing::TempDir dir{"lumarc-serve"};
  std::unique_ptr<storetest::PgSchema> schema;
  std::string conn;                 // empty: the SQLite file
  std::vector<int32_t> recordings;  // of 101 and 102

  bool seed(bool pg, size_t extra = 0) {
    if (pg) {
      schema = std::make_unique<storetest::PgSchema>(storetest::pgServer(), "web_" + std::to_string(::getpid()));
      conn = schema->connection();
    }
    RecordStore store(nullptr, corvane::CodePage::Cp1252);
    if (!store.openMainDatabase(dir.path(), conn)) return false;
    store::Database& db = *store.mainDatabase();
    const struct {
      const char* port;
      const char* surname;
    } users[] = {{"101", "Smith & <Sons>"}, {"102", "Adams"}, {"103", "=HYPERLINK(\"x\")"}};
    store::DrptPset pset(db);
    for (const auto& u : users) {
      UserRecord r;
      r.cport = corvane::portText8(u.port);
      r.surn = u.surname;
      r.name = "Eve";
      if (!pset.add(r)) return false;
    }
    db.begin();
    {
      store::BulkInserter<CmdrRecord> bulk(db, 512);
      CmdrRecord r;
      r.type = "A";
      r.pport = "     801";
      r.uport = "     801";
      r.xdata = std::string(32, ' ');
      r.cdata = "05321234567" + std::string(21, ' ');
      r.ipadr = 0xC0A80A01u;
      // 300 calls in May by 101 and 102, ten in June by 103, and a record
      // of another type; then `extra` calls in July.
      for (size_t i = 0; i < 311 + extra; ++i) {
        const bool june = i >= 300 && i<310, other = i == 310, july = i> 310;
        r.type = other ? "B" : "A";
        r.tdate = addSeconds(DateTime{2024, july ? 7 : june ? 6 : 5, 1, 0, 0, 0}, int64_t(i % 300000) * 7);
        r.duration = uint32_t(i % 400);
        r.cport = corvane::portText8(june ? "103" : july ? std::to_string(2000 + i % 100) : i % 3 == 0 ? "102" : "101");
        r.rdata = "0212555" + std::to_string(1000 + i % 9000);
        r.rdata.resize(32, ' ');
        r.rpuls = uint32_t(i % 7);
        r.ppuls = uint32_t(i % 2);
        bulk.add(r);
      }
      bulk.flush();
    }
    // One call in August on 101 and 102 with a recording each, found by
    // the call reference 500.
    store::DrptCset cset(db);
    for (const char* p : {"101", "102"}) {
      CmdrRecord c;
      c.type = "A";
      c.tdate = {2024, 8, 1, 10, 0, 0};
      c.duration = 30;
      c.cport = corvane::portText8(p);
      c.crefa = 500;
      if (!cset.add(c)) return false;
    }
    db.commit();
    std::filesystem::create_directories(dir.path() + "/Wav");
    if (!store.openVoiceDatabase(dir.path() + "/Wav", conn)) return false;
    store::DrptVset vset(*store.voiceDatabase());
    for (const char* p : {"101", "102"}) {
      VoiceRecord v;
      v.rcdport = corvane::portText8(p);
      v.rcddate = 0x240801;
      v.rcdtime = 0x100000;
      v.rcdtype = "O";
      v.duration = 30;
      v.cref = 500;
      v.rcdfn = dir.path() + "/Wav/" + p;
      v.rcdfx = "mp3";
      std::ofstream(v.rcdfn + ".mp3") << std::string(5000, p[2]);
      if (!vset.add(v)) return false;
      recordings.push_back(v.sqno);
    }
    TemplateRecord t = browse::defaultSelection();
    t.TName = "May";
    t.TStr = {2024, 5, 1, 0, 0, 0};
    t.TEnd = {2024, 5, 31, 23, 59, 0};
    t.TLtyp = browse::kAllUserSorted;
    t.TPrce = 0.25;
    t.TPunt = "EUR";
    std::string error;
    return browse::saveTemplate(db, t, error);
  }
  bool accounts() {
    const std::string acc = dir.path() + "/web-accounts";
    return runCli({"--dir", dir.path(), "web-user", "add", "ann", "--role", "admin"}, dir.path() + "/wu1",
                  std::string(kAdminPassword) + "\n")
                   .status == 0 &&
           runCli({"--dir", dir.path(), "web-user", "add", "bob", "--role", "user", "--ports", "101"},
                  dir.path() + "/wu2", std::string(kUserPassword) + "\n")
                   .status == 0;
  }
  // `lumarc-cli report cmdr` of the same options.
  std::string report(const std::vector<std::string>& options) {
    std::vector<std::string> args = {"--dir", dir.path(), "--db", conn, "report", "cmdr"};
    args.insert(args.end(), options.begin(), options.end());
    const Run r = runCli(args, dir.path() + "/report.err");
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }
};

// A running server; its port read from the line it prints.
class Server {
 public:
  Server(const std::string& dir, const std::string& conn, const std::vector<std::string>& more = {}) {
    std::vector<std::string> argv = {cli(), "--dir", dir, "--db", conn, "serve", "--listen", "127.0.0.1:0"};
    argv.insert(argv.end(), more.begin(), more.end());
    process_ = std::make_unique<testproc::ChildProcess>(argv, dir + "/serve.err");
    const std::regex listening("listening on https?://127\\.0\\.0\\.1:([0-9]+)");
    for (int i = 0; i < 300 && port_ == 0 && process_->running(); ++i) {
      std::smatch m;
      const std::string out = process_->output();
      if (std::regex_search(out, m, listening)) port_ = std::stoi(m[1]);
      if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~Server() {
    if (process_->running()) {
      process_->signal(SIGTERM);
      process_->wait();
    }
  }
  int port() const { return port_; }
  pid_t pid() const { return process_->pid(); }
  httplib::Client client() const {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(120, 0);
    return c;
  }
  struct LoginAnswer {
    int status = -1;
    std::string setCookie, retryAfter;
  };
  // Logs in; the session cookie, or empty.
  std::string login(const std::string& name, const std::string& password, LoginAnswer* answer = nullptr) const {
    httplib::Client c = client();
    auto res = c.Post("/login", httplib::Params{{"name", name}, {"password", password}});
    if (!res) return {};
    const std::string cookie = res->get_header_value("Set-Cookie");
    if (answer) *answer = {res->status, cookie, res->get_header_value("Retry-After")};
    return cookie.empty() ? cookie : cookie.substr(0, cookie.find(';'));
  }
  // The peak resident memory of the server in kB.
  long peakKb() const {
    std::ifstream in("/proc/" + std::to_string(pid()) + "/status");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
  }

 private:
  std::unique_ptr<testproc::ChildProcess> process_;
  int port_ = 0;
};

httplib::Result get(const Server& s, const std::string& cookie, const std::string& path) {
  httplib::Client c = s.client();
  return c.Get(path.c_str(), httplib::Headers{{"Cookie", cookie}});
}

std::string unescape(std::string s) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities)
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += std::strlen(to))
      s.replace(at, std::strlen(from), to);
  return s;
}

// The record lines of every page of a listing (without the column titles).
std::vector<std::string> htmlListing(const Server& s, const std::string& cookie, std::string path) {
  std::vector<std::string> lines;
  for (int page = 0; page < 50 && !path.empty(); ++page) {
    auto res = get(s, cookie, path);
    if (!res || res->status != 200) {
      ADD_FAILURE() << path << ": " << (res ? res->status : -1);
      break;
    }
    const std::string& body = res->body;
    const size_t from = body.find("<pre class=\"listing\" id=\"listing\">"), to = body.find("</pre>", from);
    if (from != std::string::npos) {
      std::istringstream pre(body.substr(from, to - from));
      std::string line;
      std::getline(pre, line);  // the column titles
      while (std::getline(pre, line)) lines.push_back(unescape(std::regex_replace(line, std::regex("<[^>]*>"), "")));
    }
    std::smatch m;
    path.clear();
    if (std::regex_search(body, m, std::regex("id=\"next\" href=\"([^\"]*)\""))) path = unescape(m[1]);
  }
  return lines;
}

// The lines of a report file (CR LF), in UTF-8.
std::vector<std::string> reportLines(const std::string& text, bool skipHeader) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    lines.push_back(corvane::toUtf8(text.substr(start, end - start), corvane::CodePage::Cp1252));
    start = end + 2;
  }
  if (skipHeader && !lines.empty()) lines.erase(lines.begin());
  return lines;
}

// The JSON the server writes for a CSV: one object of the CSV's columns per row.
std::string jsonOfCsv(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < csv.size(); ++i) {
    const char c = csv[i];
    if (quoted) {
      if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"')
        field += '"', ++i;
      else if (c == '"')
        quoted = false;
      else
        field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field), field.clear();
    } else if (c == '\r') {
      row.push_back(field), field.clear(), rows.push_back(row), row.clear(), ++i;
    } else {
      field += c;
    }
  }
  auto str = [](const std::string& s) {
    std::string o = "\"";
    for (char c : s) o += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return o + "\"";
  };
  if (rows.size() < 2) return "[]\n";
  std::string out = "[";
  for (size_t r = 1; r < rows.size(); ++r) {
    out += r == 1 ? "\n{" : ",\n{";
    for (size_t i = 0; i < rows[0].size(); ++i) out += (i ? "," : "") + str(rows[0][i]) + ":" + str(rows[r][i]);
    out += "}";
  }
  return out + "\n]\n";
}

class Serve : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (cli().empty()) GTEST_SKIP() << "LUMARC_CLI not set";
    if (GetParam() && storetest::pgServer().empty()) GTEST_SKIP() << "LUMARC_TEST_PG is not set";
    ASSERT_TRUE(site_.seed(GetParam()));
    ASSERT_TRUE(site_.accounts());
    server_ = std::make_unique<Server>(site_.dir.path(), site_.conn);
    ASSERT_GT(server_->port(), 0) << readAll(site_.dir.path() + "/serve.err");
  }
  Site site_;
  std::unique_ptr<Server> server_;
};

TEST_P(Serve, ListingCsvJsonAndTextAreTheCommandLinesReport) {
  const std::string admin = server_->login("ann", kAdminPassword);
  ASSERT_FALSE(admin.empty());
  const struct {
    std::string query;
    std::vector<std::string> options;
  } selections[] = {
      {"month=2024-05&mode=1&price=0.25&unit=EUR&line=short",
       {"--month", "2024-05", "--mode", "1", "--price", "0.25", "--unit", "EUR", "--line", "short"}},
      {"template=May&mode=3&user=102&replace=dialled",
       {"--template", "May", "--mode", "3", "--user", "102", "--replace", "dialled"}},
      {"from=2024-05-01&to=2024-05-02&variant=0&time-to=12:00",
       {"--from", "2024-05-01", "--to", "2024-05-02", "--variant", "0", "--time-to", "12:00"}},
      {"template=May&no-details=1&acked-free=1&dialled=02125551",
       {"--template", "May", "--no-details", "--acked-free", "--dialled", "02125551"}},
  };
  for (const auto& s : selections) {
    SCOPED_TRACE(s.query);
    const std::string text = site_.report(s.options);
    std::vector<std::string> csvArgs = s.options;
    csvArgs.insert(csvArgs.end(), {"--format", "csv"});
    const std::string csv = site_.report(csvArgs);
    ASSERT_FALSE(text.empty());
    auto txt = get(*server_, admin, "/records.txt?" + s.query);
    ASSERT_TRUE(txt);
    EXPECT_EQ(txt->status, 200);
    EXPECT_EQ(txt->body, text);
    EXPECT_EQ(txt->get_header_value("Content-Type"), "text/plain; charset=windows-1252");
    auto c = get(*server_, admin, "/records.csv?" + s.query);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->body, csv);
    auto j = get(*server_, admin, "/records.json?" + s.query);
    ASSERT_TRUE(j);
    EXPECT_EQ(j->body, jsonOfCsv(csv));
    EXPECT_EQ(htmlListing(*server_, admin, "/records?" + s.query), reportLines(text, true));
  }
}

TEST_P(Serve, AUserAccountSeesOnlyItsPortsThroughEveryEndpoint) {
  const std::string bob = server_->login("bob", kUserPassword);
  ASSERT_FALSE(bob.empty());
  const char* queries[] = {"month=2024-05&mode=1",
                           "template=May",
                           "mode=3&user=102",
                           "variant=0&port=102",
                           "from=2024-06-01&to=2024-06-30&mode=1",
                           "mode=0"};
  for (const char* q : queries) {
    SCOPED_TRACE(q);
    for (const char* path : {"/records", "/records.txt", "/records.csv", "/records.json", "/charts", "/voice"}) {
      auto res = get(*server_, bob, std::string(path) + "?" + q);
      ASSERT_TRUE(res);
      EXPECT_EQ(res->status, 200) << path;
      EXPECT_EQ(res->body.find("Adams"), std::string::npos) << path;
      EXPECT_EQ(res->body.find("HYPERLINK"), std::string::npos) << path;
      EXPECT_EQ(res->body.find("     102"), std::string::npos) << path;
      EXPECT_EQ(res->body.find("\"port\":\"102\""), std::string::npos) << path;
    }
    auto csv = get(*server_, bob, std::string("/records.csv?") + q);
    std::istringstream rows(csv->body);
    std::string row;
    std::getline(rows, row);
    while (std::getline(rows, row)) {
      if (row.rfind("record,", 0) == 0) {
        EXPECT_NE(row.find(",101,"), std::string::npos) << row;
      }
    }
  }
  auto mine = get(*server_, bob, "/records.csv?template=May");
  EXPECT_NE(mine->body.find("record,"), std::string::npos) << "the user's own calls are listed";
  EXPECT_EQ(get(*server_, bob, "/alarms")->status, 403);
  // The call trace, the recordings and the users.
  auto count = [](const std::string& body, const std::string& what) {
    size_t n = 0;
    for (size_t at = 0; (at = body.find(what, at)) != std::string::npos; ++at) ++n;
    return n;
  };
  EXPECT_EQ(count(get(*server_, bob, "/trace?a=500")->body, "<span class=\"record\">"), 2u)
      << "one call, one recording";
  const std::string mineRec = "/recordings/" + std::to_string(site_.recordings[0]);
  const std::string otherRec = "/recordings/" + std::to_string(site_.recordings[1]);
  auto voice = get(*server_, bob, "/voice");
  EXPECT_NE(voice->body.find(mineRec + "\""), std::string::npos);
  EXPECT_EQ(voice->body.find(otherRec + "\""), std::string::npos);
  EXPECT_EQ(get(*server_, bob, otherRec)->status, 404);
  auto file = get(*server_, bob, mineRec);
  EXPECT_EQ(file->status, 200);
  EXPECT_EQ(file->body, std::string(5000, '1'));
  EXPECT_EQ(file->get_header_value("Content-Type"), "audio/mpeg");
  httplib::Client ranged = server_->client();
  auto part = ranged.Get(mineRec.c_str(), httplib::Headers{{"Cookie", bob}, {"Range", "bytes=100-199"}});
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body.size(), 100u);
  EXPECT_EQ(ranged.Get(mineRec.c_str(), httplib::Headers{{"Cookie", bob}, {"Range", "bytes=9000-"}})->status, 416);
  EXPECT_EQ(get(*server_, bob, "/users")->body.find("Adams"), std::string::npos);
  // The admin sees the other ports, and the web CSV keeps a name from
  // becoming a formula.
  const std::string ann = server_->login("ann", kAdminPassword);
  auto june = get(*server_, ann, "/records.csv?from=2024-06-01&to=2024-06-30&mode=1");
  EXPECT_NE(june->body.find("\"'=HYPERLINK(\"\"x\"\"), Eve\""), std::string::npos) << june->body.substr(0, 600);
  auto page = get(*server_, ann, "/records?from=2024-06-01&to=2024-06-30&mode=1");
  EXPECT_NE(page->body.find("=HYPERLINK(&quot;x&quot;)"), std::string::npos);
  auto smith = get(*server_, ann, "/records?template=May");
  EXPECT_NE(smith->body.find("Smith &amp; &lt;Sons&gt;"), std::string::npos) << "escaped";
  EXPECT_EQ(smith->body.find("<Sons>"), std::string::npos);
  EXPECT_EQ(count(get(*server_, ann, "/trace?a=500")->body, "<span class=\"record\">"), 4u);
  EXPECT_EQ(get(*server_, ann, otherRec)->status, 200);
  EXPECT_NE(get(*server_, ann, "/users")->body.find("Adams"), std::string::npos);
}

TEST_P(Serve, WithoutASessionNothingButTheLoginAndBadInputIsRefused) {
  httplib::Client c = server_->client();
  auto page = c.Get("/records");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 303);
  EXPECT_EQ(page->get_header_value("Location"), "/login");
  for (const char* path : {"/records.csv", "/records.txt?month=2024-05", "/records.json", "/recordings/1"})
    EXPECT_EQ(c.Get(path)->status, 401) << path;
  EXPECT_EQ(c.Get("/healthz")->status, 200);
  auto login = c.Get("/login");
  EXPECT_EQ(login->status, 200);
  for (const char* h : {"Content-Security-Policy", "X-Content-Type-Options", "Referrer-Policy"})
    EXPECT_TRUE(login->has_header(h)) << h;
  EXPECT_NE(login->get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"), std::string::npos);
  EXPECT_EQ(login->body.find("<script"), std::string::npos);
  auto turkish = c.Get("/login", httplib::Headers{{"Accept-Language", "tr-TR,tr;q=0.9,en;q=0.5"}});
  EXPECT_NE(turkish->body.find("Giriş"), std::string::npos) << "the browser's language";

  const std::string ann = server_->login("ann", kAdminPassword);
  // Bad parameters: the command line's reason.
  const std::pair<const char*, const char*> bad[] = {
      {"/records.csv?mode=6", "invalid value \"6\" for --mode\n"},
      {"/records.txt?colour=red", "unknown option --colour\n"},
      {"/records.json?from=2024-02-30", "invalid value \"2024-02-30\" for --from\n"},
      {"/records.csv?template=June", "no template named \"June\"\n"}};
  for (const auto& [path, why] : bad) {
    auto res = get(*server_, ann, path);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400) << path;
    EXPECT_EQ(res->body, why);
    EXPECT_EQ(res->get_header_value("Cache-Control"), "no-store");
  }
  EXPECT_EQ(get(*server_, ann, "/records?page=x")->status, 400);
  // A form that changes state needs the session's token.
  httplib::Client post = server_->client();
  EXPECT_EQ(post.Post("/logout", httplib::Headers{{"Cookie", ann}}, httplib::Params{{"token", "0"}})->status, 403);
  // Limits: request line, headers, body.
  EXPECT_EQ(get(*server_, ann, "/records?user=" + std::string(9000, 'x'))->status, 414);
  httplib::Headers big{{"Cookie", ann}};
  for (int i = 0; i < 40; ++i) big.emplace("X-Filler-" + std::to_string(i), std::string(1000, 'y'));
  auto many = c.Get("/records", big);
  ASSERT_TRUE(many);
  EXPECT_EQ(many->status, 431);
  EXPECT_TRUE(many->has_header("Content-Security-Policy"));
  auto body = c.Post("/login", std::string(200000, 'a'), "application/x-www-form-urlencoded");
  ASSERT_TRUE(body);
  EXPECT_EQ(body->status, 413);
  EXPECT_EQ(c.Get("/healthz")->status, 200) << "still serving";

  // The overview and the alarms: none while the alarm table is missing,
  // then the newest first, escaped.
  EXPECT_EQ(get(*server_, ann, "/")->status, 200);
  EXPECT_EQ(get(*server_, ann, "/alarms")->body.find("<tr class="), std::string::npos);
  {
    RecordStore store(nullptr, corvane::CodePage::Cp1252);
    ASSERT_TRUE(store.openMainDatabase(site_.dir.path(), site_.conn));
    store::Database& db = *store.mainDatabase();
    // The store makes table Alarm beside the others; rows as the collector writes them.
    db.connection().execute("INSERT INTO Alarm VALUES (1, '2024-05-01 10:00:00', 'silence', 'warning', '', 0, 'old')");
    db.connection().execute(
        "INSERT INTO Alarm VALUES (2, '2024-05-02 10:00:00', 'cost', 'critical', '101', 7, 'over <b>100</b>')");
  }
  const std::string alarms = get(*server_, ann, "/alarms")->body;
  EXPECT_LT(alarms.find("over &lt;b&gt;100&lt;/b&gt;"), alarms.find(">old<"));
  EXPECT_NE(alarms.find("class=\"critical\""), std::string::npos);
}

TEST(ServeAlone, TheConfigurationFileAndTheAccountsCommand) {
  if (cli().empty()) GTEST_SKIP() << "LUMARC_CLI not set";
  corvane::testing::TempDir dir("lumarc-serveconf");
  const std::string conf = dir.path() + "/web.conf";
  std::ofstream(conf) << "# web\nlisten=127.0.0.1:0\ncolour=red\ndir=relative\n";
  const lumarc::Run bad = runCli({"serve", "--config", conf}, dir.path() + "/err");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find(conf + ":3: unknown key \"colour\""), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find(conf + ":4: dir= needs an absolute path"), std::string::npos) << bad.err;
  const std::vector<std::string> base = {"--dir", dir.path(), "web-user"};
  auto webUser = [&](std::vector<std::string> args, const std::string& input) {
    args.insert(args.begin(), base.begin(), base.end());
    return runCli(args, dir.path() + "/wu", input);
  };
  EXPECT_EQ(webUser({"add", "eve", "--role", "user"}, "long enough\n").status, 2) << "a user needs ports";
  EXPECT_EQ(webUser({"add", "eve", "--role", "boss"}, "long enough\n").status, 2);
  EXPECT_EQ(webUser({"add", "e:ve", "--role", "admin"}, "long enough\n").status, 2);
  EXPECT_EQ(webUser({"add", "eve", "--role", "admin"}, "short\n").status, 2);
  EXPECT_EQ(webUser({"add", "eve", "--role", "user", "--ports", "101,10A"}, "long enough\n").status, 0);
  EXPECT_EQ(webUser({"list"}, "").out, "eve user 101,10A\n");
  EXPECT_EQ(readAll(dir.path() + "/web-accounts").find("long enough"), std::string::npos) << "only the hash";
  EXPECT_EQ(webUser({"remove", "eve"}, "").status, 0);
  EXPECT_EQ(webUser({"remove", "eve"}, "").status, 1);
  EXPECT_EQ(webUser({"list"}, "").out, "");
}

TEST(ServeAlone, HttpsWithASecureCookie) {
  if (cli().empty()) GTEST_SKIP() << "LUMARC_CLI not set";
  if (::access("/usr/bin/openssl", X_OK) != 0) GTEST_SKIP() << "no openssl program";
  Site site;
  ASSERT_TRUE(site.seed(false));
  ASSERT_TRUE(site.accounts());
  const std::string cert = site.dir.path() + "/web.pem", key = site.dir.path() + "/web.key";
  testproc::ChildProcess mk({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                             "/CN=127.0.0.1", "-keyout", key, "-out", cert},
                            site.dir.path() + "/openssl.err");
  ASSERT_EQ(mk.wait(), 0);
  Server s(site.dir.path(), "", {"--tls-cert", cert, "--tls-key", key});
  ASSERT_GT(s.port(), 0) << readAll(site.dir.path() + "/serve.err");
  httplib::SSLClient c("127.0.0.1", s.port());
  c.enable_server_certificate_verification(false);
  auto login = c.Post("/login", httplib::Params{{"name", "ann"}, {"password", kAdminPassword}});
  ASSERT_TRUE(login);
  EXPECT_EQ(login->status, 303);
  EXPECT_NE(login->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
  EXPECT_EQ(c.Get("/healthz")->status, 200);
  httplib::Client plain("127.0.0.1", s.port());
  auto refused = plain.Get("/healthz");
  EXPECT_TRUE(!refused || refused->status != 200) << "no plain HTTP on the TLS port";
}

TEST_P(Serve, ManyClientsAtOnce) {
  const std::string ann = server_->login("ann", kAdminPassword);
  const std::string expected = get(*server_, ann, "/records.csv?template=May")->body;
  std::atomic<int> good{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 8; ++t)
    clients.emplace_back([&, t] {
      for (int i = 0; i < 6; ++i) {
        auto res = get(*server_, ann, t % 2 ? "/records.csv?template=May" : "/records?template=May&page=2");
        if (res && res->status == 200 && (t % 2 == 0 || res->body == expected)) ++good;
      }
    });
  for (std::thread& c : clients) c.join();
  EXPECT_EQ(good.load(), 48);
}

INSTANTIATE_TEST_SUITE_P(Engines, Serve, ::testing::Values(false, true),
                         [](const auto& i) { return i.param ? "Postgres" : "Sqlite"; });

TEST(ServeAlone, LoginsAreThrottledAndTheCookieIsStrict) {
  if (cli().empty()) GTEST_SKIP() << "LUMARC_CLI not set";
  Site site;
  ASSERT_TRUE(site.seed(false));
  ASSERT_TRUE(site.accounts());
  Server s(site.dir.path(), "");
  ASSERT_GT(s.port(), 0);
  // An account removed from the file is logged out at once.
  const std::string bob = s.login("bob", kUserPassword);
  ASSERT_FALSE(bob.empty());
  EXPECT_EQ(get(s, bob, "/records")->status, 200);
  ASSERT_EQ(runCli({"--dir", site.dir.path(), "web-user", "remove", "bob"}, site.dir.path() + "/wu3").status, 0);
  EXPECT_EQ(get(s, bob, "/records")->status, 303);
  EXPECT_EQ(get(s, bob, "/records.csv")->status, 401);

  Server::LoginAnswer first;
  ASSERT_FALSE(s.login("ann", kAdminPassword, &first).empty());
  const std::string cookie = first.setCookie;
  EXPECT_NE(cookie.find("; HttpOnly"), std::string::npos) << cookie;
  EXPECT_NE(cookie.find("; SameSite=Strict"), std::string::npos) << cookie;
  EXPECT_EQ(cookie.find("Secure"), std::string::npos) << "plain HTTP: " << cookie;
  for (int i = 0; i < 5; ++i) {
    Server::LoginAnswer r;
    EXPECT_TRUE(s.login("ann", "wrong", &r).empty());
    EXPECT_EQ(r.status, 403);
  }
  Server::LoginAnswer refused;
  EXPECT_TRUE(s.login("ann", kAdminPassword, &refused).empty()) << "even the right password waits";
  EXPECT_EQ(refused.status, 429);
  EXPECT_FALSE(refused.retryAfter.empty());
}

TEST(ServeAlone, TheDatabaseComesAndGoes) {
  if (cli().empty()) GTEST_SKIP() << "LUMARC_CLI not set";
  Site site, empty;
  ASSERT_TRUE(site.seed(false));
  ASSERT_TRUE(site.accounts());
  // A working directory without the database: 503 until it is there.
  std::filesystem::copy_file(site.dir.path() + "/web-accounts", empty.dir.path() + "/web-accounts");
  Server s(empty.dir.path(), "");
  ASSERT_GT(s.port(), 0);
  httplib::Client c = s.client();
  EXPECT_EQ(c.Get("/healthz")->status, 503);
  const std::string ann = s.login("ann", kAdminPassword);
  ASSERT_FALSE(ann.empty());
  EXPECT_EQ(get(s, ann, "/records")->status, 503);
  EXPECT_EQ(get(s, ann, "/records.csv")->status, 503);
  std::filesystem::copy_file(site.dir.path() + "/Lumarc.mdb", empty.dir.path() + "/Lumarc.mdb");
  EXPECT_EQ(c.Get("/healthz")->status, 200);
  EXPECT_EQ(get(s, ann, "/records?template=May")->status, 200);
}

TEST(ServeAlone, ALongExportStreamsWithFlatMemory) {
  if (cli().empty()) GTEST_SKIP() << "LUMARC_CLI not set";
  Site site;
  ASSERT_TRUE(site.seed(false, 200000));
  ASSERT_TRUE(site.accounts());
#if defined(__SANITIZE_ADDRESS__)
  // Under AddressSanitizer freed memory waits in a quarantine (256 MB)
  // before it is used again: a small one lets the peak show the program's own.
  const char* asan = std::getenv("ASAN_OPTIONS");
  ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":quarantine_size_mb=8").c_str(), 1);
#endif
  Server s(site.dir.path(), "");
  ASSERT_GT(s.port(), 0);
  const std::string ann = s.login("ann", kAdminPassword);
  // A small export first, so that every buffer has been grown once.
  ASSERT_EQ(get(s, ann, "/records.csv?month=2024-05")->status, 200);
  const long before = s.peakKb();
  httplib::Client c = s.client();
  size_t bytes = 0, rows = 0;
  auto res =
      c.Get("/records.csv?month=2024-07&mode=1", httplib::Headers{{"Cookie", ann}}, [&](const char* data, size_t n) {
        bytes += n;
        rows += size_t(std::count(data, data + n, '\n'));
        return true;
      });
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_GE(rows, 200001u);
  const long after = s.peakKb();
  // The grouped listing sorts its rows by user in a buffer of a fixed
  // 16 MB (beyond it, in a temporary file): memory that does not grow
  // with the listing's length.
  EXPECT_LT(after - before, 48 * 1024) << "peak " << before << " kB before, " << after << " kB after " << bytes
                                       << " bytes";
}

}  // namespace
}  // namespace lumarc
