// The 100 ms tick of the management program: registered steps run in a
// fixed order (CMDR links, monitor links, voice links, views, discovery).
#pragma once

#include <functional>
#include <vector>

namespace lumarc {

enum class TickStep : int { Cmdr = 0, Monitor = 1, Voice = 2, Views = 3, Discovery = 4, WebProgress = 5 };

class TickScheduler {
 public:
  // Adds a step; steps of the same kind run in the order they were added.
  void add(TickStep step, std::function<void()> fn);
  // Runs every step once, in step order.
  void tick();
  unsigned long long ticks() const { return ticks_; }

 private:
  struct Entry {
    TickStep step;
    std::function<void()> fn;
  };
  std::vector<Entry> entries_;
  unsigned long long ticks_ = 0;
};

}  // namespace lumarc
