#include "halvern/speech_path.h"

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

namespace halvern {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kTickFrames = 5;

class Wire : public SpeechSink {
 public:
  void sendDatagram(std::span<const std::uint8_t> d) override { sent.emplace_back(d.begin(), d.end()); }
  std::vector<Bytes> sent;
};

// A voice-like test signal: two drifting tones with a syllable envelope and
// a little noise, as 16-bit little-endian samples.
Bytes testSignal(std::size_t frames) {
  Bytes out(frames * kSpeechFrameBytes);
  std::uint32_t noise = 12345;
  for (std::size_t i = 0; i < frames * kSpeechSamples; ++i) {
    const double t = double(i) / 8000;
    const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * t);
    noise = noise * 1103515245 + 12345;
    const double v =
        envelope * (6000 * std::sin(2 * M_PI * (220 + 40 * t) * t) + 2500 * std::sin(2 * M_PI * 1250 * t)) +
        double(int(noise >> 16 & 0x3FF) - 512);
    const auto s = std::int16_t(std::lround(v));
    out[2 * i] = std::uint8_t(s);
    out[2 * i + 1] = std::uint8_t(std::uint16_t(s) >> 8);
  }
  return out;
}

// The same signal through bcg729 directly: one encoder and one decoder.
std::vector<std::int16_t> directCodec(const Bytes& pcm) {
  auto* enc = initBcg729EncoderChannel(0);
  auto* dec = initBcg729DecoderChannel();
  std::vector<std::int16_t> out(pcm.size() / 2);
  for (std::size_t f = 0; f < pcm.size() / kSpeechFrameBytes; ++f) {
    std::int16_t in[kSpeechSamples];
    for (std::size_t i = 0; i < kSpeechSamples; ++i) {
      const std::size_t at = f * kSpeechFrameBytes + 2 * i;
      in[i] = std::int16_t(pcm[at] | pcm[at + 1] << 8);
    }
    std::uint8_t bits[10];
    std::uint8_t length = 0;
    bcg729Encoder(enc, in, bits, &length);
    EXPECT_EQ(length, 10);
    bcg729Decoder(dec, bits, 10, 0, 0, 0, &out[f * kSpeechSamples]);
  }
  closeBcg729EncoderChannel(enc);
  closeBcg729DecoderChannel(dec);
  return out;
}

std::vector<std::int16_t> samplesOf(const Bytes& pcm) {
  std::vector<std::int16_t> out(pcm.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = std::int16_t(pcm[2 * i] | pcm[2 * i + 1] << 8);
  return out;
}

bool isGap(const std::int16_t* frame) {
  return std::all_of(frame, frame + kSpeechSamples, [](std::int16_t s) { return s == -1; });
}

// Sends the signal one 5-frame packet per 50 ms tick from one path, lets
// deliver() decide what reaches the other path, and plays 5 frames there
// per tick.
template <class Deliver>
std::vector<std::int16_t> call(const Bytes& signal, Deliver deliver) {
  Wire wire, unused;
  SpeechPath sender(wire), receiver(unused);
  sender.reset(77);
  receiver.reset(78);
  Bytes played;
  Bytes out(kTickFrames * kSpeechFrameBytes);
  const std::size_t ticks = signal.size() / out.size();
  for (std::size_t t = 0; t < ticks; ++t) {
    sender.send(std::span(signal).subspan(t * out.size(), out.size()));
    for (const Bytes& d : deliver(t, wire.sent.back())) receiver.queueDatagram(d);
    receiver.playOut(out, false);
    played.insert(played.end(), out.begin(), out.end());
  }
  return samplesOf(played);
}

TEST(SpeechPath, LosslessCallSoundsExactlyLikeTheCodecAfterTheJitterDelay) {
  const Bytes signal = testSignal(400);
  const auto played = call(signal, [](std::size_t, const Bytes& d) { return std::vector<Bytes>{d}; });
  const auto direct = directCodec(signal);
  const std::size_t delay = JitterBuffer::kPlayDelay * kSpeechSamples;
  for (std::size_t f = 0; f < JitterBuffer::kPlayDelay; ++f) EXPECT_TRUE(isGap(&played[f * kSpeechSamples]));
  ASSERT_EQ(played.size(), direct.size());
  std::size_t differing = 0;
  for (std::size_t i = delay; i < played.size(); ++i) differing += played[i] != direct[i - delay];
  EXPECT_EQ(differing, 0u);
}

TEST(SpeechPath, LossesAndResyncsCostExactlyTheirGapFrames) {
  const Bytes signal = testSignal(400);  // 80 packets
  const std::set<std::size_t> lost{7, 13, 14, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70};
  const std::size_t restart = 30, late = 45, junk = 52;
  std::uint32_t timestampShift = 0;
  Bytes held;
  const auto played = call(signal, [&](std::size_t t, const Bytes& sent) {
    std::vector<Bytes> out;
    if (lost.count(t)) return out;
    Bytes d = sent;
    // The far end starts again with a fresh timestamp.
    if (t == restart) timestampShift = 123456;
    const std::uint32_t ts = (std::uint32_t(d[4]) << 24 | d[5] << 16 | d[6] << 8 | d[7]) + timestampShift;
    for (int i = 0; i < 4; ++i) d[4 + i] = std::uint8_t(ts >> (24 - 8 * i));
    if (t == late - 1) {
      held = d;  // arrives one tick late, after its successor
      return out;
    }
    out.push_back(d);
    if (t == late) out.push_back(held);
    if (t == junk) {
      // Off the timestamp grid, but with a padding count past the payload:
      // dropped before it can resync anything.
      Bytes bad = d;
      bad[0] |= rtp::kPadded;
      bad[7] ^= 1;
      bad.back() = 200;
      out.push_back(bad);
    }
    return out;
  });
  std::size_t gaps = 0;
  for (std::size_t f = 0; f < played.size() / kSpeechSamples; ++f) gaps += isGap(&played[f * kSpeechSamples]);
  // 10 at the start; each lost packet 5; a restart clears the 10 frames
  // waiting; a late packet resyncs too and costs its successor as well.
  EXPECT_EQ(gaps, 10 + 5 * lost.size() + 10 + 15);
}

TEST(SpeechPath, MutedPacketsAreNotSentButStillAdvanceTheSequence) {
  Wire wire;
  SpeechPath path(wire);
  path.reset(0x00ABCDEF);
  const Bytes frames = testSignal(5);
  path.send(frames);
  path.setTransmitMute(true);
  path.send(frames);
  path.send(frames);
  path.setTransmitMute(false);
  path.send(frames);
  ASSERT_EQ(wire.sent.size(), 2u);
  EXPECT_EQ(wire.sent[1].size(), 62u);
  EXPECT_EQ(wire.sent[1][3], 3);                            // sequence jumped over the two muted packets
  EXPECT_EQ(wire.sent[1][6] << 8 | wire.sent[1][7], 1200);  // timestamp 3 * 400
}

TEST(SpeechPath, ErasedFrameIsConcealedAndNotPlayedAsAGap) {
  Wire wire, unused;
  SpeechPath sender(wire), receiver(unused);
  const Bytes signal = testSignal(15);
  sender.send(std::span(signal).first(5 * kSpeechFrameBytes));
  sender.send(std::span(signal).subspan(5 * kSpeechFrameBytes, 5 * kSpeechFrameBytes));
  // The third packet carries an erased frame: all zero once unmasked.
  Bytes erased = wire.sent.back();
  erased[3] = 2;
  erased[6] = 0x03;
  erased[7] = 0x20;  // timestamp 800
  erased.resize(22);
  std::fill(erased.begin() + 12, erased.end(), 0);
  erased[12] = rtp::kFrameMask;
  for (const Bytes& d : wire.sent) receiver.queueDatagram(d);
  receiver.queueDatagram(erased);
  Bytes out(21 * kSpeechFrameBytes);
  receiver.playOut(out, false);
  const auto played = samplesOf(out);
  for (std::size_t f = 10; f < 21; ++f) EXPECT_FALSE(isGap(&played[f * kSpeechSamples])) << "frame " << f;
}

// Melody: P = 0 makes notes of 801 samples (length byte 0), 1651 samples
// (length 1) and gaps of 11 samples; the player starts with a 2-sample gap.
constexpr std::size_t kStart = 2, kNote0 = 801, kNote1 = 1651, kGap = 11;

std::vector<std::int16_t> playMelody(const Melody& m, std::uint16_t level, std::size_t samples) {
  MelodyPlayer p;
  p.setLevel(level);
  p.start(0, m);
  std::vector<std::int16_t> out(samples);
  for (auto& s : out) s = p.next();
  return out;
}

double frequency(const std::vector<std::int16_t>& s, std::size_t from, std::size_t n) {
  std::size_t crossings = 0;
  for (std::size_t i = from + 1; i < from + n; ++i) crossings += (s[i - 1] < 0) != (s[i] < 0);
  return crossings * 8000.0 / 2 / double(n);
}

int peak(const std::vector<std::int16_t>& s, std::size_t from, std::size_t n) {
  int p = 0;
  for (std::size_t i = from; i < from + n; ++i) p = std::max(p, std::abs(int(s[i])));
  return p;
}

TEST(Melody, NotesRestAndLoopSoundAsWritten) {
  Melody m{};
  m[0] = 0x09;  // 880 Hz, short
  m[1] = 0x1E;  // rest, short
  m[2] = 0x20;  // 523 Hz, long
  m[3] = 0x3F;  // back to the first byte
  const std::size_t note1 = kStart, rest = note1 + kNote0 + kGap, note2 = rest + kNote0 + kGap;
  const std::size_t again = note2 + kNote1 + kGap;
  const auto s = playMelody(m, 2, again + kNote0 + kGap);
  EXPECT_NEAR(frequency(s, note1 + 100, 600), 880, 15);
  EXPECT_NEAR(frequency(s, note2 + 100, 1400), 523, 10);
  EXPECT_EQ(peak(s, rest - kGap, kGap + kNote0 + kGap), 0);  // gaps and the rest are silent
  EXPECT_EQ(peak(s, 0, kStart), 0);
  EXPECT_EQ(peak(s, note2 + kNote1, kGap), 0);
  EXPECT_NEAR(peak(s, note1 + 100, 600), 1023, 10);
  // The edges are ramped: the first and last 16 samples are halved 4-5 times.
  EXPECT_LE(peak(s, note1, 16), 1023 / 16);
  EXPECT_LE(peak(s, note1 + kNote0 - 16, 16), 1023 / 16);
  // The loop plays the first note again, sample for sample.
  EXPECT_TRUE(std::equal(s.begin() + note1, s.begin() + note1 + kNote0, s.begin() + again));
}

TEST(Melody, ToneLevelScalesTheMelody) {
  Melody m{};
  m[0] = 0x0C;  // 1046 Hz
  m[1] = 0x1F;
  const auto base = playMelody(m, 2, kStart + kNote0);
  const auto loud = playMelody(m, 5, kStart + kNote0);
  const auto quiet = playMelody(m, 8, kStart + kNote0);  // only the low 3 bits count: level 0
  EXPECT_NEAR(double(peak(loud, 100, 600)) / peak(base, 100, 600), 8.0 / 3, 0.01);
  EXPECT_NEAR(double(peak(quiet, 100, 600)) / peak(base, 100, 600), 0.5, 0.01);
}

TEST(Melody, MelodyModePlaysTheMelodyWhileSpeechIsStillSent) {
  Wire wire;
  SpeechPath path(wire);
  path.reset(1);
  Melody m{};
  m[0] = 0x0C;
  m[1] = 0x1F;
  path.melodyPlayer().start(0, m);
  path.melodyPlayer().setLevel(2);
  path.setMelodyMode(true);
  path.sendFrames(testSignal(5));
  Bytes out(10 * kSpeechFrameBytes);
  path.playFrames(out);
  EXPECT_EQ(wire.sent.size(), 1u);
  const auto played = samplesOf(out);
  EXPECT_GT(peak(played, 100, 600), 1000);
  path.setTransmitMute(true);
  path.playFrames(out);
  EXPECT_EQ(peak(samplesOf(out), 0, 800), 0);  // muted: silence instead of the melody
}

}  // namespace
}  // namespace halvern
