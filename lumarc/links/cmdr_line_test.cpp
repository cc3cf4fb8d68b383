#include "lumarc/links/cmdr_line.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

const std::string b4(4, ' '), b8(8, ' ');
std::string pad(std::string s, size_t n) {
  s.resize(std::max(n, s.size()), ' ');
  return s;
}

CmdrRecord callRecord() {
  CmdrRecord r;
  r.type = "A";
  r.tdate = {2024, 3, 9, 14, 5, 7};
  r.duration = 4;
  r.cport = "    1234";
  r.pport = "    5678";
  r.uport = "     901";
  r.rdata = pad("00902125551234", 32);
  r.xdata = pad("0090", 32);
  r.cdata = pad("5551234", 32);
  r.rpuls = 12;
  r.ppuls = 3;
  r.crefc = 0xC0A80105;
  r.ipadr = 0x0A000001;
  r.flags = (1u << 21) | 2;
  return r;
}

// The columns after star and call kind of callRecord()'s long line.
std::string callRecordTail(const std::string& rdata = pad("00902125551234", 32),
                           const std::string& cdata = pad("5551234", 32)) {
  return "2024/03/09 14:05:07 1234     0012 0003 " + rdata + " " + "      04" + " " + "5678    " + " " + "901     " +
         " " + cdata + " " + pad("0090", 32) + " " + pad("192.168.1.5", 15) + " " + pad("10.0.0.1", 15) + " ";
}

TEST(CmdrLongLine, CallRecordColumnsAreExact) {
  EXPECT_EQ(cmdrLineText(callRecord()), "*    PlUser " + callRecordTail());
}

TEST(CmdrLongLine, StarColumnShowsTheStarCount) {
  struct Case {
    uint32_t stars;
    const char* start;
  } cases[] = {{0, "     "}, {1, "*    "}, {2, "**   "}, {3, "*03  "}, {12, "*12  "}, {15, "*15  "}};
  for (const Case& c : cases) {
    CmdrRecord r = callRecord();
    r.flags = c.stars << 21 | 2;
    EXPECT_EQ(cmdrLineText(r), std::string(c.start) + "PlUser " + callRecordTail()) << c.stars;
  }
}

TEST(CmdrLongLine, CallKindTextAndItsWidth) {
  struct Case {
    uint32_t kind;
    const char* text;
  } cases[] = {{1, "PlDynm "},  {7, "PlBusy "},  {8, "PlAlert "}, {0, "       "},  {32, "       "}, {33, "UCdefl "},
               {41, "H323Xf "}, {42, "       "}, {64, "UCxfrA "}, {69, "AltRtg "}, {70, "       "}, {255, "       "}};
  for (const Case& c : cases) {
    CmdrRecord r = callRecord();
    r.flags = c.kind;
    EXPECT_EQ(cmdrLineText(r), std::string("     ") + c.text + callRecordTail()) << c.kind;
  }
}

TEST(CmdrLongLine, PulsesKeepTheirLastFourDigits) {
  CmdrRecord r = callRecord();
  r.rpuls = 123456;
  r.ppuls = 0;
  EXPECT_NE(cmdrLineText(r).find(" 1234     3456 0000 "), std::string::npos);
}

TEST(CmdrLongLine, MissingAddressesLeaveBlankColumns) {
  CmdrRecord r = callRecord();
  r.crefc = 0;
  r.ipadr = 0;
  std::string line = cmdrLineText(r);
  EXPECT_EQ(line.substr(line.size() - 32), std::string(32, ' '));
  EXPECT_EQ(line.size(), cmdrLineText(callRecord()).size());
}

TEST(CmdrLongLine, OtherKindsUseTheirLabelAndColumns) {
  CmdrRecord b;
  b.type = "B";
  b.tdate = {2024, 1, 2, 3, 4, 5};
  b.cport = b.pport = b.uport = b8;
  b.rdata = pad("Power up", 32);
  b.xdata = pad("second", 32);
  b.cdata = pad("", 32);

  CmdrRecord c;
  c.type = "C";
  c.tdate = {2024, 1, 2, 3, 4, 5};
  c.cport = "    0201";
  c.pport = b8;
  c.uport = "     777";
  c.rdata = pad("Wake up call", 32);
  c.ppuls = 9;

  CmdrRecord c0 = c;
  c0.ppuls = 0;

  CmdrRecord d;
  d.type = "D";
  d.tdate = {2024, 1, 2, 3, 4, 5};
  d.cport = "    0100";
  d.pport = b8;
  d.uport = "     800";
  d.rdata = pad("123", 32);
  d.cdata = pad(std::string(28, '5') + "6789", 32);

  CmdrRecord e;
  e.type = "E";
  e.tdate = {2024, 1, 2, 3, 4, 5};
  e.cport = "    0100";
  e.rpuls = 4;
  e.ppuls = 123456;

  CmdrRecord f;
  f.type = "F";
  f.tdate = {2024, 1, 2, 3, 4, 5};
  f.cport = "    0100";
  f.rdata = pad("text", 32);

  const std::string date = "2024/01/02 03:04:05 ";
  struct Case {
    const CmdrRecord* r;
    std::string want;
  } cases[] = {
      {&b, "B           " + date + pad("Power up", 32) + pad("second", 32) + pad("", 32)},
      {&c, "C           " + date + "    0201 " + b4 + " 0009 " + pad("Wake up call", 32) + " " + b8 + "      777 "},
      // clang-format off
      {&c0, "C           " + date + "    0201 " + b4 + " " + b4 + " " + pad("Wake up call", 32) + " " + b8 + "      777 "},
      {&d, "D Malicious " + date + "    0100 " + b4 + " " + b4 + " " + std::string(28, '5') + " " + b8 +
               "      800 " + pad("123", 32)},
      // clang-format on
      {&e, "E           " + date + "    0100 4    3456 "},
      {&f, "F           " + date + "    0100 " + pad("text", 32)},
  };
  for (const Case& k : cases) EXPECT_EQ(cmdrLineText(*k.r), k.want) << k.r->type;
}

TEST(CmdrLongLine, RecordWithoutAKnownTypeHasNoLine) {
  CmdrRecord r = callRecord();
  for (const char* t : {"", "G", "AB", "a"}) {
    r.type = t;
    EXPECT_EQ(cmdrLineText(r), "") << t;
  }
}

TEST(CmdrShortLine, CallRecordColumnsAreExact) {
  LineOptions o;
  o.format = LineFormat::Short;
  o.externalAmount = 1.5;
  o.internalAmount = 0.25;
  o.acknowledged = true;
  EXPECT_EQ(cmdrLineText(callRecord(), o), "A  2024/03/09 14:05:07       04 " + pad("00902125551234", 32) +
                                               "    1.750   12    3      901 " + pad("5551234", 32) + " ");
  o.acknowledged = false;
  EXPECT_EQ(cmdrLineText(callRecord(), o).substr(0, 3), "   ");
}

TEST(CmdrShortLine, PulsesRightAlignedWithTheirLastFourDigits) {
  LineOptions o;
  o.format = LineFormat::Short;
  CmdrRecord r = callRecord();
  r.rpuls = 123456;
  r.ppuls = 12;
  EXPECT_NE(cmdrLineText(r, o).find(" 3456   12 "), std::string::npos);
}

TEST(CmdrShortLine, OnlyCallRecordsHaveAShortLine) {
  LineOptions o;
  o.format = LineFormat::Short;
  CmdrRecord r = callRecord();
  for (const char* t : {"B", "C", "D", "E", "F"}) {
    r.type = t;
    EXPECT_EQ(cmdrLineText(r, o), "") << t;
  }
}

TEST(CmdrLineReplacement, ReplacedColumnsShowTheNameInFull) {
  auto name = [](const std::string& digits, bool calling) {
    return std::string(calling ? "caller " : "dialled ") + std::to_string(digits.find_last_not_of(' ') + 1) +
           std::string(30, '.');
  };
  struct Case {
    DigitReplacement mode;
    bool dialled, calling;
  } cases[] = {{DigitReplacement::None, false, false},
               {DigitReplacement::Dialled, true, false},
               {DigitReplacement::Calling, false, true},
               {DigitReplacement::Both, true, true}};
  for (const Case& c : cases) {
    LineOptions o;
    o.replacement = c.mode;
    o.replace = name;
    std::string rdata = c.dialled ? "dialled 14" + std::string(30, '.') : pad("00902125551234", 32);
    std::string cdata = c.calling ? "caller 7" + std::string(30, '.') : pad("5551234", 32);
    EXPECT_EQ(cmdrLineText(callRecord(), o), "*    PlUser " + callRecordTail(rdata, cdata)) << int(c.mode);
  }
}

TEST(AmountText, RoundsAndFitsTheWidth) {
  struct Case {
    double value;
    int w;
    std::string want;
  } cases[] = {
      // clang-format off
      {2, 4, "   2.000"},       {0.5, 4, "   0.500"},       {-2, 4, "  -2.000"},     {1234.5, 4, " 1234.50"},
      {123456, 4, " 123456."},   {1234567, 4, "********"},     {2, 8, "       2.000"}, {0.05, 4, "   0.050"},
      {0, 4, "   0.000"},       {1.0005, 4, "   1.001"},      {0.0005, 4, "   0.001"},   {-0.0004, 4, "   0.000"},
      {-1.0005, 4, "  -1.001"},  {999.9996, 4, " 1000.00"},    {12345.678, 4, " 12345.6"}, {-123456, 4, "-123456."},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(amountText(c.value, c.w), c.want) << c.value << " w=" << c.w;
}

}  // namespace
}  // namespace lumarc
