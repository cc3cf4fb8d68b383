// The HTTP side of lumarc-cli collect --metrics: /metrics served by
// cpp-httplib on a thread of its own, answering with the last text the
// collector handed over (the collector makes it on its event thread from
// the health snapshot). Nothing of the collector is read from the server's
// thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace lumarc::cli {

// "HOST:PORT", "[V6]:PORT", ":PORT" or "PORT"; the host defaults to
// 127.0.0.1. False with the reason when it is not one of those.
bool parseListenAddress(const std::string& text, std::string& host, int& port, std::string& error);
// Whether a listening host is only reachable from this machine.
bool isLoopbackHost(const std::string& host);

class MetricsServer {
 public:
  MetricsServer();
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  // Binds and starts serving; false with the reason. port 0: any free port.
  bool start(const std::string& host, int port, std::string& error);
  // The port it listens on.
  int port() const { return port_; }
  // The text /metrics answers with from now on.
  void publish(std::string text);
  void stop();

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::mutex mutex_;
  std::string text_;
  int port_ = 0;
};

}  // namespace lumarc::cli
