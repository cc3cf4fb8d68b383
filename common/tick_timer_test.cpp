#include "common/tick_timer.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

namespace corvane {
namespace {

static_assert(std::is_trivially_copyable_v<TickTimer>);
static_assert(TickTimer::seconds(10).limit() == 100);
static_assert(TickTimer::ticks(7).limit() == 7);
static_assert([] {
  TickTimer t = TickTimer::ticks(2);
  t.tick();
  t.tick();
  return t.expired() && !t.exceeded();
}());

TEST(TickTimer, ExpiresOnReachingTheLimitAndIsExceededOneTickLater) {
  TickTimer t = TickTimer::seconds(10);
  for (int i = 0; i < 99; ++i) t.tick();
  EXPECT_FALSE(t.expired());
  t.tick();
  EXPECT_EQ(t.count(), 100u);
  EXPECT_TRUE(t.expired());
  EXPECT_FALSE(t.exceeded());
  t.tick();
  EXPECT_TRUE(t.exceeded());
}

TEST(TickTimer, ZeroLimitHasExpiredAtOnce) {
  TickTimer t = TickTimer::ticks(0);
  EXPECT_TRUE(t.expired());
  EXPECT_FALSE(t.exceeded());
  TickTimer unset;
  EXPECT_TRUE(unset.expired());
}

TEST(TickTimer, RestartCountsAgainKeepingTheLimit) {
  TickTimer t = TickTimer::seconds(1);
  for (int i = 0; i < 15; ++i) t.tick();
  ASSERT_TRUE(t.exceeded());
  t.restart();
  EXPECT_EQ(t.count(), 0u);
  EXPECT_EQ(t.limit(), 10u);
  EXPECT_FALSE(t.expired());
  t.restart(1);
  EXPECT_EQ(t.count(), 1u);
  for (int i = 0; i < 9; ++i) t.tick();
  EXPECT_TRUE(t.expired());
}

TEST(TickTimer, RoundTicksRepeatEveryLimit) {
  TickTimer t = TickTimer::seconds(4);
  std::vector<unsigned> at;
  for (int i = 0; i < 130; ++i) {
    t.tick();
    if (t.atRoundTick(1)) at.push_back(t.count());
  }
  EXPECT_EQ(at, (std::vector<unsigned>{1, 41, 81, 121}));
  t.restart();
  EXPECT_TRUE(t.atRoundTick(0));
}

TEST(TickTimer, NewLimitKeepsTheCount) {
  TickTimer t = TickTimer::ticks(50);
  for (int i = 0; i < 60; ++i) t.tick();
  EXPECT_TRUE(t.expired());
  t.setLimit(100);
  EXPECT_EQ(t.count(), 60u);
  EXPECT_FALSE(t.expired());
}

}  // namespace
}  // namespace corvane
