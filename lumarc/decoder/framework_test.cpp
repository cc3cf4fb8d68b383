// Monitor record building, header, kind labels, suppression, line state and
// hex dump.
#include "lumarc/decoder/context.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/monitor_record.h"
#include "lumarc/decoder/test_support.h"

#include "common/format.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

using test::kHeader;
using test::recordOf;
using test::visible;

MonitorFrame frameOf(uint16_t type, uint16_t ind, uint16_t dir, std::vector<uint8_t> msg) {
  MonitorFrame f{};
  // calling port 1234 and partner port 5678, nibble-coded with blank fill.
  const uint32_t cport = 0xFFFF1234, pport = 0xFFFF5678;
  for (int i = 0; i < 4; ++i) {
    f[i] = uint8_t(cport >> (8 * i));
    f[4 + i] = uint8_t(pport >> (8 * i));
  }
  // clang-format off
  f[8] = 24; f[9] = 5; f[10] = 6; f[11] = 7; f[12] = 8; f[13] = 9;
  f[16] = uint8_t(dir); f[17] = uint8_t(dir >> 8);
  f[18] = uint8_t(type); f[19] = uint8_t(type >> 8);
  f[20] = uint8_t(ind); f[21] = uint8_t(ind >> 8);
  // clang-format on
  f[22] = uint8_t(msg.size());
  for (size_t i = 0; i < msg.size() && i < 96; ++i) f[23 + i] = msg[i];
  return f;
}

TEST(MonitorRecordBuild, FieldsComeFromTheFrameAsStored) {
  MonitorFrame f = frameOf(0xF5AB, 0x1234, 0xFC10, {0x85, 0x86, 0x00});
  MonitorRecord r = buildMonitorRecord(f, 0xBEEF, 0x11);
  EXPECT_EQ(r.type, 0xF5AB);
  EXPECT_EQ(r.hpidx, 0xBEEF);
  EXPECT_EQ(r.ptyp, 0x11);
  EXPECT_EQ(r.dir, 0x410);  // low 11 bits
  EXPECT_EQ(r.tdate.year, 2024);
  EXPECT_EQ(r.tdate.month, 5);
  EXPECT_EQ(r.tdate.second, 9);
  EXPECT_EQ(r.cport, "    1234");
  EXPECT_EQ(r.pport, "    5678");
  EXPECT_EQ(r.ind, 0x1234);
  EXPECT_EQ(r.datl, 3);
  ASSERT_EQ(r.datb.size(), 192u);
  EXPECT_EQ(r.datb.substr(0, 6), "EHFH@@");
  for (char c : r.datb) {
    EXPECT_GE(uint8_t(c), 0x40);
    EXPECT_LE(uint8_t(c), 0x4F);
  }
}

TEST(MonitorRecordBuild, OutOfRangeDateFieldsAreFoldedAndLengthLimited) {
  MonitorFrame f = frameOf(0xEE00, 0, 0, {});
  // clang-format off
  f[8] = 199; f[9] = 13; f[10] = 0xFF; f[11] = 25; f[12] = 61; f[13] = 60; f[22] = 200;
  // clang-format on
  MonitorRecord r = buildMonitorRecord(f, 1, 0);
  EXPECT_EQ(r.tdate.year, 2099);
  EXPECT_EQ(r.tdate.month, 0);
  EXPECT_EQ(r.tdate.day, 31);
  EXPECT_EQ(r.tdate.hour, 1);
  EXPECT_EQ(r.tdate.minute, 1);
  EXPECT_EQ(r.tdate.second, 0);
  EXPECT_EQ(r.datl, 96);
}

TEST(DecodeHeader, WholeRecordShowsTimeFractionAndLabel) {
  MonitorFrame f = frameOf(0xF500, 0, 0x0010, {0x85, 0x86, 0x00});
  std::string text = decodeMonitorRecord(buildMonitorRecord(f, 1, 0));
  EXPECT_EQ(text, " 0001 2024/05/06 07:08:09.032 RCV PKT Bib=1 Bsn=05 Fib=1 Fsn=06 FISU");
}

TEST(DecodeHeader, FractionIsLimitedTo999) {
  // clang-format off
  struct Case { int32_t dir; const char* frac; } cases[] = {
      {0x3FF, "999"}, {0x1F4, "999"}, {0x1F3, "998"}, {0x000, "000"}, {0x401, "002"}};
  // clang-format on
  for (const auto& c : cases) {
    MonitorRecord r = recordOf(0xEE00, {});
    r.dir = c.dir;
    EXPECT_EQ(decodeMonitorRecord(r).substr(25, 4), std::string(".") + c.frac) << c.dir;
  }
}

TEST(DecodeHeader, MonthZeroPrintsAsZeros) {
  MonitorRecord r = recordOf(0xEE00, {});
  r.tdate = {2000, 0, 0, 0, 0, 0};
  EXPECT_EQ(decodeMonitorRecord(r).substr(0, 31), " 0001 2000/00/00 00:00:00.000 L");
}

struct LabelCase {
  int32_t type;
  const char* label;
};

TEST(DecodeLabels, EveryKindGetsItsLabel) {
  // clang-format off
  const LabelCase cases[] = {
      {0xFD27, "RCV V5.2An "}, {0xFD26, "RCV V5.2Le "}, {0xFD25, "RCV PKT "}, {0xFD00, "RCV PKT "},
      {0xFC25, "XMT PKT "},    {0xFC26, "XMT V5.2Le "}, {0xFC27, "XMT V5.2An "}, {0xFC01, "XMT PKT "},
      {0xF600, "XMT PKT "},    {0xF500, "RCV PKT "},    {0xF800, "R Bits  "},    {0xF700, "X Bits  "},
      {0xED00, "SIP RCV PKT "}, {0xEC00, "SIP XMT PKT "}};
  // clang-format on
  for (const auto& c : cases) {
    std::string text = decodeMonitorRecord(recordOf(c.type, {0x85, 0x86, 0x00}));
    EXPECT_EQ(text.substr(0, kHeader.size() + std::string(c.label).size()), kHeader + c.label) << std::hex << c.type;
  }
}

TEST(DecodeLabels, EventKindsCarryIndicatorAndBlanks) {
  const LabelCase cases[] = {{0xFB00, "PH REQ  "}, {0xFA00, "PH IND  "}, {0xF900, "E1 SYNC "}, {0xEE00, "L.event "}};
  for (const auto& c : cases) {
    MonitorRecord r = recordOf(c.type, {});
    r.ind = 0xAB07;
    r.ptyp = 0x10;
    std::string text = decodeMonitorRecord(r);
    EXPECT_EQ(text.substr(0, kHeader.size() + 8 + 25), kHeader + c.label + "AB07" + std::string(21, ' '))
        << std::hex << c.type;
  }
}

TEST(DecodeLabels, CallControlPrefixShowsDirectionAndPorts) {
  // clang-format off
  struct Case { int32_t type; int32_t dir; const char* pport; const char* expect; } cases[] = {
      // clang-format on
      {0xFF00, 1, "    5678", "  TO CC 0102 O     1234     5678 "},
      {0xFE00, 0, "    1234", "FROM CC 0102 I     1234          "},
      {0xF000, 0, "    5678", "      TO CC Linked process 0102 I     1234     5678 "},
      {0xEF00, 3, "    1234", "    FROM CC Linked process 0102 O     1234          "},
  };
  for (const auto& c : cases) {
    MonitorRecord r = recordOf(c.type, {});
    r.ind = 0x0102;
    r.dir = c.dir;
    r.pport = c.pport;
    std::string text = decodeMonitorRecord(r);
    EXPECT_EQ(text.substr(kHeader.size(), std::string(c.expect).size()), c.expect);
  }
}

TEST(DecodeLabels, LongPortTextsAreCutToEightCharacters) {
  MonitorRecord r = recordOf(0xFF00, {});
  r.ind = 0;
  r.cport = "12345678901";
  r.pport = "12345678999";  // same first 8 characters: shown as blanks
  std::string text = decodeMonitorRecord(r);
  EXPECT_EQ(text.substr(kHeader.size(), 33), "  TO CC 0000 I 12345678          ");
}

TEST(DecodeLabels, UnknownKindShowsNothing) {
  for (int32_t type : {0x0000, 0xE000, 0xEB12, 0x1234}) {
    EXPECT_EQ(decodeMonitorRecord(recordOf(type, {0x01, 0x02})), "") << type;
  }
}

TEST(RegisterSignalling, LabelDependsOnIndicator) {
  // clang-format off
  struct Case { int32_t type; int32_t ind; const char* label; } cases[] = {
      {0xF400, 0x0001, "XmtTone "}, {0xF400, 0x0400, "XmtTstp "}, {0xF400, 0x0500, "XmtTone "},
      {0xF300, 0x0301, "RcvTone "}, {0xF300, 0x0400, "RcvTstp "}, {0xF300, 0x0000, "RcvTone "},
      {0xF200, 0x0002, "    XmtTone Linked process "}, {0xF200, 0x0400, "    XmtTstp Linked process "},
      {0xF100, 0x0401, "    RcvTone Linked process "}, {0xF100, 0x0400, "    RcvTstp Linked process "},
  };
  // clang-format on
  for (const auto& c : cases) {
    MonitorRecord r = recordOf(c.type, {});
    r.ind = c.ind;
    const std::string expect = kHeader + c.label;
    EXPECT_EQ(decodeMonitorRecord(r).substr(0, expect.size()), expect) << std::hex << c.type << " " << c.ind;
  }
}

TEST(RegisterSignalling, Indicator0300SuppressesTheRecord) {
  for (int32_t type : {0xF400, 0xF300, 0xF200, 0xF100}) {
    MonitorRecord r = recordOf(type, {});
    r.ind = 0x0300;
    EXPECT_EQ(decodeMonitorRecord(r), "") << std::hex << type;
  }
}

TEST(LineState, ActivationTextsFollowThePrefix) {
  // clang-format off
  struct Case { int32_t ind; const char* text; } cases[] = {
      {0, "Line activated"}, {1, "Line deactivated"}, {2, ""}, {0x100, ""}};
  // clang-format on
  for (const auto& c : cases) {
    MonitorRecord r = recordOf(0xEE00, {});
    r.ind = c.ind;
    EXPECT_EQ(decodeMonitorRecord(r),
              kHeader + "L.event " + corvane::hex4(uint16_t(c.ind)) + std::string(21, ' ') + c.text);
  }
}

DecodeContext contextOf(std::vector<uint8_t> bytes, int32_t datl = -1) {
  return DecodeContext(recordOf(0xFD00, std::move(bytes), datl), DecodeOptions{});
}

TEST(HexDump, SixteenBytesPerLineAlignedUnderTheFirst) {
  std::vector<uint8_t> bytes(17);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 0x11);
  DecodeContext ctx = contextOf(bytes);
  ctx.hexDump();
  EXPECT_EQ(visible(ctx.text()),
            "|        Hex Dump 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF "
            "|                 10 ");
}

TEST(HexDump, EmptyMessageGivesTheCaptionAlone) {
  DecodeContext ctx = contextOf({0x12}, 0);
  ctx.hexDump();
  EXPECT_EQ(visible(ctx.text()), "|        Hex Dump ");
}

TEST(HexDump, NinetySixBytesGiveSixLines) {
  DecodeContext ctx = contextOf(std::vector<uint8_t>(96, 0xAB));
  ctx.hexDump();
  std::vector<std::string> lines = splitDecodeText(ctx.text());
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[6].size(), 17u + 48u);
}

TEST(BoundedAccess, IndexesBeyondTheBufferReadZero) {
  DecodeContext ctx = contextOf(std::vector<uint8_t>(96, 0xEE), 96);
  EXPECT_EQ(ctx.at(95), 0xEE);
  EXPECT_EQ(ctx.at(96), 0);
  EXPECT_EQ(ctx.at(97), 0);
  EXPECT_EQ(ctx.at(size_t(-1)), 0);
  EXPECT_TRUE(DecodeContext::inMessage(95));
  EXPECT_FALSE(DecodeContext::inMessage(96));
}

TEST(BoundedAccess, BytesBeyondDatlAreStillVisible) {
  DecodeContext ctx = contextOf({1, 2, 3, 4}, 2);
  EXPECT_EQ(ctx.datl(), 2u);
  EXPECT_EQ(ctx.at(3), 4);
}

TEST(BoundedAccess, ShortDatbReadsMissingBytesAsZero) {
  MonitorRecord r = recordOf(0xFD00, {0x12, 0x34});
  r.datb = "BA";  // one byte 0x12, everything else padded with 0x40
  DecodeContext ctx(r, {});
  EXPECT_EQ(ctx.at(0), 0x12);
  EXPECT_EQ(ctx.at(1), 0);
}

TEST(BoundedAccess, ShiftedViewSeesLaterBytesThenZerosAndRestores) {
  std::vector<uint8_t> bytes(96);
  for (size_t i = 0; i < 96; ++i) bytes[i] = uint8_t(i + 1);
  DecodeContext ctx = contextOf(bytes, 10);
  ctx.shiftView(2);
  EXPECT_EQ(ctx.at(0), 3);
  EXPECT_EQ(ctx.at(93), 96);
  EXPECT_EQ(ctx.at(94), 0);
  EXPECT_EQ(ctx.at(95), 0);
  EXPECT_EQ(ctx.datl(), 8u);
  ctx.restoreView();
  EXPECT_EQ(ctx.at(0), 1);
  EXPECT_EQ(ctx.datl(), 10u);
}

TEST(LinePrimitives, LinesStartWithEightBlanksAndFourMoreWhenNested) {
  DecodeContext ctx = contextOf({});
  ctx.newLine();
  ctx.newLineCont();
  ctx.newLineDigits();
  ctx.newLineStars();
  ctx.setNested(true);
  ctx.bitsLine(0xA5);
  ctx.fieldLine(0xA5, 6, 4);
  ctx.setNested(false);
  ctx.nibbleBits(0x0A);
  EXPECT_EQ(visible(ctx.text()),
            "|        "
            "|                 "
            "|        Digits   "
            "|        ******** "
            "|            10100101 "
            "|            -010---- 1010");
}

TEST(LinePrimitives, RawCharactersShowControlBytesAsDots) {
  std::vector<uint8_t> bytes = {'A', 0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFE, 0xFF, 'z'};
  DecodeContext ctx = contextOf(bytes);
  ctx.charRow(0, bytes.size() - 1);
  EXPECT_EQ(ctx.text(), std::string("A.. ~.\x80\xFE.z"));
}

TEST(LinePrimitives, CharacterRowsWrapAfterEvery51Characters) {
  // clang-format off
  struct Case { size_t count; size_t lines; } cases[] = {{51, 1}, {52, 2}, {96, 2}};
  // clang-format on
  for (const auto& c : cases) {
    DecodeContext ctx = contextOf(std::vector<uint8_t>(96, '7'));
    ctx.charRow(0, c.count - 1);
    std::string v = visible(ctx.text());
    size_t breaks = 0;
    for (char ch : v) breaks += ch == '|';
    EXPECT_EQ(breaks + 1, c.lines) << c.count;
  }
}

}  // namespace
}  // namespace lumarc
