// Logged-in sessions and the login throttle. A session is a random id
// (libsodium) in a cookie, with the account's name and a token that every
// form changing state carries back. Sessions end after idling too long or
// at logout; the account is looked up again on every request, so a removed
// account or a changed role takes effect at once. The throttle counts
// failed logins per name and per address and refuses further tries for a
// while after too many. Times are handed in, so both are plain state.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace lumarc::web {

using Clock = std::chrono::steady_clock;

// 32 random bytes as 64 hex digits.
std::string randomToken();
// Compares in time independent of where the texts differ.
bool sameToken(const std::string& a, const std::string& b);

struct WebSession {
  std::string id, name, token;
  Clock::time_point lastSeen;
};

class SessionTable {
 public:
  static constexpr std::chrono::minutes kIdle{60};
  static constexpr size_t kMaxSessions = 10000;

  WebSession open(const std::string& name, Clock::time_point now);
  // The session of an id, its idle time renewed; nothing when unknown or
  // idle too long.
  std::optional<WebSession> find(const std::string& id, Clock::time_point now);
  void close(const std::string& id);

 private:
  void expire(Clock::time_point now);
  std::mutex mutex_;
  std::map<std::string, WebSession> sessions_;
};

class LoginThrottle {
 public:
  static constexpr int kFreeTries = 5;  // failed logins before the wait starts
  static constexpr std::chrono::seconds kWindow{15 * 60};

  // How long a login for this name from this address must still wait
  // (zero: it may try now).
  std::chrono::seconds wait(const std::string& name, const std::string& address, Clock::time_point now);
  void failed(const std::string& name, const std::string& address, Clock::time_point now);
  // A good login clears its name's and address's count.
  void succeeded(const std::string& name, const std::string& address);

 private:
  struct Count {
    int failures = 0;
    Clock::time_point last, until;
  };
  std::chrono::seconds waitOf(std::map<std::string, Count>& m, const std::string& key, Clock::time_point now);
  void count(std::map<std::string, Count>& m, const std::string& key, Clock::time_point now);
  std::mutex mutex_;
  std::map<std::string, Count> names_, addresses_;
};

}  // namespace lumarc::web
