// A count of 100 ms ticks against a limit: the engines' time-outs, waits and
// repeats. Plain value, no clock of its own: its owner calls tick() once per
// tick and restart() when the awaited thing happens.
#pragma once

namespace corvane {

class TickTimer {
 public:
  // Ticks in one second.
  static constexpr unsigned kTicksPerSecond = 10;

  constexpr TickTimer() = default;
  // A timer whose limit is the given number of ticks.
  static constexpr TickTimer ticks(unsigned limit) { return TickTimer(limit); }
  // A timer whose limit is the given number of seconds.
  static constexpr TickTimer seconds(unsigned s) { return TickTimer(s * kTicksPerSecond); }

  // One tick more.
  constexpr void tick() { ++count_; }
  // The count has reached the limit.
  constexpr bool expired() const { return count_ >= limit_; }
  // The count has gone past the limit: one tick after expired().
  constexpr bool exceeded() const { return count_ > limit_; }
  // For a timer that repeats every `limit` ticks: the count stands `offset`
  // ticks into one of its rounds (count % limit == offset). The limit must
  // not be 0.
  constexpr bool atRoundTick(unsigned offset) const { return count_ % limit_ == offset; }
  // Counts again from 0, or from `from` (an event that counts as a tick
  // already taken).
  constexpr void restart(unsigned from = 0) { count_ = from; }
  // A new limit; the count goes on.
  constexpr void setLimit(unsigned limit) { limit_ = limit; }

  // Ticks since the last restart.
  constexpr unsigned count() const { return count_; }
  // The limit in ticks.
  constexpr unsigned limit() const { return limit_; }

 private:
  constexpr explicit TickTimer(unsigned limit) : limit_(limit) {}

  unsigned limit_ = 0;
  unsigned count_ = 0;
};

}  // namespace corvane
