#include "halvern/audio_engine.h"

#include "common/adpcm.h"
#include "common/files.h"
#include "common/test_support.h"
#include "halvern/echo_canceller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

namespace halvern {
namespace {

using namespace std::chrono_literals;

// Records what the engine sends and plays numbered samples (or gaps).
struct FakeSpeech : SpeechFrames {
  std::vector<std::int16_t> sent;
  std::vector<std::size_t> packets;  // frames per packet
  std::vector<std::size_t> plays;    // frames per play-out
  std::vector<std::int16_t> played;
  bool gaps = false;
  std::int16_t next = 1;

  void sendFrames(std::span<const std::uint8_t> pcm) override {
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) sent.push_back(std::int16_t(pcm[i] | pcm[i + 1] << 8));
    packets.push_back(pcm.size() / kAudioFrameBytes);
  }
  void playFrames(std::span<std::uint8_t> pcm) override {
    plays.push_back(pcm.size() / kAudioFrameBytes);
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
      const std::int16_t v = gaps ? std::int16_t(-1) : next++;
      pcm[i] = std::uint8_t(v);
      pcm[i + 1] = std::uint8_t(std::uint16_t(v) >> 8);
      played.push_back(v);
    }
  }
};

std::string wavImage(const std::vector<std::int16_t>& samples, std::uint16_t channels = 1) {
  std::string bytes;
  for (auto s : samples) {
    bytes.push_back(char(s & 0xFF));
    bytes.push_back(char(std::uint16_t(s) >> 8));
  }
  auto h = corvane::wavHeader(std::uint32_t(bytes.size()));
  h[22] = std::uint8_t(channels);
  return std::string(h.begin(), h.end()) + bytes;
}

// A fresh folder with the files a test writes into it.
struct TempDir {
  corvane::testing::TempDir folder{"halvern-audio"};
  std::filesystem::path path = folder.path();
  std::filesystem::path write(const std::string& name, const std::string& bytes) const {
    EXPECT_TRUE(corvane::testing::writeAll(folder.file(name), bytes));
    return folder.file(name);
  }
};

// An engine on a null device and a virtual clock, speech mode 3 from t = 0.
struct Rig {
  ManualAudioClock clock;
  FakeSpeech speech;
  AudioEngine engine{speech};
  Rig() {
    EXPECT_TRUE(engine.start(std::make_unique<NullAudioDevice>(clock)));
    engine.tick(3);
  }
  void after(std::chrono::milliseconds d, std::uint8_t mode = 3) {
    clock.advance(d);
    engine.tick(mode);
  }
};

// ---- thresholds and restarts ------------------------------------------

struct StepCase {
  const char* name;
  int ms;              // time since the restart at the first tick
  std::size_t sent;    // frames taken from capture (0, 5, 10)
  std::size_t played;  // frames written for render (0, 5, 10)
  bool restarts;
};

TEST(AudioEngineSteps, TakesAndFillsByTheThresholdsWithA200msLead) {
  const StepCase cases[] = {
      {"one tick: 800 captured, 2400 queued", 50, 0, 0, false},
      {"1600 captured is still five frames", 100, 5, 0, false},
      {"1760 captured, 1440 queued", 110, 10, 5, false},
      {"2560 captured, 640 queued", 160, 10, 10, false},
      {"9600 captured, device ran past the lead", 600, 10, 0, true},
      {"capture 600 ms behind", 601, 0, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    EXPECT_EQ(rig.engine.restarts(), 1u);
    EXPECT_EQ(rig.engine.writePosition() - rig.engine.readPosition(), 3200u);
    rig.after(std::chrono::milliseconds(c.ms));
    const std::size_t sent = rig.speech.packets.empty() ? 0 : rig.speech.packets.back();
    const std::size_t played = rig.speech.plays.empty() ? 0 : rig.speech.plays.back();
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(played, c.played);
    EXPECT_EQ(rig.engine.restarts(), c.restarts ? 2u : 1u);
  }
}

TEST(AudioEngineSteps, SteadyCallSendsFiveFramesPerTickWithoutRestarts) {
  Rig rig;
  for (int i = 0; i < 200; ++i) rig.after(50ms);
  EXPECT_EQ(rig.engine.restarts(), 1u);
  ASSERT_EQ(rig.speech.packets.size(), 199u);
  for (auto n : rig.speech.packets) EXPECT_EQ(n, 5u);
  // Play-out stays ahead of the device: the whole 10 s was filled.
  EXPECT_GE(rig.speech.played.size(), 200 * 400u - 1600);
}

TEST(AudioEngineModes, OnlyAChangeToSpeechRestartsAndMode0Silences) {
  Rig rig;
  rig.after(100ms);
  rig.after(50ms, 2);  // 3 -> 2: melody while still sending
  EXPECT_EQ(rig.engine.restarts(), 2u);
  rig.after(100ms, 2);
  EXPECT_EQ(rig.engine.restarts(), 2u);
  const auto packets = rig.speech.packets.size();
  rig.after(50ms, 0);
  rig.after(5s, 0);
  EXPECT_EQ(rig.speech.packets.size(), packets) << "nothing is captured while silenced";
  rig.after(50ms, 3);
  EXPECT_EQ(rig.engine.restarts(), 3u);
  rig.after(100ms, 3);
  EXPECT_EQ(rig.engine.restarts(), 3u) << "the 5 s in mode 0 are not a stall";
}

// A tick that comes more than a whole ring (1.6 s) late must restart
// instead of reading a ring that was overwritten meanwhile: a stall of
// exactly one or two rings would look like nothing happened modulo 25600.
TEST(AudioEngineStalls, StallOfAWholeRingOrMoreRestartsInsteadOfSendingStaleSound) {
  for (const auto stall : {1600ms, 1700ms, 3200ms}) {
    SCOPED_TRACE(stall.count());
    Rig rig;
    for (int i = 0; i < 10; ++i) rig.after(50ms);
    const auto packets = rig.speech.packets.size();
    rig.after(stall);
    EXPECT_EQ(rig.engine.restarts(), 2u);
    EXPECT_EQ(rig.speech.packets.size(), packets);
    rig.after(100ms);
    EXPECT_EQ(rig.engine.restarts(), 2u);
    EXPECT_EQ(rig.speech.packets.size(), packets + 1);
  }
}

// ---- file device ----------------------------------------------------------

TEST(AudioFileDevice, CapturedSoundReachesTheSpeechPathSampleForSample) {
  TempDir dir;
  std::vector<std::int16_t> ramp(8000 * 3);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = std::int16_t(i * 7 - 30000);
  const auto in = dir.write("in.wav", wavImage(ramp));
  ManualAudioClock clock;
  FakeSpeech speech;
  AudioEngine engine(speech);
  ASSERT_TRUE(engine.start(FileAudioDevice::open(in, dir.path / "out.wav", clock)));
  engine.tick(3);
  const std::chrono::milliseconds steps[] = {50ms, 38ms, 62ms, 47ms, 53ms, 70ms, 30ms};
  for (int i = 0; i < 40; ++i) {
    clock.advance(steps[i % 7]);
    engine.tick(3);
  }
  EXPECT_EQ(engine.restarts(), 1u);
  ASSERT_GE(speech.sent.size(), 8000u * 3 / 2);
  EXPECT_TRUE(std::equal(speech.sent.begin(), speech.sent.end(), ramp.begin()));
}

TEST(AudioFileDevice, OutputHoldsTheLeadThenEveryRenderedSampleAndGapsWithACompleteHeader) {
  TempDir dir;
  const auto in = dir.write("in.wav", wavImage(std::vector<std::int16_t>(800, 5)));
  const auto out = dir.path / "out.wav";
  ManualAudioClock clock;
  FakeSpeech speech;
  AudioEngine engine(speech);
  ASSERT_TRUE(engine.start(FileAudioDevice::open(in, out, clock)));
  engine.tick(3);
  for (int i = 0; i < 20; ++i) {
    speech.gaps = i >= 10;
    clock.advance(50ms);
    engine.tick(3);
  }
  engine.stop();  // completes the header

  const auto file = corvane::readFileBytes(out.string());
  ASSERT_TRUE(file);
  ASSERT_EQ(file->size(), 44u + 2 * 8000);  // one second played
  const auto expected = corvane::wavHeader(2 * 8000);
  EXPECT_EQ(file->substr(0, 44), std::string(expected.begin(), expected.end()));
  const auto sound = wavSoundBytes(*file);
  ASSERT_TRUE(sound);
  std::vector<std::int16_t> samples(sound->size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = std::int16_t(std::uint8_t((*sound)[2 * i]) | std::uint8_t((*sound)[2 * i + 1]) << 8);
  // 200 ms of silence, then exactly what the speech path played, gaps as -1.
  for (std::size_t i = 0; i < 1600; ++i) ASSERT_EQ(samples[i], 0) << i;
  for (std::size_t i = 1600; i < samples.size(); ++i) ASSERT_EQ(samples[i], speech.played[i - 1600]) << i;
  EXPECT_EQ(samples.back(), -1);
}

TEST(AudioFileDevice, UnreadableOrWrongInputIsNoDevice) {
  TempDir dir;
  ManualAudioClock clock;
  const std::vector<std::int16_t> some(160, 1);
  std::string cut = wavImage(some).substr(0, 30);
  std::string wrongRate = wavImage(some);
  wrongRate[24] = char(0x44);  // 8000 -> 8004 Hz
  const struct {
    const char* name;
    std::filesystem::path input;
  } cases[] = {
      {"missing", dir.path / "none.wav"},
      {"not a wav", dir.write("text.wav", "hello")},
      {"stereo", dir.write("stereo.wav", wavImage(some, 2))},
      {"other rate", dir.write("rate.wav", wrongRate)},
      {"header cut short", dir.write("cut.wav", cut)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSpeech speech;
    AudioEngine engine(speech);
    EXPECT_FALSE(engine.start(FileAudioDevice::open(c.input, dir.path / "out.wav", clock)));
  }
  FakeSpeech speech;
  AudioEngine engine(speech);
  EXPECT_FALSE(
      engine.start(FileAudioDevice::open(dir.write("ok.wav", wavImage(some)), dir.path / "no/such/out.wav", clock)));
}

// ---- the --audio value --------------------------------------------------

TEST(AudioOption, PicksTheDeviceAndResolvesFilesFromTheWorkingDirectory) {
  using K = AudioChoice::Kind;
  const std::filesystem::path wd = "/home/u/calls";
  const struct {
    const char* value;
    bool headless;
    std::optional<K> kind;
    const char* input;
    const char* output;
  } cases[] = {
      {"", false, K::SoundCard, "", ""},
      {"", true, K::Null, "", ""},
      {"default", true, K::SoundCard, "", ""},
      {"null", false, K::Null, "", ""},
      {"file:in-1.wav:out-1.wav", true, K::File, "/home/u/calls/in-1.wav", "/home/u/calls/out-1.wav"},
      {"file:/tmp/a.wav:../b.wav", false, K::File, "/tmp/a.wav", "/home/u/calls/../b.wav"},
      {"file:in.wav", true, std::nullopt, "", ""},
      {"file::out.wav", true, std::nullopt, "", ""},
      {"file:in.wav:", true, std::nullopt, "", ""},
      {"pulse", true, std::nullopt, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const auto choice = parseAudioOption(c.value, c.headless, wd);
    ASSERT_EQ(choice.has_value(), c.kind.has_value());
    if (!choice) continue;
    EXPECT_EQ(choice->kind, *c.kind);
    EXPECT_EQ(choice->input, std::filesystem::path(c.input));
    EXPECT_EQ(choice->output, std::filesystem::path(c.output));
  }
}

// ---- the sound card -----------------------------------------------------------

// Without a sound card the window says "Audio device not found!"; the
// sound libraries must not bury that under their own complaints.
TEST(AudioSoundCard, MissingCardIsNoDeviceWithoutNoiseOnStderr) {
  ::testing::internal::CaptureStderr();
  auto device = openAudioDevice(AudioChoice{}, realTimeAudioClock());
  const std::string noise = ::testing::internal::GetCapturedStderr();
  if (device) GTEST_SKIP() << "this machine has a sound card";
  FakeSpeech speech;
  AudioEngine engine(speech);
  EXPECT_FALSE(engine.start(std::move(device)));
  EXPECT_EQ(noise, "");
}

// ---- echo cancellation ------------------------------------------------------

// The far end's speech played by the card comes back through a room: 30 ms
// later, filtered and at half its level, with a little noise of its own. The
// canceller must take at least 15 dB of that echo out once it has learned
// the path.
TEST(EchoCancellation, FarEndSpeechComesBackAtLeast15dBQuieter) {
  auto canceller = makeSpeexEchoCanceller();
  ASSERT_TRUE(canceller);
  const std::size_t n = canceller->frameSamples();
  const std::size_t total = 8000 * 12, delay = 240;
  std::mt19937 random(19);
  std::normal_distribution<double> noise(0, 1);
  // Speech-like far end: low-passed noise whose loudness rises and falls.
  std::vector<double> far(total + delay);
  double low = 0;
  for (std::size_t i = 0; i < far.size(); ++i) {
    low = 0.7 * low + 0.3 * noise(random);
    far[i] = low * 4000 * (1.2 + std::sin(double(i) / 900));
  }
  const double path[] = {0.5, -0.3, 0.2, 0.1, -0.05};
  double echoPower = 0, residualPower = 0;
  std::vector<std::int16_t> played(n), captured(n), out(n);
  for (std::size_t at = delay + n; at + n <= total; at += n) {
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t t = at + i;
      double echo = 0;
      for (std::size_t k = 0; k < std::size(path); ++k) echo += path[k] * far[t - delay - 3 * k];
      played[i] = std::int16_t(far[t]);
      captured[i] = std::int16_t(std::lround(echo + 3 * noise(random)));
    }
    canceller->cancel(captured, played, out);
    if (at < total - 8000 * 4) continue;  // learning time
    for (std::size_t i = 0; i < n; ++i) {
      echoPower += double(captured[i]) * captured[i];
      residualPower += double(out[i]) * out[i];
    }
  }
  const double erle = 10 * std::log10(echoPower / residualPower);
  RecordProperty("erle_db", std::to_string(erle));
  EXPECT_GE(erle, 15.0);
}

}  // namespace
}  // namespace halvern
