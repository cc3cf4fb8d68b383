// The conversion worker with real files: a recording is never lost between
// the fetched file, the intermediate WAV and the MP3.
#include "halvern/recording_converter.h"

#include "common/adpcm.h"
#include "common/mp3.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace halvern {
namespace {

using corvane::ConvertStatus;
using corvane::testing::readAll;
using corvane::testing::TempDir;
using corvane::testing::writeAll;

bool exists(const std::string& p) { return ::access(p.c_str(), F_OK) == 0; }

// A fetched recording: the 64-byte header and `blocks` blocks of a tone.
std::string recording(int blocks) {
  std::string s(corvane::kApcHeaderSize, '\0');
  corvane::AdpcmState st;
  for (int i = 0; i < blocks * 240; i += 2) {
    auto sample = [&](int n) { return int16_t(std::lround(6000 * std::sin(2 * M_PI * 440 * n / 8000.0))); };
    const uint8_t lo = corvane::adpcmEncodeSample(st, sample(i));
    const uint8_t hi = corvane::adpcmEncodeSample(st, sample(i + 1));
    s += char(lo | hi << 4);
  }
  return s;
}

TEST(RecordingConversion, FetchedRecordingBecomesAnMp3AndNothingElseStays) {
  TempDir dir;
  const std::string name = dir.path() + "/200_____240506_101011_AI___5551234";
  writeAll(name, recording(200));
  RecordingConverter conv;
  conv.start();
  conv.enqueue(name);
  conv.stop();
  EXPECT_TRUE(conv.takeNewFiles());
  auto pcm = corvane::decodeMp3(readAll(name + ".mp3"));
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->sampleRate, 8000);
  EXPECT_FALSE(exists(name));
  EXPECT_FALSE(exists(name + ".tmp"));
  EXPECT_FALSE(exists(name + ".wav"));
}

TEST(RecordingConversion, FetchedRecordingSurvivesWhenItsWavCannotBeWritten) {
  TempDir dir;
  const std::string name = dir.path() + "/rec";
  const std::string content = recording(10);
  writeAll(name, content);
  // Something that is no file stands where the WAV goes.
  ASSERT_EQ(::mkdir((name + ".tmp").c_str(), 0700), 0);
  EXPECT_EQ(convertFetchedRecording(name, {}), ConversionOutcome::NotDecoded);
  EXPECT_EQ(readAll(name), content);
  EXPECT_FALSE(exists(name + ".mp3"));
}

TEST(RecordingConversion, FailingMp3EncoderLeavesTheRecordingAsWav) {
  TempDir dir;
  const std::string name = dir.path() + "/rec";
  writeAll(name, recording(10));
  auto failing = [](const std::string&, const std::string& mp3) {
    writeAll(mp3, "partial frame");
    return ConvertStatus::EncoderFailed;
  };
  RecordingConverter conv(failing);
  conv.start();
  conv.enqueue(name);
  conv.stop();
  EXPECT_TRUE(conv.takeNewFiles());
  const std::string wav = readAll(name + ".wav");
  ASSERT_EQ(wav.size(), corvane::kWavHeaderSize + 10 * 480);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_FALSE(exists(name + ".mp3"));
  EXPECT_FALSE(exists(name + ".tmp"));
  EXPECT_FALSE(exists(name));
}

TEST(RecordingConversion, RecordingWithoutSoundIsDeletedAndNothingIsMade) {
  for (std::size_t size : {std::size_t(0), std::size_t(64)}) {
    TempDir dir;
    const std::string name = dir.path() + "/rec";
    writeAll(name, std::string(size, 'x'));
    EXPECT_EQ(convertFetchedRecording(name, {}), ConversionOutcome::TooShort) << size;
    EXPECT_FALSE(exists(name));
    EXPECT_FALSE(exists(name + ".tmp"));
    EXPECT_FALSE(exists(name + ".mp3"));
    EXPECT_FALSE(exists(name + ".wav"));
  }
}

TEST(RecordingConversion, StopConvertsEverythingQueuedFirst) {
  TempDir dir;
  RecordingConverter conv;
  for (int i = 0; i < 3; ++i) {
    writeAll(dir.path() + "/r" + std::to_string(i), recording(50));
    conv.enqueue(dir.path() + "/r" + std::to_string(i));
  }
  conv.start();
  conv.stop();
  EXPECT_EQ(conv.pending(), 0u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(exists(dir.path() + "/r" + std::to_string(i) + ".mp3")) << i;
}

TEST(RecordingConversion, RecordingsLeftByAnInterruptedRunAreConvertedBeforeAnyDownload) {
  TempDir dir;
  // Killed after the exchange confirmed one recording (still as fetched)
  // and while another was on its way to MP3 (its WAV whole, the fetched
  // file gone). Other files are left alone.
  const std::string fetched = dir.path() + "/200______240506_100000_AO_5550000_200";
  const std::string halfway = dir.path() + "/200______240506_100001_AI_5550001_201";
  writeAll(fetched, recording(50));
  writeAll(halfway + ".src", recording(50));
  ASSERT_EQ(corvane::decodeApcFile(halfway + ".src", halfway + ".tmp"), ConvertStatus::Ok);
  ::unlink((halfway + ".src").c_str());
  writeAll(halfway + ".mp3", "partial");
  writeAll(dir.path() + "/notes", "kept");
  writeAll(dir.path() + "/200______240506_100002_AO_5550002_202.mp3", "kept");
  EXPECT_EQ(interruptedRecordings(dir.path()), (std::vector<std::string>{fetched, halfway}));

  RecordingConverter conv;
  conv.start(dir.path());
  for (int i = 0; i < 500 && !conv.recovered(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(conv.recovered());
  EXPECT_TRUE(conv.takeNewFiles());
  for (const std::string& name : {fetched, halfway}) {
    EXPECT_TRUE(corvane::decodeMp3(readAll(name + ".mp3"))) << name;
    EXPECT_FALSE(exists(name)) << name;
    EXPECT_FALSE(exists(name + ".tmp")) << name;
  }
  EXPECT_EQ(readAll(dir.path() + "/notes"), "kept");
  EXPECT_EQ(readAll(dir.path() + "/200______240506_100002_AO_5550002_202.mp3"), "kept");
}

}  // namespace
}  // namespace halvern
