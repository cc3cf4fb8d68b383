#include "common/recording_name.h"

#include "common/adpcm.h"
#include "common/byte_io.h"
#include "common/test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>

using namespace corvane;

namespace {

uint32_t dateWord(int y, int mo, int d, int h, int mi, int s) {
  return uint32_t(s) | uint32_t(mi) << 6 | uint32_t(h) << 12 | uint32_t(d) << 17 | uint32_t(mo) << 22 |
         uint32_t(y) << 26;
}

struct Desc {
  uint8_t b[kVoiceDescriptionSize];
  Desc() { std::memset(b, ' ', sizeof b); }
  Desc& put32(size_t at, uint32_t v) { return ByteWriter(b, sizeof b).putLe32(at, v), *this; }
  Desc& date(uint32_t w) { return put32(voicedesc::kDateWord, w); }
  Desc& port(uint32_t p) { return put32(voicedesc::kPort, p); }
  Desc& size(uint32_t s) { return put32(voicedesc::kSize, s); }
  Desc& text(size_t at, const char* t) { return std::memcpy(b + at, t, std::strlen(t)), *this; }
  Desc& byte(size_t at, uint8_t v) { return b[at] = v, *this; }
  Desc& cref(uint32_t c) { return put32(voicedesc::kCallReference, c); }
};

}  // namespace

TEST(RecordingRow, DescriptionFieldsFillTheRow) {
  Desc d;
  d.date(dateWord(11, 3, 14, 9, 30, 55)).port(0xFFFF1234).size(10001).text(20, "0212ab*9").byte(35, 'A');
  d.byte(36, 'O').text(37, "5551234").text(53, "05321112233").cref(0x0000BEEF);
  auto r = voiceRecordFromDescription(d.b, "/w/Wav", 0x7F000001);
  EXPECT_EQ(r.rcdport, "    1234");
  EXPECT_EQ(r.rcddate, 0x110314u);
  EXPECT_EQ(r.rcdtime, 0x093055u);
  EXPECT_EQ(r.rcdtype, "A");
  EXPECT_EQ(r.duration, 3u);      // 10001 = 2 * 4000 + 2001
  EXPECT_EQ(r.rcddsq, "0212AB");  // stops at "*", letters upper-cased
  EXPECT_EQ(r.rcdrcv, "5551234");
  EXPECT_EQ(r.rcdcni, "05321112233");
  EXPECT_EQ(r.cref, 0xBEEFu);
  EXPECT_TRUE(r.Drog);
  EXPECT_FALSE(r.Wavu);
  EXPECT_EQ(r.ipadr, 0x7F000001u);
  EXPECT_EQ(r.rcdfx, "apc");
  EXPECT_EQ(r.Xid, "");
  EXPECT_EQ(r.rcdfn, "/w/Wav/1234_____110314_093055_AO_0212AB_5551234_05321112233_0000BEEF_7F000001");
}

TEST(RecordingRow, DurationRoundsAtHalfASecond) {
  struct {
    uint32_t size, seconds;
  } cases[] = {{0, 0}, {2000, 0}, {2001, 1}, {4000, 1}, {6000, 1}, {6001, 2}, {400000, 100}};
  for (auto c : cases) EXPECT_EQ(apcDuration(c.size), c.seconds) << c.size;
}

TEST(RecordingRow, BlankCallReferenceAndIncomingCallGiveShortName) {
  Desc d;
  d.date(dateWord(24, 12, 31, 23, 59, 59)).port(0xFFFFFFF7).byte(35, 'B').byte(36, 'X');
  auto r = voiceRecordFromDescription(d.b, "/w/Wav", 0);
  EXPECT_EQ(r.cref, 0u);
  EXPECT_FALSE(r.Drog);
  EXPECT_EQ(r.rcddsq, "");
  EXPECT_EQ(recordingTitle(r), "7________241231_235959_BI_____00000000");
}

TEST(RecordingRow, DialledDigitsStopBeforeTheTypeByte) {
  Desc d;
  d.text(20, "123456789012345").byte(35, 'C');  // 15 digits run into the type byte
  auto r = voiceRecordFromDescription(d.b, "/w", 0);
  EXPECT_EQ(r.rcddsq, "123456789012345");
  EXPECT_EQ(r.rcdtype, "C");
  d.text(37, "12345678901234567");  // 17 digits: only 16 are kept
  EXPECT_EQ(voiceRecordFromDescription(d.b, "/w", 0).rcdrcv, "1234567890123456");
}

TEST(RecordingRow, OddTypeBytesNeverReachTheFileName) {
  struct {
    uint8_t type;
    const char* stored;
    char inName;
    // clang-format off
  } cases[] = {{'A', "A", 'A'}, {'7', "7", '7'}, {'/', "/", '_'}, {0x01, " ", '_'}, {0x7F, " ", '_'},
               {'.', ".", '_'}, {0xE9, "\xE9", '_'}};
  // clang-format on
  for (auto c : cases) {
    Desc d;
    d.byte(35, c.type);
    auto r = voiceRecordFromDescription(d.b, "/w", 0);
    EXPECT_EQ(r.rcdtype, c.stored) << int(c.type);
    std::string title = recordingTitle(r);
    EXPECT_EQ(title[23], c.inName) << int(c.type);
    EXPECT_EQ(title.find('/'), std::string::npos);
  }
}

TEST(RecordingRow, ShortPortsArePaddedWithUnderscoresToEightCharacters) {
  struct {
    uint32_t port;
    const char* first9;
    // clang-format off
  } cases[] = {{0xFFFF1234, "1234_____"}, {0x12345678, "12345678_"}, {0xFFFFFFFF, "_________"},
               {0xFFFFFFFA, "A________"}};
  // clang-format on
  for (auto c : cases) {
    Desc d;
    d.port(c.port);
    EXPECT_EQ(recordingTitle(voiceRecordFromDescription(d.b, "/w", 0)).substr(0, 9), c.first9);
  }
}

TEST(RecordingNameParse, NamesReadBackIntoTheSameRow) {
  Desc d;
  d.date(dateWord(11, 3, 14, 9, 30, 55)).port(0xFFFF1234).size(8000).text(20, "0212").byte(35, 'A');
  d.byte(36, 'O').text(37, "55").text(53, "0532").cref(0xABCDEF01);
  auto r = voiceRecordFromDescription(d.b, "/w/Wav", 0xC0A80001);
  for (const char* ext : {"apc", "mp3", "MP3", "Apc"}) {
    auto back = parseVoiceFileName(r.rcdfn + "." + ext, 8000);
    ASSERT_TRUE(back) << ext;
    EXPECT_EQ(back->rcdport, r.rcdport);
    EXPECT_EQ(back->rcddate, r.rcddate);
    EXPECT_EQ(back->rcdtime, r.rcdtime);
    EXPECT_EQ(back->rcdtype, r.rcdtype);
    EXPECT_EQ(back->Drog, r.Drog);
    EXPECT_EQ(back->rcddsq, r.rcddsq);
    EXPECT_EQ(back->rcdrcv, r.rcdrcv);
    EXPECT_EQ(back->rcdcni, r.rcdcni);
    EXPECT_EQ(back->cref, r.cref);
    EXPECT_EQ(back->ipadr, r.ipadr);
    EXPECT_EQ(back->rcdfn, r.rcdfn);
    EXPECT_EQ(back->rcdfx, ext);
    EXPECT_FALSE(back->Wavu);
  }
}

TEST(RecordingNameParse, TableOfNames) {
  struct Case {
    const char* path;
    uint64_t size;
    bool ok;
    const char* port;
    uint32_t date, time;
    uint32_t duration;
    bool wavu;
    const char* fn;
  } cases[] = {
      {"/d/1234_____110314_093055_AO_1_2_3__7F000001.mp3", 2501, true, "    1234", 0x110314, 0x093055, 3, false,
       "/d/1234_____110314_093055_AO_1_2_3__7F000001"},
      {"/d/1234_____110314_093055_AO_1_2_3__7F000001.apc", 6001, true, "    1234", 0x110314, 0x093055, 2, false,
       "/d/1234_____110314_093055_AO_1_2_3__7F000001"},
      // A failed conversion: fields from before the first dot.
      {"/d/12AB_____110314_093055_AI_1_2_3__7F000001.cfl.wav", 0, true, "    12AB", 0x110314, 0x093055, 0, true,
       "/d/12AB_____110314_093055_AI_1_2_3__7F000001.cfl"},
      {"/d/1234_____1103x4_093055_AO_1_2_3__7F000001.mp3", 1, false, "", 0, 0, 0, false, ""},
      {"/d/1234_____110314_09305__AO_1_2_3__7F000001.mp3", 1, false, "", 0, 0, 0, false, ""},
      {"/d/1234_____abcdef_093055_AO.mp3", 1, false, "", 0, 0, 0, false, ""},
      {"/d/1234_____110314_093055_AO_1_2_3__7F000001.txt", 1, false, "", 0, 0, 0, false, ""},
      {"/d/1234_____110314_093055_AO_1_2_3__7F000001", 1, false, "", 0, 0, 0, false, ""},
      {"/d/short.mp3", 1, false, "", 0, 0, 0, false, ""},
  };
  for (const auto& c : cases) {
    auto r = parseVoiceFileName(c.path, c.size);
    ASSERT_EQ(bool(r), c.ok) << c.path;
    if (!r) continue;
    EXPECT_EQ(r->rcdport, c.port) << c.path;
    EXPECT_EQ(r->rcddate, c.date) << c.path;
    EXPECT_EQ(r->rcdtime, c.time) << c.path;
    EXPECT_EQ(r->duration, c.duration) << c.path;
    EXPECT_EQ(r->Wavu, c.wavu) << c.path;
    EXPECT_EQ(r->rcdfn, c.fn) << c.path;
    EXPECT_EQ(r->cref, 0u) << c.path;
    EXPECT_EQ(r->ipadr, 0x7F000001u) << c.path;
  }
}

TEST(RecordingNameParse, WavDurationUsesTheHeaderByteRate) {
  corvane::testing::TempDir tmp("recname");
  const std::string& dir = tmp.path();
  std::string path = dir + "/1234_____110314_093055_AO_1_2_3__7F000001.wav";
  auto h = wavHeader(32000);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(h.data(), 1, h.size(), f);
  std::fclose(f);
  EXPECT_EQ(parseVoiceFileName(path, 32044)->duration, 2u);  // 16000 bytes a second
  // A header that cannot be read: 16000 bytes a second is assumed.
  EXPECT_EQ(parseVoiceFileName(dir + "/1234_____110314_093055_AO_1_2_3__7F000001.wav", 48000)->duration, 3u);
  EXPECT_EQ(parseVoiceFileName(dir + "/9________110314_093055_AO_____.WAV", 48000)->duration, 3u);
}
