// An HTTP or HTTPS server over cpp-httplib with the limits every server of
// the tool set keeps: a bounded request line (414), bounded headers (431)
// and body (413), read and write time-outs for slow clients, a bounded
// worker pool, the same headers on every answer, error pages included, and
// gzip as the only compression.
// Routes are added on routes(); the caller owns what they do.
#pragma once

#include "common/http/listen_address.h"

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace corvane::http {

struct ServerLimits {
  // The request line: fixed by the library build (CPPHTTPLIB_REQUEST_URI_MAX_LENGTH).
  static constexpr size_t kRequestLine = CPPHTTPLIB_REQUEST_URI_MAX_LENGTH;
  size_t headerBytes = 16 * 1024;  // every header's name and value together
  size_t bodyBytes = 64 * 1024;
  std::chrono::seconds readTimeout{10};
  std::chrono::seconds writeTimeout{30};
  std::chrono::seconds keepAlive{5};
  size_t workers = 64;  // a keep-alive connection holds one while it is open
};

// Certificate and key files (PEM); both empty: plain HTTP.
struct TlsFiles {
  std::string certificate, key;
  bool given() const { return !certificate.empty() || !key.empty(); }
};

class Server {
 public:
  // headers: sent with every answer.
  Server(const ServerLimits& limits, const TlsFiles& tls, std::vector<std::pair<std::string, std::string>> headers);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // False when the certificate or key could not be loaded.
  bool valid() const;
  bool tls() const { return tls_; }
  httplib::Server& routes() { return *server_; }

  // Binds host:port (port 0: a free one). The port bound, or -1 with the
  // reason in error.
  int bind(const std::string& host, int port, std::string& error);
  // Serves until stop(); false when the server could not run.
  bool run();
  // Ends run() from any thread, after the answers under way.
  void stop();

 private:
  std::unique_ptr<httplib::Server> server_;
  bool tls_ = false;
};

// The reason phrase of the error statuses the servers answer with.
const char* statusText(int status);

}  // namespace corvane::http
