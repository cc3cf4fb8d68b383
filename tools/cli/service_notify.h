// What lumarc-cli collect tells a service manager: that it is ready once
// its links are open, that its tick is alive (the watchdog), and that it is
// stopping. The collect loop knows only this interface; the systemd one
// speaks through libsystemd's sd_notify and does nothing when the program
// does not run under systemd.
#pragma once

#include <chrono>
#include <memory>

namespace lumarc::cli {

class ServiceNotifier {
 public:
  virtual ~ServiceNotifier() = default;
  // The links are open: the service is up.
  virtual void ready() = 0;
  // One sign of life; call it from the tick only, so that a stalled tick
  // stops the signs and the manager restarts the service.
  virtual void alive() = 0;
  // The service is shutting down.
  virtual void stopping() = 0;
  // How often alive() is due; zero when no watchdog is running.
  virtual std::chrono::microseconds aliveInterval() const = 0;
};

// The systemd notifier: READY=1, WATCHDOG=1 and STOPPING=1 on the
// NOTIFY_SOCKET systemd hands over; signs of life at half the watchdog's
// time-out when the unit has one (WatchdogSec=).
std::unique_ptr<ServiceNotifier> systemdNotifier();

// Calls alive() from a tick when its interval has passed since the last call.
class AliveTicker {
 public:
  explicit AliveTicker(ServiceNotifier& notifier) : notifier_(notifier) {}
  void tick();

 private:
  ServiceNotifier& notifier_;
  std::chrono::steady_clock::time_point last_{};
  bool started_ = false;
};

}  // namespace lumarc::cli
