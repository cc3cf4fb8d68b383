#include "common/adpcm.h"

#include "common/byte_io.h"
#include "common/test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace corvane;

namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;
using corvane::testing::writeAll;

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

}  // namespace

// Values worked out by hand from the step and index tables.
struct NibbleCase {
  int16_t p0;
  int i0;
  uint8_t nibble;
  int16_t p1;
  int i1;
};

TEST(AdpcmDecoder, NibblesGiveTheHandComputedSamples) {
  const NibbleCase cases[] = {
      // clang-format off
      {0, 0, 0x0, 0, 0},            // step 7: diff 7>>3 = 0; index stays at 0
      {0, 0, 0x7, 11, 8},           // 0 + 7 + 3 + 1
      {0, 0, 0x8, 0, 0},            // sign bit alone: -0
      {0, 0, 0xF, -11, 8},
      {11, 8, 0xF, -19, 16},        // step 16: -(2 + 16 + 8 + 4)
      {0, 0, 0x4, 7, 2},            // 0 + 7
      {0, 0, 0x2, 3, 0},            // 0 + 3
      {0, 0, 0x1, 1, 0},            // 0 + 1
      {100, 66, 0x0, 603, 65},      // step 4026: 4026 >> 3 = 503
      // clang-format on
      {0, 60, 0x4, 2272 / 8 + 2272, 62},
  };
  for (const auto& c : cases) {
    AdpcmState s{c.p0, c.i0};
    EXPECT_EQ(adpcmDecodeNibble(s, c.nibble), c.p1) << int(c.nibble) << " from " << c.p0 << "/" << c.i0;
    EXPECT_EQ(s.index, c.i1);
  }
}

TEST(AdpcmDecoder, LoudSignalWrapsAroundInsteadOfClipping) {
  AdpcmState s{32767, 66};
  // 503 + 4026 + 2013 + 1006 = 7548; 32767 + 7548 wraps to -25221.
  EXPECT_EQ(adpcmDecodeNibble(s, 0x7), -25221);
  EXPECT_EQ(s.index, 66);
  AdpcmState n{-32768, 66};
  EXPECT_EQ(adpcmDecodeNibble(n, 0xF), int16_t(-32768 - 7548 + 65536));
}

TEST(AdpcmDecoder, StepTableIsTheImaTableUpTo4026) {
  EXPECT_EQ(adpcmStep(0), 7);
  EXPECT_EQ(adpcmStep(8), 16);
  EXPECT_EQ(adpcmStep(9), 17);
  EXPECT_EQ(adpcmStep(64), 3327);
  EXPECT_EQ(adpcmStep(65), 3660);
  EXPECT_EQ(adpcmStep(66), 4026);
}

TEST(AdpcmDecoder, LowNibbleOfEachByteComesFirst) {
  const uint8_t bytes[2] = {0x70, 0x07};
  int16_t out[4];
  AdpcmState s;
  adpcmDecode(s, bytes, 2, out);
  EXPECT_EQ(out[0], 0);   // 0: nothing
  EXPECT_EQ(out[1], 11);  // 7 from step 7
  EXPECT_EQ(out[2], 41);  // 7 from step 16: 11 + 2 + 16 + 8 + 4, index 16
  EXPECT_EQ(out[3], 45);  // 0 from step 34: 41 + 4, index 15
  EXPECT_EQ(s.index, 15);
}

TEST(WavHeader, HeaderFieldsMatchAn8kMono16BitFile) {
  auto h = wavHeader(960);
  std::string b(h.begin(), h.end());
  const ByteReader r(b);
  EXPECT_EQ(b.substr(0, 4), "RIFF");
  EXPECT_EQ(r.le32(4), 996u);
  EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(r.le32(16), 16u);
  EXPECT_EQ(r.le32(20), 0x00010001u);  // PCM, 1 channel
  EXPECT_EQ(r.le32(24), 8000u);
  EXPECT_EQ(r.le32(28), 16000u);
  EXPECT_EQ(r.le32(32), 0x00100002u);  // block align 2, 16 bits
  EXPECT_EQ(b.substr(36, 4), "data");
  EXPECT_EQ(r.le32(40), 960u);
}

TEST(WavHeader, DataSizeCountsWholeBlocksOnly) {
  struct {
    uint64_t size;
    uint32_t data;
    // clang-format off
  } cases[] = {{0, 0}, {64, 0}, {65, 0}, {64 + 119, 0}, {64 + 120, 480}, {64 + 200, 480}, {64 + 240, 960},
               {64 + 120 * 1000 + 7, 480000}};
  // clang-format on
  for (auto c : cases) EXPECT_EQ(apcWavDataSize(c.size), c.data) << c.size;
}

TEST(ApcFileDecoding, TwoBlocksGive960BytesOfSound) {
  TempDir tmp("adpcm_test");
  const std::string& dir = tmp.path();
  std::string apc(64, 'H');
  for (int i = 0; i < 240; ++i) apc += char(i * 37);
  ASSERT_TRUE(writeAll(dir + "/a.apc", apc));
  ASSERT_EQ(decodeApcFile(dir + "/a.apc", dir + "/a.wav"), ConvertStatus::Ok);
  std::string wav = readAll(dir + "/a.wav");
  ASSERT_EQ(wav.size(), 44u + 960u);
  EXPECT_EQ(ByteReader(wav).le32(40), 960u);
  // The samples equal a straight decode of the bytes after the header, with
  // the state carried from the first block into the second.
  AdpcmState s;
  std::vector<int16_t> pcm(480);
  adpcmDecode(s, reinterpret_cast<const uint8_t*>(apc.data() + 64), 240, pcm.data());
  for (size_t i = 0; i < pcm.size(); ++i) {
    const int16_t got = int16_t(ByteReader(wav).le16(44 + 2 * i));
    ASSERT_EQ(got, pcm[i]) << i;
  }
}

TEST(ApcFileDecoding, PartialLastBlockIsDropped) {
  TempDir tmp("adpcm_test");
  const std::string& dir = tmp.path();
  ASSERT_TRUE(writeAll(dir + "/b.apc", std::string(64 + 200, '\x11')));
  ASSERT_EQ(decodeApcFile(dir + "/b.apc", dir + "/b.wav"), ConvertStatus::Ok);
  EXPECT_EQ(readAll(dir + "/b.wav").size(), 44u + 480u);
}

TEST(ApcFileDecoding, FailuresLeaveNoHalfWrittenWavAndKeepTheSource) {
  TempDir tmp("adpcm_test");
  const std::string& dir = tmp.path();
  ASSERT_TRUE(writeAll(dir + "/short.apc", std::string(64, 'x')));
  EXPECT_EQ(decodeApcFile(dir + "/short.apc", dir + "/short.wav"), ConvertStatus::SourceTooShort);
  EXPECT_FALSE(exists(dir + "/short.wav"));
  EXPECT_TRUE(exists(dir + "/short.apc"));

  EXPECT_EQ(decodeApcFile(dir + "/missing.apc", dir + "/m.wav"), ConvertStatus::SourceUnreadable);
  EXPECT_FALSE(exists(dir + "/m.wav"));

  ASSERT_TRUE(writeAll(dir + "/ok.apc", std::string(64 + 1200, 'x')));
  EXPECT_EQ(decodeApcFile(dir + "/ok.apc", dir + "/nodir/ok.wav"), ConvertStatus::TargetUnwritable);
  EXPECT_TRUE(exists(dir + "/ok.apc"));

  std::atomic<bool> stop{true};
  EXPECT_EQ(decodeApcFile(dir + "/ok.apc", dir + "/ok.wav", &stop), ConvertStatus::Stopped);
  EXPECT_FALSE(exists(dir + "/ok.wav"));
  EXPECT_TRUE(exists(dir + "/ok.apc"));
}

TEST(AdpcmDecoder, EncodedToneDecodesCloseToTheOriginal) {
  AdpcmState enc, dec;
  long worst = 0;
  for (int i = 0; i < 8000; ++i) {
    int16_t x = int16_t(std::lround(8000 * std::sin(2 * M_PI * 300.0 * i / 8000.0)));
    uint8_t n = adpcmEncodeSample(enc, x);
    int16_t y = adpcmDecodeNibble(dec, n);
    EXPECT_EQ(y, enc.predicted);
    if (i > 400) worst = std::max(worst, std::labs(long(y) - long(x)));
  }
  EXPECT_LT(worst, 800);
}
