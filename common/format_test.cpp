#include "common/format.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(PortTexts, NibbleCodedPortsShowDigitsLettersAndBlanks) {
  // clang-format off
  struct Case { uint32_t port; const char* text; const char* digits; };
  const Case cases[] = {
      {0xFFFF1234, "    1234", "1234"},
      {0xFFFFFFFF, "        ", ""},
      {0x0123ABCF, "0123ABC ", "0123"},
      {0xEEEEEEEE, "EEEEEEEE", ""},
      {0x1F2F3F4F, "1 2 3 4 ", "1234"},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(formatPort(c.port), c.text) << std::hex << c.port;
    EXPECT_EQ(portDigits(c.port), c.digits) << std::hex << c.port;
  }
}

TEST(PortTexts, ParsingStopsAtLettersAndKeepsLastEightDigits) {
  // clang-format off
  struct Case { const char* text; uint32_t port; };
  const Case cases[] = {
      {"    1234", 0xFFFF1234}, {"12A4", 0xFFFFFF12}, {"", 0xFFFFFFFF},
      {" 1 2 ", 0xFFFFFF12}, {"1234567890", 0x34567890}, {"x1", 0xFFFFFFFF},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(parsePort(c.text), c.port) << c.text;
  EXPECT_EQ(parsePort(formatPort(0xFFFF1234)), 0xFFFF1234u);
}

TEST(PortTexts, StoredPortColumnIsRightAlignedInEight) {
  // clang-format off
  struct Case { const char* in; const char* clean; const char* text8; };
  const Case cases[] = {
      {" 1a", "1", "       1"},
      {"   12AF", "12AF", "    12AF"},
      {"123456789ABC", "12345678", "12345678"},
      {"", "", "        "},
      {"x12", "", "        "},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(cleanPortText(c.in), c.clean) << c.in;
    EXPECT_EQ(portText8(c.in), c.text8) << c.in;
  }
}

TEST(DigitsAndHex, DigitCharactersCoverKeypadAndOnlyTheLowByte) {
  EXPECT_EQ(digitChar(0), '0');
  EXPECT_EQ(digitChar(9), '9');
  EXPECT_EQ(digitChar(10), 'A');
  EXPECT_EQ(digitChar(13), 'D');
  EXPECT_EQ(digitChar(0x0E), '*');
  EXPECT_EQ(digitChar(0x0F), '#');
  EXPECT_EQ(digitChar(0x10), ' ');
  EXPECT_EQ(digitChar(0x105), '5');
}

TEST(DigitsAndHex, HexFormsAreUpperCaseAndFixedWidth) {
  EXPECT_EQ(hex2(0x0A), "0A");
  EXPECT_EQ(hex4(0xBEEF), "BEEF");
  EXPECT_EQ(hex6(0x12ABCDEF), "ABCDEF");
  EXPECT_EQ(hex8(0x1), "00000001");
  EXPECT_EQ(parseHex8("deadBEEF"), 0xDEADBEEFu);
  EXPECT_EQ(parseHex8("DEADBEE"), 0u);
  EXPECT_EQ(parseHex8("DEADBEEG"), 0u);
  EXPECT_EQ(parseHex("1g"), 0x1Fu);
  EXPECT_EQ(parseHex(""), 0u);
}

TEST(Decimals, FixedWidthFormsFollowTheirModuloRules) {
  EXPECT_EQ(dec2(7), "07");
  EXPECT_EQ(dec2(123), "23");
  EXPECT_EQ(dec3(5), "005");
  EXPECT_EQ(dec3(999), "999");
  EXPECT_EQ(dec3(1234), "999");
  EXPECT_EQ(dec4(123456), "3456");
  EXPECT_EQ(decN(0), "0");
  EXPECT_EQ(decN(12345), "2345");
  EXPECT_EQ(decN(10000), "0");
}

TEST(Decimals, WidthAlignmentAndFill) {
  // clang-format off
  struct Case { uint32_t v; int w; bool left; bool zero; const char* text; };
  const Case cases[] = {
      {12, 4, false, true, "0012"},   {12, 4, true, false, "12  "},
      {12, 4, false, false, "  12"},  {123456, 4, false, true, "3456"},
      {123456, 4, true, false, "3456"}, {123456, 4, false, false, "3456"},
      {0, 0, false, false, "0"},      {0, 0, false, true, "0000000000"},
      {4294967295u, 0, false, false, "4294967295"}, {7, 12, false, true, "000000000007"},
      // clang-format on
      {7, 3, true, true, "7  "},
  };
  for (const auto& c : cases) EXPECT_EQ(decimal(c.v, c.w, c.left, c.zero), c.text) << c.v << " w=" << c.w;
  EXPECT_EQ(digitsValue("a1b2c3"), 123u);
  EXPECT_EQ(digitsValue("4294967296"), 0u);
}

TEST(Addresses, Ipv4DottedFormsRoundTrip) {
  EXPECT_EQ(ipv4Text(0xC0A8010A), "192.168.1.10");
  EXPECT_EQ(ipv4Text15(0x0A000001), "10.0.0.1       ");
  EXPECT_EQ(ipv4Value("192.168.1.10"), 0xC0A8010Au);
  EXPECT_EQ(ipv4Value("256.1.1.1"), 0u);
  EXPECT_EQ(ipv4Value("1.2.3"), 0u);
}

TEST(Addresses, Ipv6TextCompressesFirstZeroRunOnly) {
  // clang-format off
  struct Case { const char* in; const char* text; };
  // clang-format on
  const Case cases[] = {
      {"::1", "::1"},
      {"::", "::"},
      {"fe80::1", "fe80::1"},
      {"1:0:0:2:0:0:0:3", "1::2:0:0:0:3"},
      {"1:2:3:4:5:6:7:0", "1:2:3:4:5:6:7::"},
      {"2001:db8::ABCD", "2001:db8::abcd"},
  };
  for (const auto& c : cases) {
    auto v = ipv6Value(c.in);
    ASSERT_TRUE(v) << c.in;
    EXPECT_EQ(ipv6Text(v->data()), c.text) << c.in;
  }
  EXPECT_FALSE(ipv6Value("fe80::1::2"));
  EXPECT_FALSE(ipv6Value("1.2.3.4"));
}

TEST(Texts, BlankPadDropsLeadingBlanksAndNeverCuts) {
  EXPECT_EQ(blankPad("  ab", 4), "ab  ");
  EXPECT_EQ(blankPad("abcdef", 4), "abcdef");
  EXPECT_EQ(trimBlanks("  a b  "), "a b");
}

TEST(Durations, AlwaysEightCharacters) {
  // clang-format off
  struct Case { uint32_t s; const char* text; };
  const Case cases[] = {
      {0, "      00"},   {59, "      59"},   {61, "   01:01"},
      {3661, "01:01:01"}, {3601, "01:   01"}, {3600, "01:   00"},
      {360000, "**:   00"}, {359999, "99:59:59"}, {60, "   01:00"},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(formatDuration(c.s), c.text) << c.s;
    EXPECT_EQ(formatDuration(c.s).size(), 8u);
  }
}

TEST(Dates, LogAndMonitorTimeForms) {
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 2;
  tm.tm_mday = 4;
  tm.tm_hour = 5;
  tm.tm_min = 6;
  tm.tm_sec = 7;
  EXPECT_EQ(formatDateTime(tm), "2026/03/04 05:06:07");
  EXPECT_EQ(formatMonitorTime(tm), "2026/03/04 05:06:07");
  tm.tm_year = 5 - 1900;
  EXPECT_EQ(formatMonitorTime(tm), "5/03/04 05:06:07");
}

}  // namespace
}  // namespace corvane
