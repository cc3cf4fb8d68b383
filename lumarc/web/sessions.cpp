#include "lumarc/web/sessions.h"

#include <sodium.h>

#include <algorithm>

namespace lumarc::web {

std::string randomToken() {
  static const bool ready = sodium_init() >= 0;
  (void)ready;
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  char hex[65];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  return hex;
}

bool sameToken(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

WebSession SessionTable::open(const std::string& name, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  expire(now);
  if (sessions_.size() >= kMaxSessions) {
    // The longest idle goes first.
    auto oldest = std::min_element(sessions_.begin(), sessions_.end(),
                                   [](const auto& a, const auto& b) { return a.second.lastSeen < b.second.lastSeen; });
    sessions_.erase(oldest);
  }
  WebSession s{randomToken(), name, randomToken(), now};
  sessions_[s.id] = s;
  return s;
}

std::optional<WebSession> SessionTable::find(const std::string& id, Clock::time_point now) {
  if (id.size() != 64) return std::nullopt;
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return std::nullopt;
  if (now - it->second.lastSeen > kIdle) {
    sessions_.erase(it);
    return std::nullopt;
  }
  it->second.lastSeen = now;
  return it->second;
}

void SessionTable::close(const std::string& id) {
  std::lock_guard lock(mutex_);
  sessions_.erase(id);
}

void SessionTable::expire(Clock::time_point now) {
  for (auto it = sessions_.begin(); it != sessions_.end();)
    it = now - it->second.lastSeen > kIdle ? sessions_.erase(it) : std::next(it);
}

std::chrono::seconds LoginThrottle::waitOf(std::map<std::string, Count>& m, const std::string& key,
                                           Clock::time_point now) {
  auto it = m.find(key);
  if (it == m.end()) return std::chrono::seconds(0);
  if (now - it->second.last > kWindow) {
    m.erase(it);
    return std::chrono::seconds(0);
  }
  if (it->second.until <= now) return std::chrono::seconds(0);
  return std::chrono::duration_cast<std::chrono::seconds>(it->second.until - now) + std::chrono::seconds(1);
}

void LoginThrottle::count(std::map<std::string, Count>& m, const std::string& key, Clock::time_point now) {
  Count& c = m[key];
  if (c.failures > 0 && now - c.last > kWindow) c = Count{};
  ++c.failures;
  c.last = now;
  if (c.failures >= kFreeTries) {
    // 2 s after the fifth failure, doubling up to 5 minutes.
    const int over = std::min(c.failures - kFreeTries, 8);
    c.until = now + std::min<std::chrono::seconds>(std::chrono::seconds(2 << over), std::chrono::seconds(300));
  }
  if (m.size() > 100000) m.clear();  // a flood of names: start over rather than grow
}

std::chrono::seconds LoginThrottle::wait(const std::string& name, const std::string& address, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  return std::max(waitOf(names_, name, now), waitOf(addresses_, address, now));
}

void LoginThrottle::failed(const std::string& name, const std::string& address, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  count(names_, name, now);
  count(addresses_, address, now);
}

void LoginThrottle::succeeded(const std::string& name, const std::string& address) {
  std::lock_guard lock(mutex_);
  names_.erase(name);
  addresses_.erase(address);
}

}  // namespace lumarc::web
