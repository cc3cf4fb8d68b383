#include "common/http/http_server.h"

#include <cerrno>
#include <cstring>

namespace corvane::http {

namespace {

size_t headerSize(const httplib::Headers& headers) {
  size_t n = 0;
  for (const auto& [name, value] : headers) n += name.size() + value.size() + 4;
  return n;
}

}  // namespace

const char* statusText(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

Server::Server(const ServerLimits& limits, const TlsFiles& tls,
               std::vector<std::pair<std::string, std::string>> headers) {
  if (tls.given()) {
    server_ = std::make_unique<httplib::SSLServer>(tls.certificate.c_str(), tls.key.c_str());
    tls_ = true;
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  httplib::Server& s = *server_;
  const size_t workers = limits.workers == 0 ? 1 : limits.workers;
  s.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  s.set_read_timeout(limits.readTimeout.count(), 0);
  s.set_write_timeout(limits.writeTimeout.count(), 0);
  s.set_keep_alive_timeout(limits.keepAlive.count());
  s.set_keep_alive_max_count(100);
  s.set_payload_max_length(limits.bodyBytes);
  httplib::Headers defaults;
  for (auto& [name, value] : headers) defaults.emplace(std::move(name), std::move(value));
  s.set_default_headers(defaults);
  const size_t headerBytes = limits.headerBytes;
  s.set_pre_routing_handler([headerBytes](const httplib::Request& req, httplib::Response& res) {
    if (headerSize(req.headers) > headerBytes) {
      res.status = 431;
      res.set_header("Connection", "close");
      return httplib::Server::HandlerResponse::Handled;
    }
    // Answers are compressed with gzip at most: the library's Brotli runs
    // at its slowest quality, which a long export cannot afford. The
    // request is the library's own (non-const) object, handed over const.
    auto& headers = const_cast<httplib::Request&>(req).headers;
    auto accept = headers.find("Accept-Encoding");
    if (accept != headers.end()) {
      const bool gzip = accept->second.find("gzip") != std::string::npos;
      headers.erase(accept);
      if (gzip) headers.emplace("Accept-Encoding", "gzip");
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // A bare status line for errors the routes did not answer themselves.
  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty() || res.content_provider_) return;
    res.set_content(std::to_string(res.status) + " " + statusText(res.status) + "\n", "text/plain; charset=utf-8");
  });
  s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    res.status = 500;
    res.set_content("500 Internal Server Error\n", "text/plain; charset=utf-8");
  });
}

Server::~Server() {
  if (server_ && server_->is_running()) server_->stop();
}

bool Server::valid() const { return server_->is_valid(); }

int Server::bind(const std::string& host, int port, std::string& error) {
  errno = 0;
  int bound = -1;
  if (port == 0) {
    bound = server_->bind_to_any_port(host);
  } else if (server_->bind_to_port(host, port)) {
    bound = port;
  }
  if (bound <= 0) {
    error = errno ? std::strerror(errno) : "cannot bind";
    return -1;
  }
  return bound;
}

bool Server::run() { return server_->listen_after_bind(); }

void Server::stop() { server_->stop(); }

}  // namespace corvane::http
