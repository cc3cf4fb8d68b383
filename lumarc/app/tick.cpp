#include "lumarc/app/tick.h"

#include <algorithm>

namespace lumarc {

void TickScheduler::add(TickStep step, std::function<void()> fn) {
  auto pos = std::upper_bound(entries_.begin(), entries_.end(), step,
                              [](TickStep s, const Entry& e) { return int(s) < int(e.step); });
  entries_.insert(pos, Entry{step, std::move(fn)});
}

void TickScheduler::tick() {
  ++ticks_;
  for (auto& e : entries_) e.fn();
}

}  // namespace lumarc
