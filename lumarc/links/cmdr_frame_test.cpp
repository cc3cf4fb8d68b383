#include "lumarc/links/cmdr_frame.h"

#include "common/byte_io.h"
#include "common/checks.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

const std::string kBlank8(8, ' '), kBlank32(32, ' ');

uint32_t packRaw(uint32_t y, uint32_t mo, uint32_t d, uint32_t h, uint32_t mi, uint32_t s) {
  return s | mi << 6 | h << 12 | d << 17 | mo << 22 | y << 26;
}

// --- Checks -----------------------------------------------------------------

TEST(CmdrFrameChecks, SealedFramePassesBothChecks) {
  CmdrFrame f = buildCmdrFrame({});
  EXPECT_TRUE(cmdrCheckWordOk(f));
  EXPECT_TRUE(cmdrSumOk(f));
}

TEST(CmdrFrameChecks, AnyFlippedByteBreaksTheCheckWord) {
  CmdrFrame good = buildCmdrFrame({});
  for (size_t i = 0; i < kCmdrFrameSize; ++i) {
    CmdrFrame f = good;
    f[i] ^= 0x5A;
    EXPECT_FALSE(cmdrCheckWordOk(f)) << "byte " << i;
  }
}

TEST(CmdrFrameChecks, WrongSumByteOrEndMarkIsRejectedEvenWithAValidCheckWord) {
  CmdrFrame wrongSum = buildCmdrFrame({});
  wrongSum[cmdr::kSum] ^= 0x01;
  CmdrFrame wrongEnd = buildCmdrFrame({});
  wrongEnd[cmdr::kEndMark] = 0xFE;
  wrongEnd[cmdr::kSum] = uint8_t(wrongEnd[cmdr::kSum] - 1);  // the sum itself still matches
  for (CmdrFrame* f : {&wrongSum, &wrongEnd}) {
    corvane::ByteWriter(*f).putLe16(cmdr::kCheck, corvane::frameCheck16(f->data(), cmdr::kCheck));
    EXPECT_TRUE(cmdrCheckWordOk(*f));
    EXPECT_FALSE(cmdrSumOk(*f));
  }
}

TEST(CmdrFrameChecks, CheckWordOfAllFfPassesWhenTheRunningCheckEndsAtZero) {
  CmdrFrame f = buildCmdrFrame({});
  bool found = false;
  for (int x = 0; x < 256 && !found; ++x)
    for (int y = 0; y < 256 && !found; ++y)
      for (int z = 0; z < 4 && !found; ++z) {
        f[144] = uint8_t(x);
        f[145] = uint8_t(y);
        f[146] = uint8_t(z);
        sealCmdrFrame(f);
        if (f[cmdr::kCheck] == 0xFF && f[cmdr::kCheck + 1] == 0xFF) found = true;
      }
  ASSERT_TRUE(found);
  EXPECT_EQ(corvane::frameCheck16(f.data(), cmdr::kCheck), 0xFFFF);
  EXPECT_TRUE(cmdrCheckWordOk(f));
}

// --- Time and duration ------------------------------------------------------

TEST(CmdrFrameTime, OutOfRangeFieldsAreRepaired) {
  struct Case {
    uint32_t packed;
    DateTime want;
  } cases[] = {
      {packRaw(24, 13, 0, 31, 10, 20), {2024, 1, 1, 0, 10, 20}},
      {packRaw(24, 0, 5, 12, 60, 61), {2024, 1, 5, 12, 0, 0}},
      {packRaw(24, 6, 15, 23, 59, 59), {2024, 6, 15, 23, 59, 59}},
      {packRaw(63, 12, 31, 0, 0, 0), {2063, 12, 31, 0, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(unpackCmdrTime(c.packed), c.want) << std::hex << c.packed;
}

TEST(CmdrFrameTime, DayTheMonthDoesNotHaveBecomesItsLastDay) {
  struct Case {
    uint32_t packed;
    DateTime want;
  } cases[] = {
      {packRaw(24, 4, 31, 8, 0, 0), {2024, 4, 30, 8, 0, 0}},
      {packRaw(24, 2, 30, 8, 0, 0), {2024, 2, 29, 8, 0, 0}},
      {packRaw(23, 2, 29, 8, 0, 0), {2023, 2, 28, 8, 0, 0}},
      {packRaw(0, 2, 31, 8, 0, 0), {2000, 2, 29, 8, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(unpackCmdrTime(c.packed), c.want);
}

TEST(CmdrFrameTime, DurationFollowsTheExchangeRule) {
  struct Case {
    uint32_t raw, seconds;
  } cases[] = {{187, 2}, {63, 1}, {94, 2}, {40, 1}, {250, 4}, {0, 0}, {125, 2}, {32, 1}};
  for (const Case& c : cases) EXPECT_EQ(cmdrDuration(c.raw), c.seconds) << c.raw;
}

// --- Decoding ---------------------------------------------------------------

TEST(CmdrFrameDecode, PortsReadAsEightCharacterTexts) {
  struct Case {
    uint32_t port;
    const char* text;
  } cases[] = {{0x12345678, "12345678"}, {0xFFFFFFFF, "        "}, {0xFFFFFFFA, "       A"}, {0xFFFFFF0A, "      0A"}};
  for (const Case& c : cases) {
    CmdrFrameFields s;
    s.firstPort = c.port;
    CmdrRecord r;
    ASSERT_TRUE(decodeCmdrFrame(buildCmdrFrame(s), 0, r));
    EXPECT_EQ(r.cport, c.text);
  }
}

TEST(CmdrFrameDecode, CallRecordKeepsEveryField) {
  CmdrFrameFields s;
  s.kind = 0;
  s.firstPort = 0xFFFF1234;
  s.partnerPort = 0xFFFF5678;
  s.usedPort = 0xFFFFF901;
  s.flags = 0x00200008;
  s.time = {2024, 3, 9, 14, 5, 7};
  s.rawDuration = 250;
  s.crefA = 11;
  s.crefB = 22;
  s.crefC = 0xC0A80105;
  s.externalPulses = 12;
  s.internalPulses = 3;
  s.digits1 = "00902125551234";
  s.digits2 = "*#ABCD";
  s.digits3 = std::string(32, '7');
  CmdrRecord r;
  ASSERT_TRUE(decodeCmdrFrame(buildCmdrFrame(s), 0x0A000001, r));
  EXPECT_EQ(r.type, "A");
  EXPECT_EQ(r.cport, "    1234");
  EXPECT_EQ(r.pport, "    5678");
  EXPECT_EQ(r.uport, "     901");
  EXPECT_EQ(r.rdata, "00902125551234" + std::string(18, ' '));
  EXPECT_EQ(r.xdata, "*#ABCD" + std::string(26, ' '));
  EXPECT_EQ(r.cdata, std::string(28, '7') + "    ");
  EXPECT_EQ(r.tdate, (DateTime{2024, 3, 9, 14, 5, 7}));
  EXPECT_EQ(r.duration, 4u);
  EXPECT_EQ(r.rpuls, 12u);
  EXPECT_EQ(r.ppuls, 3u);
  EXPECT_EQ(r.crefa, 11u);
  EXPECT_EQ(r.crefb, 22u);
  EXPECT_EQ(r.crefc, 0xC0A80105u);
  EXPECT_EQ(r.flags, 0x00200008u);
  EXPECT_EQ(r.ipadr, 0x0A000001u);
  EXPECT_EQ(r.flagt, 0u);
  EXPECT_EQ(r.Xid, "");
}

TEST(CmdrFrameDecode, DigitValuesOutsideTheTableShowBlanksAndZeroShowsZero) {
  CmdrFrame f = buildCmdrFrame({});
  f[cmdr::kField1] = 0;
  f[cmdr::kField1 + 1] = 16;
  f[cmdr::kField1 + 2] = 14;
  f[cmdr::kField1 + 3] = 0x0F;
  sealCmdrFrame(f);
  CmdrRecord r;
  ASSERT_TRUE(decodeCmdrFrame(f, 0, r));
  EXPECT_EQ(r.rdata.substr(0, 4), "0 *#");
}

TEST(CmdrFrameDecode, SystemRecordTextStopsAtNulAndBlanksTheRest) {
  CmdrFrameFields s;
  s.kind = 1;
  s.firstPort = 0x12345678;
  s.text1 = std::string("Power up") + '\0' + "garbage garbage";
  CmdrRecord r;
  ASSERT_TRUE(decodeCmdrFrame(buildCmdrFrame(s), 0, r));
  EXPECT_EQ(r.type, "B");
  EXPECT_EQ(r.rdata, "Power up" + std::string(24, ' '));
  EXPECT_EQ(r.xdata, kBlank32);
  EXPECT_EQ(r.cdata, kBlank32);
  EXPECT_EQ(r.cport, kBlank8);
  EXPECT_EQ(r.pport, kBlank8);
  EXPECT_EQ(r.uport, kBlank8);
}

TEST(CmdrFrameDecode, TextRunSpansTheThreeFieldsAndBlanksControlBytes) {
  CmdrFrameFields s;
  s.kind = 2;
  s.firstPort = 0xFFFF0201;
  s.usedPort = 0xFFFFF777;
  s.internalPulses = 9;
  s.externalPulses = 5;
  std::string text(40, 'x');
  text[3] = '\t';
  text[4] = '\x7f';
  text[5] = '\xe7';  // an 8-bit letter stays
  s.text1 = text;
  CmdrRecord r;
  ASSERT_TRUE(decodeCmdrFrame(buildCmdrFrame(s), 0, r));
  EXPECT_EQ(r.type, "C");
  EXPECT_EQ(r.rdata, "xxx  \xe7" + std::string(26, 'x'));
  EXPECT_EQ(r.xdata, std::string(8, 'x') + std::string(24, ' '));
  EXPECT_EQ(r.cdata, kBlank32);
  EXPECT_EQ(r.cport, "    0201");
  EXPECT_EQ(r.pport, kBlank8);
  EXPECT_EQ(r.uport, "     777");
  EXPECT_EQ(r.ppuls, 9u);
  EXPECT_EQ(r.rpuls, 0u);
}

TEST(CmdrFrameDecode, MaliciousCallAndRoomReportKeepOnlyTheirColumns) {
  CmdrFrameFields d;
  d.kind = 3;
  d.firstPort = 0xFFFF0100;
  d.usedPort = 0xFFFFF800;
  d.rawDuration = 5000;
  d.externalPulses = 4;
  d.digits1 = "123";
  d.digits2 = "999";
  d.digits3 = "5551234";
  CmdrRecord r;
  ASSERT_TRUE(decodeCmdrFrame(buildCmdrFrame(d), 0, r));
  EXPECT_EQ(r.type, "D");
  EXPECT_EQ(r.rdata, "123" + std::string(29, ' '));
  EXPECT_EQ(r.xdata, kBlank32);
  EXPECT_EQ(r.cdata, "5551234" + std::string(25, ' '));
  EXPECT_EQ(r.duration, 0u);
  EXPECT_EQ(r.rpuls, 0u);

  CmdrFrameFields e;
  e.kind = 4;
  e.firstPort = 0xFFFF0100;
  e.usedPort = 0xFFFFF800;
  e.rawDuration = 5000;
  e.externalPulses = 4;
  e.internalPulses = 6;
  e.digits1 = "123";
  ASSERT_TRUE(decodeCmdrFrame(buildCmdrFrame(e), 0, r));
  EXPECT_EQ(r.type, "E");
  EXPECT_EQ(r.rdata, kBlank32);
  EXPECT_EQ(r.uport, kBlank8);
  EXPECT_EQ(r.duration, 0u);
  EXPECT_EQ(r.rpuls, 4u);
  EXPECT_EQ(r.ppuls, 6u);
}

TEST(CmdrFrameDecode, KindFAndUnknownKindsAreNotAccepted) {
  struct Case {
    uint32_t kind;
    bool accepted;
    // clang-format off
  } cases[] = {{0, true}, {1, true}, {2, true}, {3, true}, {4, true}, {5, false}, {0x45, false},
               {6, false}, {63, false}, {0x40, true}};
  // clang-format on
  for (const Case& c : cases) {
    CmdrFrameFields s;
    s.kind = c.kind;
    CmdrRecord r;
    EXPECT_EQ(decodeCmdrFrame(buildCmdrFrame(s), 0, r), c.accepted) << c.kind;
  }
}

}  // namespace
}  // namespace lumarc
