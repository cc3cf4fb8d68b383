// Softphone speech: CPU per 50 ms audio tick through the speech path (10
// captured frames coded and sent as one packet, 10 received frames through
// the jitter buffer and decoded), mean and 99th percentile, beside bcg729
// encoding and decoding the same frames directly; and the SNR of a fixed
// test signal through send -> jitter -> decode beside the direct codec.
#include "halvern/speech_path.h"

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// CPU time of this thread, so that other load on the machine does not count.
double cpuMicros() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}
constexpr std::size_t kTickFrames = 10, kTicks = 3000;  // 150 s of speech

void print(const char* name, double value, const char* unit, const char* baseline = nullptr) {
  if (baseline)
    std::printf("%s: %.3f %s (baseline: %s)\n", name, value, unit, baseline);
  else
    std::printf("%s: %.3f %s\n", name, value, unit);
}

std::vector<std::int16_t> testSignal(std::size_t samples) {
  std::vector<std::int16_t> out(samples);
  for (std::size_t i = 0; i < samples; ++i) {
    const double t = double(i) / 8000;
    const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * t);
    out[i] = std::int16_t(std::lround(
        envelope * (6000 * std::sin(2 * M_PI * (180 + 60 * std::sin(t)) * t) + 2500 * std::sin(2 * M_PI * 1250 * t))));
  }
  return out;
}

std::vector<std::uint8_t> bytesOf(const std::vector<std::int16_t>& s) {
  std::vector<std::uint8_t> b(s.size() * 2);
  for (std::size_t i = 0; i < s.size(); ++i) {
    b[2 * i] = std::uint8_t(s[i]);
    b[2 * i + 1] = std::uint8_t(std::uint16_t(s[i]) >> 8);
  }
  return b;
}

struct Loopback : halvern::SpeechSink {
  halvern::SpeechPath* peer = nullptr;
  void sendDatagram(std::span<const std::uint8_t> d) override { peer->queueDatagram(d); }
};

struct Stats {
  double mean = 0, p99 = 0;
};

Stats stats(std::vector<double> us) {
  Stats s;
  for (double v : us) s.mean += v;
  s.mean /= double(us.size());
  std::sort(us.begin(), us.end());
  s.p99 = us[us.size() * 99 / 100];
  return s;
}

// SNR of out against in, with out delayed by delay samples.
double snrAt(const std::vector<std::int16_t>& in, const std::vector<std::int16_t>& out, std::size_t delay) {
  double sig = 0, err = 0;
  for (std::size_t i = 0; i + delay < out.size() && i < in.size(); ++i) {
    sig += double(in[i]) * in[i];
    const double e = double(out[i + delay]) - in[i];
    err += e * e;
  }
  return 10 * std::log10(sig / std::max(err, 1.0));
}

// The best SNR over the codec's own delay of up to one frame on top of delay.
double snr(const std::vector<std::int16_t>& in, const std::vector<std::int16_t>& out, std::size_t delay) {
  double best = -100;
  for (std::size_t lag = 0; lag <= halvern::kSpeechSamples; ++lag) best = std::max(best, snrAt(in, out, delay + lag));
  return best;
}

}  // namespace

int main() {
  const std::size_t frameSamples = halvern::kSpeechSamples, tickSamples = kTickFrames * frameSamples;
  const auto signal = testSignal(kTicks * tickSamples);
  const auto pcm = bytesOf(signal);

  // Through the path: one side sends, the other plays out, each tick.
  Loopback toB;
  halvern::SpeechSink* none = &toB;
  halvern::SpeechPath a(toB), b(*none);
  toB.peer = &b;
  a.reset(1);
  b.reset(2);
  std::vector<std::uint8_t> out(kTickFrames * halvern::kSpeechFrameBytes);
  std::vector<std::int16_t> played;
  std::vector<double> pathUs;
  for (std::size_t t = 0; t < kTicks; ++t) {
    const double t0 = cpuMicros();
    a.send(std::span(pcm).subspan(t * out.size(), out.size()));
    b.playOut(out, false);
    pathUs.push_back(cpuMicros() - t0);
    for (std::size_t i = 0; i < tickSamples; ++i) played.push_back(std::int16_t(out[2 * i] | out[2 * i + 1] << 8));
  }

  // The same frames through bcg729 directly.
  auto* enc = initBcg729EncoderChannel(0);
  auto* dec = initBcg729DecoderChannel();
  std::vector<std::int16_t> direct(signal.size());
  std::vector<double> directUs;
  for (std::size_t t = 0; t < kTicks; ++t) {
    const double t0 = cpuMicros();
    for (std::size_t f = 0; f < kTickFrames; ++f) {
      const std::size_t at = t * tickSamples + f * frameSamples;
      std::uint8_t bits[10];
      std::uint8_t length = 0;
      bcg729Encoder(enc, &signal[at], bits, &length);
      bcg729Decoder(dec, bits, length, 0, 0, 0, &direct[at]);
    }
    directUs.push_back(cpuMicros() - t0);
  }
  closeBcg729EncoderChannel(enc);
  closeBcg729DecoderChannel(dec);

  const Stats path = stats(pathUs), codec = stats(directUs);
  print("speech_tick_cpu_mean", path.mean / 1000, "ms", "bcg729_direct_tick_cpu_mean");
  print("speech_tick_cpu_p99", path.p99 / 1000, "ms", "bcg729_direct_tick_cpu_p99");
  print("bcg729_direct_tick_cpu_mean", codec.mean / 1000, "ms");
  print("bcg729_direct_tick_cpu_p99", codec.p99 / 1000, "ms");
  print("speech_tick_budget_goal", 1.0, "ms");

  // Decoded speech lags by the jitter buffer's 10-frame play-out delay.
  const std::size_t delay = halvern::JitterBuffer::kPlayDelay * frameSamples;
  print("speech_path_snr", snr(signal, played, delay), "dB", "bcg729_direct_snr");
  print("bcg729_direct_snr", snr(signal, direct, 0), "dB");
  return 0;
}
