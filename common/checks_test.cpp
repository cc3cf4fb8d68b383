#include "common/checks.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

TEST(FrameCheck, RunningCheckModulo251) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  // A: 1+97=98, 98+98=196, 196+99=295%256=39 -> B: 98, 294%256=38, 77
  EXPECT_EQ(frameCheck16(abc, 3), uint16_t(77 << 8 | 39));
  EXPECT_EQ(frameCheck16(nullptr, 0), uint16_t(0x0001));
}

TEST(FrameCheck, BothZeroBecomesAllOnes) {
  // Find a byte string whose running check ends at A = 0 and B = 0.
  std::vector<uint8_t> data{250};  // A = (1+250) % 251 = 0, B = 0
  EXPECT_EQ(frameCheck16(data.data(), data.size()), 0xFFFF);
}

TEST(FrameCheck, ByteSumsWrapAsStated) {
  std::vector<uint8_t> data(300, 0xFF);
  EXPECT_EQ(byteSum16(data.data(), data.size()), uint16_t(300 * 255));
  EXPECT_EQ(byteSum14(data.data(), data.size()), uint16_t((300 * 255) & 0x3FFF));
  EXPECT_EQ(byteSum14(data.data(), 1, 0x3FFF), uint16_t((0x3FFF + 255) & 0x3FFF));
}

}  // namespace
}  // namespace corvane
