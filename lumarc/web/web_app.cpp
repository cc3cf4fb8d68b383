#include "lumarc/web/web_app.h"

#include "common/codepage.h"
#include "lumarc/browse/cmdr_report.h"
#include "lumarc/browse/csv.h"
#include "lumarc/browse/report_plan.h"
#include "lumarc/browse/selection.h"
#include "lumarc/browse/statistics.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/trace.h"
#include "lumarc/browse/voice_report.h"
#include "common/format.h"
#include "lumarc/texts/texts.h"
#include "lumarc/web/html.h"
#include "lumarc/web/overview.h"
#include "lumarc/web/page_texts.h"
#include "lumarc/web/selection_params.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <list>

namespace lumarc::web {

namespace {

constexpr const char* kCookie = "lumarc_session";
constexpr size_t kFlushBytes = 64 * 1024;

const char* charsetOf(corvane::CodePage cp) {
  switch (cp) {
    case corvane::CodePage::Cp1254: return "windows-1254";
    case corvane::CodePage::Cp1250: return "windows-1250";
    default: return "windows-1252";
  }
}

// Pieces gathered into one write of about kFlushBytes.
class Buffered {
 public:
  explicit Buffered(BodyWriter& out) : out_(out) {}
  bool put(std::string_view s) {
    buf_ += s;
    return buf_.size() < kFlushBytes || flush();
  }
  bool flush() {
    if (buf_.empty()) return ok_;
    ok_ = ok_ && out_.write(buf_);
    buf_.clear();
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  BodyWriter& out_;
  std::string buf_;
  bool ok_ = true;
};

// A CSV cell that a spreadsheet would take for a formula gets a leading
// apostrophe in the web's CSV (the file is opened by people with a click).
std::string guardedCell(const std::string& cell) {
  if (!cell.empty() &&
      (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@' || cell[0] == '\t' || cell[0] == '\r'))
    return "'" + cell;
  return cell;
}

std::string jsonString(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  return out + "\"";
}

// Collects the lines of one listing page.
struct PageLines : browse::ReportSink {
  std::vector<std::pair<browse::ReportLineKind, std::string>> lines;
  void line(const browse::ReportLine& l) override { lines.emplace_back(l.kind, l.text); }
};

// Thrown by an export's sink when its client is gone: the listing stops.
struct StopListing {};

// Hands an export's lines on; stops the listing once the output fails.
template <class F>
struct ExportSink : browse::ReportSink {
  explicit ExportSink(F f) : f_(std::move(f)) {}
  void line(const browse::ReportLine& l) override {
    if (!f_(l)) throw StopListing{};
  }
  F f_;
};

// Runs the whole listing into sink in one pass (as `lumarc-cli report`
// does); false when it stopped early. The database's failure text in error.
bool runListing(store::Database& db, const browse::ReportPlan& plan, const browse::CmdrReportTexts& texts,
                browse::ReportSink& sink, std::string& error) {
  try {
    error = browse::buildCmdrReport(db, plan, texts, sink).error;
    return error.empty();
  } catch (const StopListing&) {
    return false;
  }
}

std::string cookieHeader(const std::string& value, bool tls, bool clear) {
  std::string c = std::string(kCookie) + "=" + value + "; Path=/; HttpOnly; SameSite=Strict";
  if (tls) c += "; Secure";
  if (clear) c += "; Max-Age=0";
  return c;
}

}  // namespace

// ---- The cursors of the pages shown ----

struct WebApp::CursorCache {
  static constexpr size_t kEntries = 256;
  std::mutex mutex;
  std::list<std::pair<std::string, browse::CmdrPageCursor>> entries;  // newest first

  std::optional<browse::CmdrPageCursor> find(const std::string& key) {
    std::lock_guard lock(mutex);
    for (auto it = entries.begin(); it != entries.end(); ++it)
      if (it->first == key) {
        entries.splice(entries.begin(), entries, it);
        return entries.front().second;
      }
    return std::nullopt;
  }
  void keep(const std::string& key, const browse::CmdrPageCursor& c) {
    std::lock_guard lock(mutex);
    for (auto it = entries.begin(); it != entries.end(); ++it)
      if (it->first == key) {
        entries.erase(it);
        break;
      }
    entries.emplace_front(key, c);
    if (entries.size() > kEntries) entries.pop_back();
  }
};

std::vector<std::pair<std::string, std::string>> securityHeaders() {
  return {{"Content-Security-Policy",
           "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; object-src 'none'; "
           "base-uri 'none'; form-action 'self'; frame-ancestors 'none'"},
          {"X-Content-Type-Options", "nosniff"},
          {"Referrer-Policy", "no-referrer"},
          {"X-Frame-Options", "DENY"}};
}

WebApp::WebApp(const WebConfig& config)
    : config_(config), program_(config.workDir), accounts_(config.accountsPath),
      pool_(config.workDir, config.connection, config.voiceConnection, program_.texts->codePage(), config.connections),
      cursors_(std::make_unique<CursorCache>()), overviews_(std::make_unique<OverviewCache>()) {}

WebApp::~WebApp() = default;

Response WebApp::handle(const Request& r) {
  const PageTexts t(languageOf(r.header("accept-language")));
  Response res;
  if (r.path == "/healthz") {
    res = health();
  } else if (r.path == "/static/style.css") {
    res.contentType = "text/css; charset=utf-8";
    res.body = std::string(styleSheet());
    res.header("Cache-Control", "max-age=3600");
    return res;
  } else if (r.path == "/login") {
    res = r.method == "POST" ? login(r) : loginPage(r, {});
  } else {
    // Everything else needs a session, and the account it was opened for.
    std::optional<Auth> auth;
    if (std::optional<WebSession> s = sessions_.find(r.cookie(kCookie), Clock::now())) {
      if (std::optional<Account> a = accounts_.find(s->name)) auth = Auth{*s, *a};
    }
    const bool data = r.path.rfind("/records.", 0) == 0 || r.path.rfind("/recordings/", 0) == 0;
    if (!auth) {
      res = data ? Response::text(401, "Log in first.\n") : Response::redirect("/login");
      if (data) res.header("WWW-Authenticate", "Cookie realm=\"lumarc\"");
    } else if (r.method == "POST" && !(r.formValue("token") && sameToken(*r.formValue("token"), auth->session.token))) {
      res = Response::text(403, "The form has expired; load the page again.\n");
    } else if (r.path == "/logout" && r.method == "POST") {
      res = logout(r, *auth);
    } else if (r.method != "GET" && r.method != "HEAD") {
      res = Response::text(405, "Method not allowed.\n");
    } else if (r.path == "/") {
      res = dashboard(r, *auth);
    } else if (r.path == "/records") {
      res = records(r, *auth);
    } else if (r.path == "/records.csv" || r.path == "/records.txt" || r.path == "/records.json") {
      res = recordsExport(r, *auth, r.path.substr(9));
    } else if (r.path == "/charts") {
      res = charts(r, *auth);
    } else if (r.path == "/alarms") {
      res = alarms(r, *auth);
    } else if (r.path == "/users") {
      res = users(r, *auth);
    } else if (r.path == "/voice") {
      res = voice(r, *auth);
    } else if (r.path == "/trace") {
      res = trace(r, *auth);
    } else if (r.path.rfind("/recordings/", 0) == 0) {
      res = recording(r, *auth);
    } else {
      res = Response::text(404, "Not found.\n");
    }
  }
  res.header("Cache-Control", "no-store");
  return res;
}

Response WebApp::health() {
  std::string error;
  if (pool_.healthy(error)) return Response::text(200, "ok\n");
  return Response::text(503, "database unavailable: " + error + "\n");
}

Response WebApp::loginPage(const Request& r, const std::string& message, int status) {
  const PageTexts t(languageOf(r.header("accept-language")));
  Response res;
  res.status = status;
  res.body = pageStart(t, {t.word(Word::LogIn), {}, false, {}, {}});
  if (!message.empty()) res.body += "<p class=\"error\">" + escapeHtml(message) + "</p>";
  res.body += "<form method=\"post\" action=\"/login\" class=\"login\"><p><label>" + escapeHtml(t.word(Word::Name)) +
              " <input name=\"name\" autocomplete=\"username\" required></label></p><p><label>" +
              escapeHtml(t.word(Word::Password)) +
              " <input name=\"password\" type=\"password\" autocomplete=\"current-password\" required></label></p>"
              "<p><button type=\"submit\">" +
              escapeHtml(t.word(Word::LogIn)) + "</button></p></form>";
  res.body += pageEnd();
  return res;
}

Response WebApp::login(const Request& r) {
  const PageTexts t(languageOf(r.header("accept-language")));
  const std::string name = r.formValue("name") ? *r.formValue("name") : "";
  const std::string password = r.formValue("password") ? *r.formValue("password") : "";
  const Clock::time_point now = Clock::now();
  const std::chrono::seconds wait = throttle_.wait(name, r.remoteAddress, now);
  if (wait.count() > 0) {
    Response res = loginPage(r, t.word(Word::TooManyTries), 429);
    res.header("Retry-After", std::to_string(wait.count()));
    return res;
  }
  const std::optional<Account> a = validAccountName(name) ? accounts_.find(name) : std::nullopt;
  // An unknown name costs a hash like a known one.
  static const std::string dummy = hashPassword("not a password");
  const bool good = verifyPassword(a ? a->hash : dummy, password) && a;
  if (!good) {
    throttle_.failed(name, r.remoteAddress, now);
    return loginPage(r, t.word(Word::WrongLogin), 403);
  }
  throttle_.succeeded(name, r.remoteAddress);
  const WebSession s = sessions_.open(name, now);
  Response res = Response::redirect("/");
  res.header("Set-Cookie", cookieHeader(s.id, r.tls, false));
  return res;
}

Response WebApp::logout(const Request& r, const Auth& a) {
  sessions_.close(a.session.id);
  Response res = Response::redirect("/login");
  res.header("Set-Cookie", cookieHeader("", r.tls, true));
  return res;
}

Response WebApp::unavailable(const Request& r, bool page) {
  const PageTexts t(languageOf(r.header("accept-language")));
  Response res = Response::text(503, t.word(Word::DatabaseUnavailable) + "\n");
  if (page) {
    res.contentType = "text/html; charset=utf-8";
    res.body = pageStart(t, {"Lumarc", {}, false, {}, {}}) + "<p class=\"error\">" +
               escapeHtml(t.word(Word::DatabaseUnavailable)) + "</p>" + pageEnd();
  }
  res.header("Retry-After", "10");
  return res;
}

Response WebApp::badRequest(const Request& r, const Auth& a, const std::string& why, bool page) {
  if (!page) return Response::text(400, why + "\n");
  const PageTexts t(languageOf(r.header("accept-language")));
  Response res;
  res.status = 400;
  res.body = pageStart(t, {t.word(Word::Records), a.account.name, a.admin(), a.session.token, "/records"}) +
             "<p class=\"error\">" + escapeHtml(why) + "</p><p><a href=\"/records\">" +
             escapeHtml(t.word(Word::Records)) + "</a></p>" + pageEnd();
  return res;
}

// ---- The selection form and the listing ----

namespace {

std::string givenValue(const Params& given, const std::string& name) {
  for (const auto& [n, v] : given)
    if (n == name) return v;
  return {};
}

std::string selectionForm(const PageTexts& t, const Params& given, const std::string& action) {
  std::string h = "<form method=\"get\" action=\"" + action + "\" class=\"selection\" id=\"selection\">";
  auto input = [&](const std::string& name, const std::string& label, const char* type, const char* hint) {
    h += "<label>" + escapeHtml(label) + "<input name=\"" + name + "\" type=\"" + type + "\" placeholder=\"" + hint +
         "\" value=\"" + escapeHtml(givenValue(given, name)) + "\"></label>";
  };
  auto select = [&](const std::string& name, const std::string& label,
                    const std::vector<std::pair<std::string, std::string>>& options) {
    const std::string chosen = givenValue(given, name);
    h += "<label>" + escapeHtml(label) + "<select name=\"" + name + "\"><option value=\"\"></option>";
    for (const auto& [value, text] : options)
      h += "<option value=\"" + escapeHtml(value) + "\"" + (value == chosen ? " selected" : "") + ">" +
           escapeHtml(text) + "</option>";
    h += "</select></label>";
  };
  auto check = [&](const std::string& name, const std::string& label) {
    h += "<label>" + escapeHtml(label) + "<input name=\"" + name + "\" type=\"checkbox\" value=\"1\"" +
         (givenValue(given, name) == "1" ? " checked" : "") + "></label>";
  };
  input("template", t.window(kTextTemplate), "text", "");
  input("month", t.word(Word::Month), "text", "YYYY-MM");
  input("from", t.window(kTextDateRange) + " (" + t.word(Word::From) + ")", "text", "YYYY-MM-DD");
  input("to", t.window(kTextDateRange) + " (" + t.word(Word::To) + ")", "text", "YYYY-MM-DD");
  input("time-from", t.window(kTextTimeRange) + " (" + t.word(Word::From) + ")", "text", "HH:MM");
  input("time-to", t.window(kTextTimeRange) + " (" + t.word(Word::To) + ")", "text", "HH:MM");
  select("variant", t.window(kTextRecordVariant),
         {{"0", t.window(kTextAllRecords)},
          {"1", t.window(kTextCallRecords)},
          {"2", t.window(kTextSystemRecords)},
          {"3", t.window(kTextServiceRecords)},
          {"4", t.window(kTextMaliciousCalls)},
          {"5", t.window(kTextRoomReports)}});
  select("mode", t.window(kTextListedUsers),
         {{"0", t.window(kTextAllTimeSorted)},
          {"1", t.window(kTextAllUserSorted)},
          {"2", t.window(kTextSelectedUsers)},
          {"3", t.window(kTextSingleUser)},
          {"4", t.window(kTextDepartments)},
          {"5", t.window(kTextSections)}});
  input("user", t.window(kTextName), "text", "");
  input("port", t.window(kTextUsedPort), "text", "");
  input("dialled", t.window(kTextDialledDigits), "text", "");
  input("calling", t.window(kTextCallingNumber), "text", "");
  input("exchange", t.window(kTextCorvaneIp), "text", "A.B.C.D");
  input("price", t.window(kTextPriceUnit), "text", "0.05");
  input("unit", t.window(kTextPriceUnit), "text", "EUR");
  select("line", t.window(kTextLineFormat), {{"long", t.window(kTextLong)}, {"short", t.window(kTextShort)}});
  select("replace", t.window(kTextReplaceDigits),
         {{"none", t.window(kTextNo)},
          {"dialled", t.window(kTextDialledDigits)},
          {"calling", t.window(kTextCallingNumber)},
          {"both", t.window(kTextBoth)}});
  check("acked-free", t.window(kTextAckedCallsFree));
  check("no-details", t.window(kTextNoDetails));
  h += "<label>&nbsp;<button type=\"submit\" id=\"show\">" + escapeHtml(t.word(Word::Show)) + "</button></label>";
  h += "</form>\n";
  return h;
}

const char* lineClass(browse::ReportLineKind k) {
  switch (k) {
    case browse::ReportLineKind::Heading: return "heading";
    case browse::ReportLineKind::SubTotal: return "subtotal";
    case browse::ReportLineKind::Total: return "total";
    case browse::ReportLineKind::Record: return "record";
    default: return "empty";
  }
}

std::string portsKey(const Account& a) {
  if (a.role == Role::Admin) return "*";
  std::string k;
  for (const std::string& p : a.ports) k += p + ",";
  return k;
}

// The selection of a listing's query, its saved template read through the lease.
ParamsOutcome selectionOf(const Request& r, Lease& lease, corvane::CodePage cp, SelectionParams& sp, std::string& why) {
  const TemplateLookup templates = [&lease](const std::string& name, std::string& err) {
    return browse::findTemplate(lease.main(), name, err);
  };
  return readSelection(r.query, cp, templates, sp, why);
}

// The plan of a selection's listing, kept to the account's ports unless it
// is an administrator's: every listing of the web front end is planned here.
browse::ReportPlan listingPlan(const SelectionParams& sp, const Account& account,
                               browse::ListedTable table = browse::ListedTable::Cmdr) {
  browse::ReportPlan plan = browse::planFor(sp.selection, table);
  if (account.role != Role::Admin) restrictToPorts(plan, account.ports);
  return plan;
}

}  // namespace

Response WebApp::records(const Request& r, const Auth& a) {
  const PageTexts t(languageOf(r.header("accept-language")));
  std::string error;
  std::shared_ptr<Lease> lease = pool_.acquire(error);
  if (!lease) return unavailable(r, true);
  const corvane::CodePage cp = program_.texts->codePage();
  SelectionParams sp;
  std::string why;
  switch (selectionOf(r, *lease, cp, sp, why)) {
    case ParamsOutcome::Bad: return badRequest(r, a, why, true);
    case ParamsOutcome::DatabaseFailed: lease->broken(); return unavailable(r, true);
    case ParamsOutcome::Ok: break;
  }
  browse::ReportPlan plan = listingPlan(sp, a.account);
  const browse::CmdrReportTexts texts = browse::CmdrReportTexts::from(*program_.texts);

  // The cursor before the page: kept from the page before, else read.
  const std::string key = a.session.id + "|" + portsKey(a.account) + "|" + queryString(sp.given) + "|";
  browse::CmdrPageCursor cursor;
  if (sp.page > 1) {
    if (std::optional<browse::CmdrPageCursor> c = cursors_->find(key + std::to_string(sp.page))) {
      cursor = std::move(*c);
    } else {
      std::optional<browse::CmdrPageCursor> c2 =
          browse::cmdrPageCursorAt(lease->main(), plan, texts, (sp.page - 1) * kPageLines, error);
      if (!c2) {
        lease->broken();
        return unavailable(r, true);
      }
      cursor = std::move(*c2);
    }
  }
  PageLines lines;
  browse::CmdrPage page = browse::buildCmdrPage(lease->main(), plan, texts, cursor, kPageLines, lines);
  if (!page.error.empty()) {
    lease->broken();
    return unavailable(r, true);
  }
  const bool more = !page.next.atEnd() && page.lines == kPageLines;
  if (more) cursors_->keep(key + std::to_string(sp.page + 1), page.next);

  Response res;
  res.body = pageStart(t, {t.word(Word::Records), a.account.name, a.admin(), a.session.token, "/records"});
  res.body += selectionForm(t, sp.given, "/records");
  const std::string q = queryString(sp.given);
  const std::string qs = q.empty() ? "" : "?" + q;
  res.body += "<p class=\"downloads\">" + escapeHtml(t.word(Word::Download)) + ": <a href=\"/records.csv" +
              escapeHtml(qs) + "\">CSV</a> <a href=\"/records.txt" + escapeHtml(qs) +
              "\">TXT</a> <a href=\"/records.json" + escapeHtml(qs) + "\">JSON</a> <a href=\"/charts" + escapeHtml(qs) +
              "\">" + escapeHtml(t.word(Word::Charts)) + "</a></p>\n";
  if (lines.lines.empty()) {
    res.body += "<p id=\"empty\">" + escapeHtml(t.word(Word::NoRecords)) + "</p>";
  } else {
    res.body += "<pre class=\"listing\" id=\"listing\"><span class=\"columns\">" +
                escapeHtml(corvane::toUtf8(browse::cmdrReportHeader(plan, texts), cp)) + "</span>\n";
    for (const auto& [kind, text] : lines.lines)
      res.body +=
          std::string("<span class=\"") + lineClass(kind) + "\">" + escapeHtml(corvane::toUtf8(text, cp)) + "</span>\n";
    res.body += "</pre>\n";
  }
  res.body += "<p class=\"pages\">";
  auto pageLink = [&](int p, Word w, const char* id) {
    Params withPage = sp.given;
    withPage.emplace_back("page", std::to_string(p));
    res.body += "<a id=\"" + std::string(id) + "\" href=\"/records?" + escapeHtml(queryString(withPage)) + "\">" +
                escapeHtml(t.word(w)) + "</a>";
  };
  if (sp.page > 1) pageLink(sp.page - 1, Word::Previous, "previous");
  res.body += escapeHtml(t.word(Word::Page)) + " " + std::to_string(sp.page) + " ";
  if (more) pageLink(sp.page + 1, Word::Next, "next");
  res.body += "</p>\n" + pageEnd();
  return res;
}

// ---- Exports ----

Response WebApp::recordsExport(const Request& r, const Auth& a, const std::string& kind) {
  std::string error;
  std::shared_ptr<Lease> lease = pool_.acquire(error);
  if (!lease) return unavailable(r, false);
  const corvane::CodePage cp = program_.texts->codePage();
  SelectionParams sp;
  std::string why;
  switch (selectionOf(r, *lease, cp, sp, why)) {
    case ParamsOutcome::Bad: return badRequest(r, a, why, false);
    case ParamsOutcome::DatabaseFailed: lease->broken(); return unavailable(r, false);
    case ParamsOutcome::Ok: break;
  }
  auto plan = std::make_shared<browse::ReportPlan>(listingPlan(sp, a.account));
  const browse::CmdrReportTexts texts = browse::CmdrReportTexts::from(*program_.texts);

  Response res;
  if (kind == "csv" || kind == "json") {
    const bool json = kind == "json";
    res.contentType = json ? "application/json" : "text/csv; charset=utf-8";
    if (!json) res.header("Content-Disposition", "attachment; filename=\"records.csv\"");
    res.stream = [lease, plan, texts, cp, json](BodyWriter& out) {
      Buffered buf(out);
      bool first = true;
      const std::vector<std::string>& columns = browse::cmdrCsvColumns();
      browse::CmdrCsvWriter rows(
          [&](const std::vector<std::string>& fields) {
            std::string row;
            if (json) {
              row = first ? "[\n{" : ",\n{";
              for (size_t i = 0; i < fields.size() && i < columns.size(); ++i)
                row += (i ? "," : "") + jsonString(columns[i]) + ":" + jsonString(fields[i]);
              row += "}";
            } else {
              if (first) row = browse::csvRow(columns);
              std::vector<std::string> guarded;
              guarded.reserve(fields.size());
              for (const std::string& f : fields) guarded.push_back(guardedCell(f));
              row += browse::csvRow(guarded);
            }
            first = false;
            return buf.put(row);
          },
          cp, plan->amounts.unit);
      auto forward = [&rows](const browse::ReportLine& l) {
        rows.line(l);
        return rows.ok();
      };
      ExportSink<decltype(forward)> sink(forward);
      std::string error;
      if (!runListing(lease->main(), *plan, texts, sink, error)) {
        if (!error.empty()) lease->broken();
        return false;
      }
      if (json) buf.put(first ? "[]\n" : "\n]\n");
      return buf.flush() && rows.ok();
    };
    return res;
  }
  // The report file's bytes: the column titles (when the listing totals a
  // call), then every line, each with CR LF, in the program's code page.
  res.contentType = std::string("text/plain; charset=") + charsetOf(cp);
  res.header("Content-Disposition", "attachment; filename=\"records.txt\"");
  res.stream = [lease, plan, texts](BodyWriter& out) {
    Buffered buf(out);
    // The header comes first when the listing totals a call; until the
    // first totalled call the lines wait in a temporary file (a listing of
    // other record types only has no header).
    std::FILE* held = std::tmpfile();
    if (!held) return false;
    bool decided = false, ok = true;
    auto release = [&](bool header) {
      if (header) buf.put(browse::cmdrReportHeader(*plan, texts) + "\r\n");
      std::rewind(held);
      char chunk[16384];
      size_t n;
      while ((n = std::fread(chunk, 1, sizeof chunk, held)) > 0) buf.put(std::string_view(chunk, n));
      std::fclose(held);
      held = nullptr;
      decided = true;
    };
    auto put = [&](const browse::ReportLine& l) {
      using K = browse::ReportLineKind;
      // A heading, a total or a call's line: a call is totalled.
      if (!decided && (l.kind == K::Heading || l.kind == K::SubTotal || l.kind == K::Total ||
                       (l.kind == K::Record && l.record && l.record->type == "A")))
        release(true);
      const std::string row = l.text + "\r\n";
      if (decided) return buf.put(row);
      ok = std::fwrite(row.data(), 1, row.size(), held) == row.size();
      return ok;
    };
    ExportSink<decltype(put)> sink(put);
    std::string error;
    const bool whole = runListing(lease->main(), *plan, texts, sink, error);
    if (!error.empty()) lease->broken();
    if (!whole) {
      if (held) std::fclose(held);
      return false;
    }
    if (!decided) release(false);
    return ok && buf.flush();
  };
  return res;
}

// ---- Overview, charts and alarms ----

namespace {

DateTime today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, 0, 0, 0};
}

DateTime dayBefore(DateTime d) { return addSeconds(d, -86400); }

DateTime lastDayOf(int year, int month) {
  DateTime last{year, month, 31, 0, 0, 0};
  while (browse::dateFields(last).year < 0) --last.day;
  return last;
}

std::string dateText(const DateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

std::string number(int64_t v) { return std::to_string(v); }

std::string amount(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

std::string alarmTable(const PageTexts& t, const std::vector<AlarmRow>& alarms) {
  std::string h = "<table class=\"alarms\"><tr><th>#</th><th>" + escapeHtml(t.word(Word::Time)) + "</th><th>" +
                  escapeHtml(t.word(Word::Severity)) + "</th><th>" + escapeHtml(t.word(Word::Rule)) + "</th><th>" +
                  escapeHtml(t.word(Word::Port)) + "</th><th>" + escapeHtml(t.word(Word::Record)) + "</th><th>" +
                  escapeHtml(t.word(Word::Text)) + "</th></tr>";
  for (const AlarmRow& a : alarms) {
    const std::string severity = a.severity == "critical" || a.severity == "warning" ? a.severity : "info";
    h += "<tr class=\"" + severity + "\"><td>" + number(a.sqno) + "</td><td class=\"text\">" + escapeHtml(a.raised) +
         "</td><td class=\"text " + severity + "\">" + escapeHtml(a.severity) + "</td><td class=\"text\">" +
         escapeHtml(a.rule) + "</td><td>" + escapeHtml(a.port) + "</td><td>" + (a.record ? number(a.record) : "") +
         "</td><td class=\"text\">" + escapeHtml(a.text) + "</td></tr>";
  }
  return h + "</table>\n";
}

}  // namespace

struct WebApp::Overview {
  std::array<int64_t, 24> today{}, yesterday{};
  CallFigures thisMonth, lastMonth;
  std::vector<NewestRecord> newest;
  std::vector<AlarmRow> alarms;
};

struct WebApp::OverviewCache {
  static constexpr std::chrono::seconds kFresh{10};
  std::mutex mutex, computing;
  std::map<std::string, std::pair<Clock::time_point, std::shared_ptr<const Overview>>> figures;
};

Response WebApp::dashboard(const Request& r, const Auth& a) {
  const PageTexts t(languageOf(r.header("accept-language")));
  const std::string key = portsKey(a.account);
  // Figures a few seconds old are good enough for an overview, and spare
  // the database the same sums for every reader: one request sums at a
  // time, and while it does the others take the figures before (or, when
  // there are none yet, wait for its).
  auto cached = [&](bool staleToo) -> std::shared_ptr<const Overview> {
    std::lock_guard lock(overviews_->mutex);
    auto it = overviews_->figures.find(key);
    if (it == overviews_->figures.end()) return nullptr;
    if (staleToo || Clock::now() - it->second.first < OverviewCache::kFresh) return it->second.second;
    return nullptr;
  };
  std::shared_ptr<const Overview> o = cached(false);
  std::unique_lock<std::mutex> computing(overviews_->computing, std::defer_lock);
  if (!o && !computing.try_lock()) {
    o = cached(true);
    if (!o) computing.lock();
  }
  if (!o) o = cached(false);
  if (!o) {
    std::string error;
    std::shared_ptr<Lease> lease = pool_.acquire(error);
    if (!lease) return unavailable(r, true);
    auto fresh = std::make_shared<Overview>();
    const std::vector<std::string>* ports = a.admin() ? nullptr : &a.account.ports;
    try {
      store::Database& db = lease->main();
      const DateTime day = today(), before = dayBefore(day);
      fresh->today = callsByHour(db, callsBetween(day, day, ports));
      fresh->yesterday = callsByHour(db, callsBetween(before, before, ports));
      fresh->thisMonth = callFigures(db, callsBetween({day.year, day.month, 1, 0, 0, 0}, day, ports));
      const int ly = day.month == 1 ? day.year - 1 : day.year, lm = day.month == 1 ? 12 : day.month - 1;
      fresh->lastMonth = callFigures(db, callsBetween({ly, lm, 1, 0, 0, 0}, lastDayOf(ly, lm), ports));
      store::Condition mine;
      if (ports) {
        browse::ReportPlan p;
        restrictToPorts(p, *ports);
        mine = p.where;
      }
      fresh->newest = newestPerExchange(db, mine);
      if (a.admin()) fresh->alarms = newestAlarms(db, 20);
    } catch (const std::exception&) {
      lease->broken();
      return unavailable(r, true);
    }
    o = fresh;
    std::lock_guard lock(overviews_->mutex);
    overviews_->figures[key] = {Clock::now(), o};
  }
  if (computing.owns_lock()) computing.unlock();

  Response res;
  res.body = pageStart(t, {t.word(Word::Dashboard), a.account.name, a.admin(), a.session.token, "/"});
  std::vector<std::string> hours;
  std::vector<double> todayV, yesterdayV;
  for (int h = 0; h < 24; ++h) {
    hours.push_back(std::to_string(h));
    todayV.push_back(double(o->today[size_t(h)]));
    yesterdayV.push_back(double(o->yesterday[size_t(h)]));
  }
  res.body += "<section class=\"hours\">" + barChartSvg(t.word(Word::Today), hours, todayV) +
              barChartSvg(t.word(Word::Yesterday), hours, yesterdayV) + "</section>\n";
  // This month against the last: calls, duration, pulses; amounts at the
  // price given (price=, unit=), as a report would price them.
  double price = 0;
  if (const std::string* p = r.queryValue("price")) price = std::atof(p->c_str());
  const std::string unit = r.queryValue("unit") ? *r.queryValue("unit") : "";
  res.body += "<table class=\"months\" id=\"months\"><tr><th></th><th>" + escapeHtml(t.word(Word::Calls)) +
              "</th><th>" + escapeHtml(t.word(Word::Duration)) + "</th><th>" + escapeHtml(t.word(Word::Pulses)) +
              "</th><th>" + escapeHtml(t.word(Word::Amount)) + "</th></tr>";
  auto row = [&](Word w, const CallFigures& f) {
    res.body += "<tr><th>" + escapeHtml(t.word(w)) + "</th><td>" + number(f.calls) + "</td><td>" +
                escapeHtml(corvane::formatDuration(uint32_t(std::min<int64_t>(f.duration, UINT32_MAX)))) + "</td><td>" +
                number(f.rpuls) + " / " + number(f.ppuls) + "</td><td>" + amount(double(f.rpuls + f.ppuls) * price) +
                " " + escapeHtml(unit) + "</td></tr>";
  };
  row(Word::ThisMonth, o->thisMonth);
  row(Word::LastMonth, o->lastMonth);
  res.body += "</table>\n<h2>" + escapeHtml(t.word(Word::NewestRecords)) + "</h2><table class=\"newest\"><tr><th>" +
              escapeHtml(t.word(Word::Exchange)) + "</th><th>" + escapeHtml(t.word(Word::Time)) + "</th></tr>";
  for (const NewestRecord& n : o->newest)
    res.body += "<tr><td class=\"text\">" + escapeHtml(n.exchange ? corvane::ipv4Text(n.exchange) : "-") +
                "</td><td class=\"text\">" + escapeHtml(dateText(n.time)) + "</td></tr>";
  res.body += "</table>\n";
  if (a.admin()) {
    res.body += "<h2><a href=\"/alarms\">" + escapeHtml(t.word(Word::Alarms)) + "</a></h2>" + alarmTable(t, o->alarms);
  }
  res.body += pageEnd();
  return res;
}

Response WebApp::charts(const Request& r, const Auth& a) {
  const PageTexts t(languageOf(r.header("accept-language")));
  std::string error;
  std::shared_ptr<Lease> lease = pool_.acquire(error);
  if (!lease) return unavailable(r, true);
  const corvane::CodePage cp = program_.texts->codePage();
  SelectionParams sp;
  std::string why;
  switch (selectionOf(r, *lease, cp, sp, why)) {
    case ParamsOutcome::Bad: return badRequest(r, a, why, true);
    case ParamsOutcome::DatabaseFailed: lease->broken(); return unavailable(r, true);
    case ParamsOutcome::Ok: break;
  }
  browse::ReportPlan plan = listingPlan(sp, a.account);
  const browse::CmdrReportTexts texts = browse::CmdrReportTexts::from(*program_.texts);
  struct Nothing : browse::ReportSink {
    void line(const browse::ReportLine&) override {}
  } nothing;
  CallStatistics stats;
  const browse::CmdrReportResult result = browse::buildCmdrReport(lease->main(), plan, texts, nothing, &stats);
  if (!result.error.empty()) {
    lease->broken();
    return unavailable(r, true);
  }
  Response res;
  res.body = pageStart(t, {t.word(Word::Charts), a.account.name, a.admin(), a.session.token, "/charts"});
  res.body += selectionForm(t, sp.given, "/charts");
  auto chart = [&](int title, std::string_view (*label)(int), const std::array<double, CallStatistics::kClasses>& v) {
    std::vector<std::string> labels;
    for (int i = 0; i < CallStatistics::kClasses; ++i) labels.emplace_back(label(i));
    return barChartSvg(t.window(title), labels, std::vector<double>(v.begin(), v.end()));
  };
  res.body += "<p>" + escapeHtml(t.word(Word::Calls)) + ": <span id=\"counted\">" + std::to_string(stats.count) +
              "</span></p>\n<section class=\"charts\" id=\"charts\">" +
              chart(kTextChartTimeOfDay, hourLabel, stats.hours) +
              chart(kTextChartDuration, durationLabel, stats.durations) +
              chart(kTextChartPulses, pulseLabel, stats.pulses) + "</section>\n" + pageEnd();
  return res;
}

Response WebApp::alarms(const Request& r, const Auth& a) {
  if (!a.admin()) return Response::text(403, "Only an administrator sees the alarms.\n");
  const PageTexts t(languageOf(r.header("accept-language")));
  std::string error;
  std::shared_ptr<Lease> lease = pool_.acquire(error);
  if (!lease) return unavailable(r, true);
  std::vector<AlarmRow> rows;
  try {
    rows = newestAlarms(lease->main(), 0);
  } catch (const std::exception&) {
    lease->broken();
    return unavailable(r, true);
  }
  Response res;
  res.body = pageStart(t, {t.word(Word::Alarms), a.account.name, a.admin(), a.session.token, "/alarms"}) +
             alarmTable(t, rows) + pageEnd();
  return res;
}

// ---- Users, voice recordings and the call trace ----

namespace {

bool ownsPort(const Account& a, const std::string& port) {
  if (a.role == Role::Admin) return true;
  const std::string p = corvane::portText8(std::string(corvane::trimBlanks(port)));
  for (const std::string& mine : a.ports)
    if (corvane::portText8(mine) == p) return true;
  return false;
}

std::string linesBlock(const std::vector<std::pair<std::string, std::string>>& lines, corvane::CodePage cp) {
  std::string h = "<pre class=\"listing\" id=\"listing\">";
  for (const auto& [cls, text] : lines)
    h += "<span class=\"" + cls + "\">" + escapeHtml(corvane::toUtf8(text, cp)) + "</span>\n";
  return h + "</pre>\n";
}

}  // namespace

Response WebApp::users(const Request& r, const Auth& a) {
  const PageTexts t(languageOf(r.header("accept-language")));
  const std::string* f = r.queryValue("format");
  if (f && *f != "0" && *f != "1") return badRequest(r, a, "invalid value \"" + *f + "\" for format", true);
  const int format = f ? (*f)[0] - '0' : 0;
  std::string error;
  std::shared_ptr<Lease> lease = pool_.acquire(error);
  if (!lease) return unavailable(r, true);
  const corvane::CodePage cp = program_.texts->codePage();
  std::vector<std::pair<std::string, std::string>> lines;
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  lines.emplace_back("columns", browse::usersHeader1(*program_.texts, tm));
  lines.emplace_back("columns", browse::usersHeader2(*program_.texts, format));
  error = browse::listUsers(lease->main(), 0, [&](const UserRecord& u) {
    if (ownsPort(a.account, u.cport)) lines.emplace_back("record", browse::userLine(u, format));
  });
  if (!error.empty()) {
    lease->broken();
    return unavailable(r, true);
  }
  Response res;
  res.body = pageStart(t, {t.word(Word::Users), a.account.name, a.admin(), a.session.token, "/users"}) +
             linesBlock(lines, cp) + pageEnd();
  return res;
}

Response WebApp::voice(const Request& r, const Auth& a) {
  const PageTexts t(languageOf(r.header("accept-language")));
  std::string error;
  std::shared_ptr<Lease> lease = pool_.acquire(error);
  if (!lease) return unavailable(r, true);
  const corvane::CodePage cp = program_.texts->codePage();
  SelectionParams sp;
  std::string why;
  switch (selectionOf(r, *lease, cp, sp, why)) {
    case ParamsOutcome::Bad: return badRequest(r, a, why, true);
    case ParamsOutcome::DatabaseFailed: lease->broken(); return unavailable(r, true);
    case ParamsOutcome::Ok: break;
  }
  Response res;
  res.body = pageStart(t, {t.window(kTextCaptionVoiceBrowser), a.account.name, a.admin(), a.session.token, "/voice"});
  res.body += selectionForm(t, sp.given, "/voice");
  store::Database* voiceDb = lease->voice();
  if (!voiceDb) {
    res.body += "<p id=\"empty\">" + escapeHtml(t.word(Word::NoRecords)) + "</p>" + pageEnd();
    return res;
  }
  browse::ReportPlan plan = listingPlan(sp, a.account, browse::ListedTable::Voice);
  // At most a few thousand lines on a page: the listing says how many more.
  constexpr int kMaxLines = 5000;
  std::string rows;
  int shown = 0;
  const browse::VoiceListing listing =
      browse::listRecordings(*voiceDb, &lease->main(), plan, *program_.texts,
                             [&](std::string_view text, int32_t kind, int32_t index, int32_t) {
                               if (++shown > kMaxLines) return;
                               const std::string line = escapeHtml(corvane::toUtf8(text, cp));
                               if (kind == browse::kRecordingLineKind)
                                 rows += "<span class=\"record\">" + line + " <a href=\"/recordings/" +
                                         std::to_string(index) + "\">&#9654;</a></span>\n";
                               else
                                 rows += "<span class=\"heading\">" + line + "</span>\n";
                             });
  if (!listing.error.empty()) {
    lease->broken();
    return unavailable(r, true);
  }
  if (listing.recordings == 0) {
    res.body += "<p id=\"empty\">" + escapeHtml(t.word(Word::NoRecords)) + "</p>";
  } else {
    res.body += "<pre class=\"listing\" id=\"listing\"><span class=\"columns\">" +
                escapeHtml(corvane::toUtf8(listing.header1, cp)) + "</span>\n" + rows + "</pre>\n";
    if (shown > kMaxLines) res.body += "<p>" + std::to_string(kMaxLines) + " / " + std::to_string(shown) + "</p>";
  }
  res.body += pageEnd();
  return res;
}

Response WebApp::recording(const Request& r, const Auth& a) {
  const std::string id = r.path.substr(std::string("/recordings/").size());
  if (id.empty() || id.size() > 9 || id.find_first_not_of("0123456789") != std::string::npos)
    return Response::text(404, "Not found.\n");
  std::string error;
  std::shared_ptr<Lease> lease = pool_.acquire(error);
  if (!lease) return unavailable(r, false);
  store::Database* voiceDb = lease->voice();
  if (!voiceDb) return Response::text(404, "Not found.\n");
  store::DrptVset recordings(*voiceDb);
  const std::optional<VoiceRecord> rec = recordings.find(int32_t(std::stol(id)));
  if (!recordings.error().empty()) {
    lease->broken();
    return unavailable(r, false);
  }
  // Another user's recording is as absent as a missing one.
  if (!rec || !ownsPort(a.account, rec->rcdport)) return Response::text(404, "Not found.\n");
  std::string ext = rec->rcdfx;
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (ext != "mp3" && ext != "wav") return Response::text(404, "Not found.\n");
  // Only files below the working directory are served, whatever a row says.
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::weakly_canonical(browse::recordingPath(*rec), ec);
  const std::filesystem::path root = std::filesystem::weakly_canonical(config_.workDir, ec);
  const std::string f = file.string(), base = root.string() + "/";
  if (ec || f.compare(0, base.size(), base) != 0 || !std::filesystem::is_regular_file(file, ec))
    return Response::text(404, "Not found.\n");
  Response res;
  res.contentType = ext == "mp3" ? "audio/mpeg" : "audio/wav";
  res.file = f;
  return res;
}

Response WebApp::trace(const Request& r, const Auth& a) {
  const PageTexts t(languageOf(r.header("accept-language")));
  auto reference = [&](const char* name, std::optional<uint32_t>& out) {
    const std::string* v = r.queryValue(name);
    if (!v || v->empty()) return true;
    if (v->size() > 10 || v->find_first_not_of("0123456789") != std::string::npos || std::stoull(*v) > UINT32_MAX)
      return false;
    out = uint32_t(std::stoull(*v));
    return true;
  };
  std::optional<uint32_t> first, second;
  if (!reference("a", first)) return badRequest(r, a, "invalid value \"" + *r.queryValue("a") + "\" for a", true);
  if (!reference("b", second)) return badRequest(r, a, "invalid value \"" + *r.queryValue("b") + "\" for b", true);
  for (const auto& [name, value] : r.query)
    if (name != "a" && name != "b") return badRequest(r, a, "unknown parameter " + name, true);
  if (!first) return badRequest(r, a, "a= needs a call reference", true);
  std::string error;
  std::shared_ptr<Lease> lease = pool_.acquire(error);
  if (!lease) return unavailable(r, true);
  const corvane::CodePage cp = program_.texts->codePage();
  store::Database& main = lease->main();
  store::Database* voiceDb = lease->voice();
  // A user sees the lines of its own ports' records only.
  store::DrptCset cdata(main);
  std::optional<store::DrptVset> vdata;
  if (voiceDb) vdata.emplace(*voiceDb);
  std::vector<std::pair<std::string, std::string>> lines;
  const browse::TraceListing listing =
      browse::buildTrace(&main, voiceDb, browse::TraceKey{*first, second}, *program_.texts,
                         [&](std::string_view text, int32_t kind, int32_t index, int32_t) {
                           if (kind == browse::kTraceCmdrLineKind) {
                             const std::optional<CmdrRecord> c = cdata.find(index);
                             if (c && ownsPort(a.account, c->cport)) lines.emplace_back("record", std::string(text));
                           } else if (kind == browse::kRecordingLineKind) {
                             const std::optional<VoiceRecord> v = vdata ? vdata->find(index) : std::nullopt;
                             if (v && ownsPort(a.account, v->rcdport)) lines.emplace_back("record", std::string(text));
                           } else {
                             lines.emplace_back("columns", std::string(text));
                           }
                         });
  if (!listing.error.empty()) {
    lease->broken();
    return unavailable(r, true);
  }
  Response res;
  res.body = pageStart(t, {t.window(kTextCaptionCallTrace), a.account.name, a.admin(), a.session.token, "/trace"}) +
             linesBlock(lines, cp) + pageEnd();
  return res;
}

// ---- Request and Response ----

const std::string& Request::header(const std::string& lowerName) const {
  static const std::string none;
  auto it = headers.find(lowerName);
  return it == headers.end() ? none : it->second;
}

const std::string* Request::queryValue(std::string_view name) const {
  for (const auto& [n, v] : query)
    if (n == name) return &v;
  return nullptr;
}

const std::string* Request::formValue(std::string_view name) const {
  for (const auto& [n, v] : form)
    if (n == name) return &v;
  return nullptr;
}

std::string Request::cookie(std::string_view name) const {
  const std::string& h = header("cookie");
  size_t start = 0;
  while (start < h.size()) {
    size_t end = h.find(';', start);
    if (end == std::string::npos) end = h.size();
    std::string_view item(h.data() + start, end - start);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    if (item.size() > name.size() && item.substr(0, name.size()) == name && item[name.size()] == '=')
      return std::string(item.substr(name.size() + 1));
    start = end + 1;
  }
  return {};
}

Response Response::text(int status, std::string body) {
  Response r;
  r.status = status;
  r.contentType = "text/plain; charset=utf-8";
  r.body = std::move(body);
  return r;
}

Response Response::redirect(const std::string& location) {
  Response r;
  r.status = 303;
  r.header("Location", location);
  return r;
}

}  // namespace lumarc::web
