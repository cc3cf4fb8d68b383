// The web front end: logins, sessions and the pages and exports of the
// call records, answered from a Request without any network of its own
// (the HTTP edge is the adapter in tools/cli/serve_cmd.cpp). The listings
// are the report engine's: the report plan of a selection, buildCmdrPage
// for the pages and buildCmdrReport's lines for the exports, so a page, a
// file and `lumarc-cli report` agree line for line. It never writes records.
//
// Who sees what: every page but /login, /healthz and /static/ needs a
// session (pages redirect to /login; exports and recordings answer 401);
// a "user" account sees only the calls of its ports, in every listing,
// export, chart and trace; an "admin" sees everything and the alarms.
#pragma once

#include "lumarc/app/session.h"
#include "lumarc/web/accounts.h"
#include "lumarc/web/database_pool.h"
#include "lumarc/web/exchange.h"
#include "lumarc/web/sessions.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace lumarc::browse {
struct CmdrPageCursor;
}

namespace lumarc::web {

struct WebConfig {
  std::string workDir;
  std::string connection;       // ODBC connection of the main database; empty: the embedded file
  std::string voiceConnection;  // the voice table's; empty: as the main one's rule
  std::string accountsPath;
  size_t connections = 16;  // connections kept open between requests
};

// The headers every answer carries, error pages included.
std::vector<std::pair<std::string, std::string>> securityHeaders();

class WebApp {
 public:
  explicit WebApp(const WebConfig& config);
  ~WebApp();

  Response handle(const Request& request);

  // Lines of a listing page.
  static constexpr int kPageLines = 100;

 private:
  struct Auth {
    WebSession session;
    Account account;
    bool admin() const { return account.role == Role::Admin; }
  };
  struct Context;

  Response health();
  Response loginPage(const Request& r, const std::string& message, int status = 200);
  Response login(const Request& r);
  Response logout(const Request& r, const Auth& a);
  Response records(const Request& r, const Auth& a);
  Response recordsExport(const Request& r, const Auth& a, const std::string& kind);
  Response dashboard(const Request& r, const Auth& a);
  Response charts(const Request& r, const Auth& a);
  Response alarms(const Request& r, const Auth& a);
  Response users(const Request& r, const Auth& a);
  Response voice(const Request& r, const Auth& a);
  Response recording(const Request& r, const Auth& a);
  Response trace(const Request& r, const Auth& a);
  Response unavailable(const Request& r, bool page);
  Response badRequest(const Request& r, const Auth& a, const std::string& why, bool page);

  WebConfig config_;
  lumarc::Session program_;  // the working directory's settings: the report's language and code page
  AccountFile accounts_;
  SessionTable sessions_;
  LoginThrottle throttle_;
  DatabasePool pool_;
  // The cursors of the listing pages shown, per session and selection, so
  // that the next page resumes where the last one ended.
  struct CursorCache;
  std::unique_ptr<CursorCache> cursors_;
  // The overview's figures per account kind, a few seconds at most old.
  struct Overview;
  struct OverviewCache;
  std::unique_ptr<OverviewCache> overviews_;
};

}  // namespace lumarc::web
