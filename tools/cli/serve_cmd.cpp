// lumarc-cli serve: the call record reports for a web browser. The pages,
// logins and exports are the web engine's (lumarc/web/web_app.h); this file
// starts it on the common HTTP server (limits, time-outs, the security
// headers on every answer) through the engine's HTTP edge
// (lumarc/web/net/http_edge.h). With --config it reads the service's file
// (/etc/lumarc/web.conf); under systemd it reports readiness.
#include "tools/cli/command.h"
#include "tools/cli/service_notify.h"

#include "common/files.h"
#include "common/http/http_server.h"
#include "lumarc/web/net/http_edge.h"
#include "lumarc/web/serve_config.h"
#include "lumarc/web/web_app.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

namespace lumarc::cli {

namespace {

struct ServeArgs {
  std::string config, listen, accounts, tlsCert, tlsKey;
};

bool readConfig(const std::string& path, web::ServeConfig& config) {
  const std::optional<std::string> text = corvane::readFileBytes(path);
  if (!text) {
    std::fprintf(stderr, "lumarc-cli serve: cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<web::ServeConfigProblem> problems = web::parseServeConfig(*text, config);
  for (const web::ServeConfigProblem& p : problems)
    std::fprintf(stderr, "lumarc-cli serve: %s:%u: %s\n", path.c_str(), p.line, p.message.c_str());
  return problems.empty();
}

int serve(Options opt, const CLI::App& parser, ServeArgs a) {
  if (!a.config.empty()) {
    web::ServeConfig c;
    if (!readConfig(a.config, c)) return 2;
    if (c.dir && !opt.workDirGiven) opt.workDir = *c.dir;
    if (c.db && !opt.dbGiven) opt.db = *c.db;
    if (c.listen && parser.count("--listen") == 0) a.listen = *c.listen;
    if (c.accounts && parser.count("--accounts") == 0) a.accounts = *c.accounts;
    if (c.tlsCert && parser.count("--tls-cert") == 0) a.tlsCert = *c.tlsCert;
    if (c.tlsKey && parser.count("--tls-key") == 0) a.tlsKey = *c.tlsKey;
  }
  std::string host;
  int port = 0;
  if (!corvane::http::splitListenAddress(a.listen, host, port))
    return corvane::tools::usageError(parser, "invalid value \"" + a.listen + "\" for --listen (ADDRESS:PORT)");
  if (a.tlsCert.empty() != a.tlsKey.empty())
    return corvane::tools::usageError(parser, "--tls-cert and --tls-key go together");
  if (a.accounts.empty()) a.accounts = corvane::joinPath(opt.workDir, "web-accounts");

  // The signals are taken by a thread of their own: block them before the
  // server's workers start, so that they inherit the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  web::WebConfig config;
  config.workDir = opt.workDir;
  config.connection = opt.db;
  config.voiceConnection = opt.voiceDb;
  config.accountsPath = a.accounts;
  web::WebApp app(config);

  corvane::http::ServerLimits limits;
  corvane::http::Server server(limits, {a.tlsCert, a.tlsKey}, web::securityHeaders());
  if (!server.valid()) {
    std::fprintf(stderr, "lumarc-cli serve: the certificate %s or key %s cannot be used\n", a.tlsCert.c_str(),
                 a.tlsKey.c_str());
    return 1;
  }
  const bool tls = server.tls();
  web::net::serveWebApp(server, app);

  std::string error;
  const int bound = server.bind(host, port, error);
  if (bound < 0) {
    std::fprintf(stderr, "lumarc-cli serve: cannot listen on %s (%s)\n", a.listen.c_str(), error.c_str());
    return 1;
  }
  if (!tls && !corvane::http::isLoopbackHost(host))
    std::fprintf(stderr,
                 "lumarc-cli serve: warning: listening on %s without TLS: passwords and call records cross the "
                 "network in clear; give --tls-cert and --tls-key, or serve behind a reverse proxy with HTTPS\n",
                 host.c_str());
  struct stat st {};
  if (::stat(a.accounts.c_str(), &st) != 0)
    std::fprintf(stderr,
                 "lumarc-cli serve: no accounts yet in %s (add one: lumarc-cli web-user add NAME --role admin)\n",
                 a.accounts.c_str());
  const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  std::printf("lumarc-cli serve: listening on %s://%s:%d\n", tls ? "https" : "http", shown.c_str(), bound);
  std::fflush(stdout);

  std::thread signals([&server, stopSignals] {
    int sig = 0;
    sigwait(&stopSignals, &sig);
    server.stop();
  });
  signals.detach();
  std::unique_ptr<ServiceNotifier> notifier = systemdNotifier();
  notifier->ready();
  server.run();
  notifier->stopping();
  return 0;
}

Runner define(CLI::App& parser) {
  auto a = std::make_shared<ServeArgs>();
  a->listen = "127.0.0.1:8080";
  parser.add_option("--config", a->config, "read listen, db, dir, accounts, tls_cert and tls_key from FILE")
      ->type_name("FILE");
  parser.add_option("--listen", a->listen, "the address and port to serve on (default 127.0.0.1:8080)")
      ->type_name("ADDRESS:PORT");
  parser.add_option("--accounts", a->accounts, "the accounts file (default: web-accounts in the working directory)")
      ->type_name("FILE");
  parser.add_option("--tls-cert", a->tlsCert, "serve HTTPS with this certificate (PEM)")->type_name("FILE");
  parser.add_option("--tls-key", a->tlsKey, "the certificate's private key (PEM)")->type_name("FILE");
  return [&parser, a](const Options& opt) { return serve(opt, parser, *a); };
}

Register serveReg({"serve", "the call record reports for web browsers (HTTP or HTTPS)", define});

}  // namespace

}  // namespace lumarc::cli
