#include "common/fault_seam.h"

#include <atomic>
#include <mutex>

namespace corvane::fault {
namespace {

struct Plan {
  bool armed = false;
  int64_t from = 0;    // first failing operation (1-based count)
  int64_t times = 0;   // < 0: no end
  uint32_t oneIn = 0;  // random mode when non-zero
  uint32_t state = 0;
  Injected what;
  uint64_t seen = 0;
};

std::atomic<bool> g_any{false};
std::mutex g_mutex;
Plan g_plans[3];

Plan& planOf(Point p) { return g_plans[static_cast<int>(p)]; }

}  // namespace

void arm(Point point, int nth, Injected what, int times) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Plan& p = planOf(point);
  p = Plan{};
  p.armed = true;
  p.from = nth < 1 ? 1 : nth;
  p.times = times;
  p.what = std::move(what);
  g_any.store(true, std::memory_order_release);
}

void armRandom(Point point, uint32_t oneIn, uint32_t seed, Injected what) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Plan& p = planOf(point);
  p = Plan{};
  p.armed = true;
  p.oneIn = oneIn ? oneIn : 1;
  p.state = seed ? seed : 1;
  p.what = std::move(what);
  g_any.store(true, std::memory_order_release);
}

void disarm() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (Plan& p : g_plans) p = Plan{};
  g_any.store(false, std::memory_order_release);
}

uint64_t seen(Point point) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return planOf(point).seen;
}

std::optional<Injected> hit(Point point, std::string_view text) {
  if (!g_any.load(std::memory_order_acquire)) return std::nullopt;
  std::lock_guard<std::mutex> lock(g_mutex);
  Plan& p = planOf(point);
  if (!p.armed) return std::nullopt;
  if (!p.what.only.empty() && text.find(p.what.only) == std::string_view::npos) return std::nullopt;
  const int64_t n = static_cast<int64_t>(++p.seen);
  if (p.oneIn) {
    // xorshift32: repeatable for a given seed.
    p.state ^= p.state << 13;
    p.state ^= p.state >> 17;
    p.state ^= p.state << 5;
    if (p.state % p.oneIn == 0) return p.what;
    return std::nullopt;
  }
  if (n < p.from) return std::nullopt;
  if (p.times >= 0 && n >= p.from + p.times) return std::nullopt;
  return p.what;
}

}  // namespace corvane::fault
