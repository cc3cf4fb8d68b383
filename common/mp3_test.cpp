#include "common/mp3.h"

#include "common/test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace corvane;

namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;
using corvane::testing::writeAll;

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// A 8000 Hz mono WAV of a 440 Hz tone at the given amplitude.
std::string toneWav(size_t samples, double amplitude) {
  auto h = wavHeader(uint32_t(samples * 2));
  std::string b(h.begin(), h.end());
  for (size_t i = 0; i < samples; ++i) {
    int16_t v = int16_t(std::lround(amplitude * std::sin(2 * M_PI * 440.0 * double(i) / 8000.0)));
    b += char(uint16_t(v) & 0xFF);
    b += char(uint16_t(v) >> 8);
  }
  return b;
}

double rms(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(to - from));
}

}  // namespace

TEST(WavChunks, FmtAndDataAreFoundPastOtherChunks) {
  std::string b = "RIFF____WAVE";
  b += std::string("LIST") + std::string("\x03\x00\x00\x00", 4) + "abc" + '\0';  // odd length, padded
  b += std::string("fmt ") + std::string("\x10\x00\x00\x00", 4);
  b += std::string("\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00", 16);
  b += std::string("data") + std::string("\x00\x10\x00\x00", 4);
  auto info = parseWavHeader(b, b.size() + 100);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->format, 1);
  EXPECT_EQ(info->channels, 1);
  EXPECT_EQ(info->sampleRate, 8000u);
  EXPECT_EQ(info->byteRate, 16000u);
  EXPECT_EQ(info->bitsPerSample, 16);
  EXPECT_EQ(info->dataOffset, b.size());
  EXPECT_EQ(info->dataSize, 100u);  // cut to what the file holds
}

TEST(WavChunks, MalformedHeadersAreRejected) {
  auto good = wavHeader(0);
  std::string b(good.begin(), good.end());
  EXPECT_TRUE(parseWavHeader(b, b.size()));
  EXPECT_FALSE(parseWavHeader(b.substr(0, 30), 30));             // fmt chunk cut off
  EXPECT_FALSE(parseWavHeader("RIFX" + b.substr(4), b.size()));  // not RIFF
  std::string huge = b;
  huge[16] = '\xff';
  huge[17] = '\xff';
  huge[18] = '\xff';
  huge[19] = '\x7f';  // fmt length points far past the end
  EXPECT_FALSE(parseWavHeader(huge.substr(0, 12) + "junk" + huge.substr(16), huge.size()));
}

TEST(Mp3Encoding, ToneComesBackWithItsLengthAndLevel) {
  TempDir tmp("mp3_test");
  const std::string& dir = tmp.path();
  const size_t samples = 8000 * 3;
  ASSERT_TRUE(writeAll(dir + "/t.wav", toneWav(samples, 8000)));
  ASSERT_EQ(encodeWavToMp3(dir + "/t.wav", dir + "/t.mp3"), ConvertStatus::Ok);
  std::string mp3 = readAll(dir + "/t.mp3");
  ASSERT_GT(mp3.size(), 1000u);
  auto pcm = decodeMp3(mp3);
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->sampleRate, 8000);
  EXPECT_EQ(pcm->channels, 1);
  // Encoder delay and padding add at most a few frames of 576 samples.
  EXPECT_GE(pcm->samples.size(), samples);
  EXPECT_LE(pcm->samples.size(), samples + 4 * 576);
  const double expected = 8000 / std::sqrt(2.0);
  const double got = rms(pcm->samples, 4000, 20000);
  EXPECT_NEAR(got, expected, expected * 0.15);
}

TEST(Mp3Encoding, UnsupportedOrMissingInputLeavesNoMp3) {
  TempDir tmp("mp3_test");
  const std::string& dir = tmp.path();
  std::string wav = toneWav(800, 1000);
  wav[34] = 8;  // 8-bit samples
  ASSERT_TRUE(writeAll(dir + "/8bit.wav", wav));
  EXPECT_EQ(encodeWavToMp3(dir + "/8bit.wav", dir + "/8bit.mp3"), ConvertStatus::NotPcm16);
  EXPECT_FALSE(exists(dir + "/8bit.mp3"));
  ASSERT_TRUE(writeAll(dir + "/junk.wav", "not a wav at all"));
  EXPECT_EQ(encodeWavToMp3(dir + "/junk.wav", dir + "/junk.mp3"), ConvertStatus::NotPcm16);
  EXPECT_EQ(encodeWavToMp3(dir + "/none.wav", dir + "/none.mp3"), ConvertStatus::SourceUnreadable);
  EXPECT_FALSE(exists(dir + "/none.mp3"));
}

TEST(Mp3Encoding, StopRequestOrUnwritableTargetRemovesThePartialMp3) {
  TempDir tmp("mp3_test");
  const std::string& dir = tmp.path();
  ASSERT_TRUE(writeAll(dir + "/s.wav", toneWav(8000, 1000)));
  std::atomic<bool> stop{true};
  EXPECT_EQ(encodeWavToMp3(dir + "/s.wav", dir + "/s.mp3", &stop), ConvertStatus::Stopped);
  EXPECT_FALSE(exists(dir + "/s.mp3"));
  EXPECT_EQ(encodeWavToMp3(dir + "/s.wav", dir + "/no/such/dir/s.mp3"), ConvertStatus::TargetUnwritable);
  EXPECT_TRUE(exists(dir + "/s.wav"));
}
