#include "lumarc/discovery/wizard_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace lumarc {
namespace {

const ExchangeIdentity kTo{0xC0A8010A, {0, 0x1A, 0x2B, 0x3C, 0x4D, 1}};

// The local time of a fixed instant under a TZ value.
std::tm localUnder(const char* tz, std::time_t t) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", tz, 1);
  ::tzset();
  std::tm local{};
  localtime_r(&t, &local);
  if (old)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
  return local;
}

TEST(SaveIpCommand, TimeZoneByteIsTheStandardOffsetWestAndDstIsApart) {
  constexpr std::time_t kJuly = 1783000000;     // 2026-07-02 UTC
  constexpr std::time_t kJanuary = 1768000000;  // 2026-01-09 UTC
  struct Case {
    const char* tz;
    std::time_t when;
    int8_t zone;
    uint8_t dst;
  } cases[] = {
      {"UTC0", kJuly, 0, 0},
      {"EST5EDT,M3.2.0,M11.1.0", kJuly, 5, 1},
      {"EST5EDT,M3.2.0,M11.1.0", kJanuary, 5, 0},
      {"CET-1CEST,M3.5.0,M10.5.0/3", kJuly, -1, 1},
      {"<+03>-3", kJanuary, -3, 0},
      {"IST-5:30", kJanuary, -5, 0},
      {"<-0330>3:30", kJanuary, 3, 0},
  };
  for (const Case& c : cases) {
    const std::tm local = localUnder(c.tz, c.when);
    const std::string d = buildSaveIp(0x0A000001, kTo, 7, 0, 0xC0A80132, 0xFFFFFF00, 0xC0A80101, local);
    ASSERT_EQ(d.size(), kSaveIpSize) << c.tz;
    EXPECT_EQ(int8_t(d[45]), c.zone) << c.tz;
    EXPECT_EQ(uint8_t(d[46]), c.dst) << c.tz;
    EXPECT_EQ(uint8_t(d[38]), 26) << c.tz;
    EXPECT_EQ(uint8_t(d[39]), uint8_t(local.tm_mon + 1)) << c.tz;
    EXPECT_EQ(uint8_t(d[41]), uint8_t(local.tm_hour)) << c.tz;
  }
}

TEST(SaveIpCommand, CarriesTheNewSettingsAndTheLanguageCode) {
  const std::tm local = localUnder("UTC0", 1783000000);
  const std::string d = buildSaveIp(0x0A000001, kTo, 7, 1, 0xC0A80132, 0xFFFFFF00, 0xC0A80101, local);
  EXPECT_EQ(uint8_t(d[0]), 132);
  EXPECT_EQ(d.substr(21, 4), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(uint8_t(d[25]), 1);
  EXPECT_EQ(d.substr(26, 12), std::string("\x32\x01\xA8\xC0\x00\xFF\xFF\xFF\x01\x01\xA8\xC0", 12));
  EXPECT_EQ(saveIpLanguage(0), 255);
  EXPECT_EQ(saveIpLanguage(2), 4);
  EXPECT_EQ(saveIpLanguage(3), 2);
}

TEST(HalvernAccountCommand, PasswordIsTwelveCharactersOfTheThirtyTwoAndNamesAreZeroFilled) {
  EXPECT_EQ(passwordFromRandom({0, 9, 10, 31, 32, 0xFF, 0x2A, 1, 2, 3, 4, 5}), "09AV0VA12345");
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    const std::string p = halvernPassword();
    ASSERT_EQ(p.size(), 12u);
    for (char ch : p) EXPECT_TRUE((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'V')) << p;
    seen.insert(p);
  }
  EXPECT_GT(seen.size(), 15u);  // fresh each time
  const std::string d = buildHalvernAccount(0x0A000001, kTo, 3, "09AV0VA12345");
  ASSERT_EQ(d.size(), kHalvernAccountSize);
  EXPECT_EQ(uint8_t(d[0]), 135);
  EXPECT_EQ(d.substr(25, 2), std::string(2, '\0'));
  EXPECT_EQ(d.substr(27, 36), std::string("Halvern") + std::string(29, '\0'));
  EXPECT_EQ(d.substr(63, 36), std::string("Halvern") + std::string(29, '\0'));
  EXPECT_EQ(d.substr(99, 16), std::string("09AV0VA12345") + std::string(4, '\0'));
}

}  // namespace
}  // namespace lumarc
