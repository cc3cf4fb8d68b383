#include "tools/cli/metrics_server.h"

#include <httplib.h>

#include <arpa/inet.h>

#include <chrono>

namespace lumarc::cli {

bool parseListenAddress(const std::string& text, std::string& host, int& port, std::string& error) {
  std::string portText = text;
  host = "127.0.0.1";
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find("]:");
    if (close == std::string::npos) {
      error = "\"" + text + "\" is not [ADDRESS]:PORT";
      return false;
    }
    host = text.substr(1, close - 1);
    portText = text.substr(close + 2);
  } else if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
    if (colon > 0) host = text.substr(0, colon);
    portText = text.substr(colon + 1);
  }
  if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(portText) > 65535) {
    error = "\"" + text + "\" has no port from 0 to 65535";
    return false;
  }
  port = std::stoi(portText);
  return true;
}

bool isLoopbackHost(const std::string& host) {
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return host == "localhost";
}

MetricsServer::MetricsServer() : server_(std::make_unique<httplib::Server>()) {
  server_->Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
    std::string text;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      text = text_;
    }
    res.set_content(text, "text/plain; version=0.0.4; charset=utf-8");
  });
  server_->new_task_queue = [] { return new httplib::ThreadPool(2); };
}

MetricsServer::~MetricsServer() { stop(); }

bool MetricsServer::start(const std::string& host, int port, std::string& error) {
  if (port == 0) {
    port_ = server_->bind_to_any_port(host);
    if (port_ < 0) port_ = 0;
  } else if (server_->bind_to_port(host, port)) {
    port_ = port;
  }
  if (port_ <= 0) {
    error = "cannot listen on " + host + ":" + std::to_string(port);
    return false;
  }
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // Serving before this returns, so that stop() always finds it running.
  for (int i = 0; i < 500 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return true;
}

void MetricsServer::publish(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ = std::move(text);
}

void MetricsServer::stop() {
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

}  // namespace lumarc::cli
