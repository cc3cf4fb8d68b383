#include "lumarc/app/tick.h"

#include <gtest/gtest.h>

#include <string>

namespace lumarc {
namespace {

TEST(Tick, StepsRunInTheirFixedOrderWhateverTheOrderAdded) {
  TickScheduler t;
  std::string order;
  t.add(TickStep::Views, [&] { order += "w"; });
  t.add(TickStep::Voice, [&] { order += "v"; });
  t.add(TickStep::Cmdr, [&] { order += "c"; });
  t.add(TickStep::Monitor, [&] { order += "m"; });
  t.add(TickStep::Cmdr, [&] { order += "C"; });
  t.tick();
  EXPECT_EQ(order, "cCmvw");
  EXPECT_EQ(t.ticks(), 1u);
}

}  // namespace
}  // namespace lumarc
