#include "tools/cli/service_notify.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace lumarc::cli {

namespace {

class SystemdNotifier : public ServiceNotifier {
 public:
  SystemdNotifier() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0) interval_ = std::chrono::microseconds(usec / 2);
  }
  void ready() override { sd_notify(0, "READY=1"); }
  void alive() override { sd_notify(0, "WATCHDOG=1"); }
  void stopping() override { sd_notify(0, "STOPPING=1"); }
  std::chrono::microseconds aliveInterval() const override { return interval_; }

 private:
  std::chrono::microseconds interval_{0};
};

}  // namespace

std::unique_ptr<ServiceNotifier> systemdNotifier() { return std::make_unique<SystemdNotifier>(); }

void AliveTicker::tick() {
  const std::chrono::microseconds interval = notifier_.aliveInterval();
  if (interval.count() <= 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (started_ && now - last_ < interval) return;
  started_ = true;
  last_ = now;
  notifier_.alive();
}

}  // namespace lumarc::cli
