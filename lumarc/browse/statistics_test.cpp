// The call statistics the charts draw: which class a call lands in and which
// calls are left out.
#include "lumarc/browse/statistics.h"

#include "lumarc/records/records.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

CmdrRecord call(int hour, uint32_t seconds, uint32_t rpuls, uint32_t ppuls) {
  CmdrRecord r;
  r.type = "A";
  r.tdate = DateTime{2024, 3, 17, hour, 5, 0};  // a Sunday
  r.duration = seconds;
  r.rpuls = rpuls;
  r.ppuls = ppuls;
  return r;
}

TEST(ChartClasses, CallsAtTheClassBoundsLandInTheLabelledBar) {
  struct Case {
    uint32_t seconds;
    std::string_view label;
  };
  // clang-format off
  const Case cases[] = {{0, "5s"}, {5, "5s"}, {6, "10s"}, {50, "50"}, {120, "2m"}, {121, "3m"},
                        {600, "10m"}, {601, "15m"}, {1200, "20m"}, {1201, ">20m"}, {0xFFFFFFFFu, ">20m"}};
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(durationLabel(durationClass(c.seconds)), c.label) << c.seconds;
  EXPECT_EQ(pulseLabel(pulseClass(20 + 5)), ">22");
  EXPECT_EQ(pulseLabel(pulseClass(22)), "22");
}

TEST(ChartStatistics, CmdrRecordIsCountedInEveryDistribution) {
  CallStatistics s;
  EXPECT_TRUE(s.add(call(23, 121, 20, 5)));
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(s.hours[23], 1);
  EXPECT_EQ(s.durations[durationClass(121)], 1);
  EXPECT_EQ(s.pulses[23], 1);
  EXPECT_EQ(s.weekDays[0], 1);  // Sunday first
  s.clear();
  EXPECT_EQ(s.count, 0);
  EXPECT_EQ(s.hours[23], 0);
}

TEST(ChartStatistics, RecordsOutsideTheArraysAreSkippedNotWrittenPastThem) {
  CallStatistics s;
  CmdrRecord noDate = call(10, 30, 0, 0);
  noDate.tdate = DateTime{};
  EXPECT_FALSE(s.add(noDate));
  EXPECT_FALSE(s.add(call(24, 30, 0, 0)));
  EXPECT_FALSE(s.add(call(-1, 30, 0, 0)));
  VoiceRecord bad;
  bad.rcdtime = 0x250000;  // hour 25
  EXPECT_FALSE(s.add(bad));
  VoiceRecord broken;
  broken.rcdtime = 0x1F0000;  // not a BCD hour: 1 x 10 + 15
  EXPECT_FALSE(s.add(broken));
  EXPECT_EQ(s.count, 0);
  for (double h : s.hours) EXPECT_EQ(h, 0);
}

TEST(ChartStatistics, VoiceHourComesFromTheBcdTime) {
  CallStatistics s;
  VoiceRecord r;
  r.rcdtime = 0x173005;  // 17:30:05
  r.duration = 7;
  EXPECT_TRUE(s.add(r));
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(s.hours[17], 1);
  EXPECT_EQ(s.durations[1], 1);
  EXPECT_EQ(s.pulses[0], 0);  // recordings have no pulses
}

}  // namespace
}  // namespace lumarc
