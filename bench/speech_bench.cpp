// Softphone speech, in one run:
// - CPU per 50 ms audio tick through the speech path alone (10 captured
//   frames coded and sent as one packet, 10 received frames through the
//   jitter buffer and decoded), and the whole tick as the core thread runs
//   it (audio engine, speech path, jitter buffer, 10 frames each way) with
//   the echo canceller working through the same 10 frames as the sound
//   card's callback does; mean and 99th percentile, beside bcg729 encoding
//   and decoding the same frames directly;
// - one-way mouth-to-ear latency between two keysets whose audio engines
//   run file devices on one virtual clock and whose packets cross real UDP
//   sockets on 127.0.0.1, found by cross-correlation and split into capture
//   batching, play-out delay and render queue, beside ITU-T G.114's 150 ms;
// - the SNR of a fixed test signal through send -> jitter -> decode beside
//   the direct codec.
#include "common/adpcm.h"
#include "common/files.h"
#include "halvern/audio_device.h"
#include "halvern/audio_engine.h"
#include "halvern/echo_canceller.h"
#include "halvern/speech_path.h"
#include "bench_support.h"

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

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

// Speech-like sound without any period a correlation could lock on to:
// bursts of 150-450 ms (a voiced buzz whose pitch glides, over band-limited
// noise) with pauses of 50-300 ms, their lengths drawn from a fixed seed.
std::vector<std::int16_t> burstSignal(std::size_t samples) {
  std::vector<std::int16_t> out(samples, 0);
  std::mt19937 rng(4224);
  std::uniform_int_distribution<int> burst(1200, 3600), pause(400, 2400), pitch(90, 260);
  std::normal_distribution<double> noise(0, 1);
  double lowPass = 0, bandPass = 0, phase = 0;
  for (std::size_t at = std::size_t(pause(rng)); at < samples;) {
    const std::size_t length = std::min<std::size_t>(std::size_t(burst(rng)), samples - at);
    const double f0 = pitch(rng), f1 = pitch(rng);
    for (std::size_t i = 0; i < length; ++i) {
      const double x = double(i) / double(length);
      const double envelope = std::sin(M_PI * x);
      phase += 2 * M_PI * (f0 + (f1 - f0) * x) / 8000;
      double buzz = 0;
      for (int h = 1; h <= 12; ++h) buzz += std::sin(h * phase) / h;
      // Two one-pole filters: noise between about 300 Hz and 3 kHz.
      const double n = noise(rng);
      lowPass += 0.7 * (n - lowPass);
      bandPass += 0.2 * (lowPass - bandPass);
      out[at + i] = std::int16_t(std::lround(envelope * (4000 * buzz + 3000 * (lowPass - bandPass))));
    }
    at += length + std::size_t(pause(rng));
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

std::vector<std::int16_t> samplesOf(std::string_view bytes) {
  std::vector<std::int16_t> s(bytes.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = std::int16_t(std::uint8_t(bytes[2 * i]) | std::uint8_t(bytes[2 * i + 1]) << 8);
  return s;
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

// The lag (0 to maxLag samples) at which out best matches in, by normalised
// cross-correlation over in[from, from + length); the second-best peak more
// than a frame away says how sure the match is.
struct Match {
  std::size_t lag = 0;
  double peak = 0, runnerUp = 0;
};

Match crossCorrelate(const std::vector<std::int16_t>& in, const std::vector<std::int16_t>& out, std::size_t from,
                     std::size_t length, std::size_t maxLag) {
  std::vector<double> r(maxLag + 1, 0);
  double inEnergy = 0;
  for (std::size_t i = from; i < from + length; ++i) inEnergy += double(in[i]) * in[i];
  for (std::size_t lag = 0; lag <= maxLag && from + length + lag <= out.size(); ++lag) {
    double sum = 0, outEnergy = 0;
    for (std::size_t i = from; i < from + length; ++i) {
      const double y = out[i + lag];
      sum += double(in[i]) * y;
      outEnergy += y * y;
    }
    if (inEnergy > 0 && outEnergy > 0) r[lag] = sum / std::sqrt(inEnergy * outEnergy);
  }
  Match m;
  m.lag = std::size_t(std::max_element(r.begin(), r.end()) - r.begin());
  m.peak = r[m.lag];
  for (std::size_t lag = 0; lag < r.size(); ++lag)
    if (lag + halvern::kSpeechSamples < m.lag || lag > m.lag + halvern::kSpeechSamples)
      m.runnerUp = std::max(m.runnerUp, r[lag]);
  return m;
}

// ---------------------------------------------------------------------------
// The whole tick with echo cancellation.

// A device on the virtual clock that does what the sound card's callback
// does: the microphone hears the test signal plus an echo of what the card
// plays at that moment, and the echo canceller, fed with the played sound,
// cleans it in whole blocks before it goes into the capture ring. The time
// the canceller takes is kept apart.
class CallbackDevice final : public halvern::ClockedAudioDevice {
 public:
  CallbackDevice(const halvern::AudioClock& clock, const std::vector<std::int16_t>& voice,
                 halvern::EchoCanceller& canceller)
      : ClockedAudioDevice(clock), voice_(voice), canceller_(canceller), cleaned_(canceller.frameSamples()) {}

  double cancelMicros = 0;

 protected:
  void capture(std::uint64_t cursor, std::size_t n) override {
    const std::size_t samples = n / 2;
    played_.resize(samples);
    mic_.resize(samples);
    renderRing().readSamples(cursor, played_);
    for (std::size_t i = 0; i < samples; ++i) {
      // A room echo 5 ms late at a third of the level.
      echo_[echoAt_] = played_[i];
      echoAt_ = (echoAt_ + 1) % echo_.size();
      const double v = voiceAt_ < voice_.size() ? voice_[voiceAt_] : 0;
      ++voiceAt_;
      mic_[i] = std::int16_t(std::clamp(v + echo_[echoAt_] / 3.0, -32768.0, 32767.0));
    }
    const double t0 = cpuMicros();
    const std::size_t block = cleaned_.size();
    std::size_t i = 0;
    for (; i + block <= samples; i += block) {
      canceller_.cancel(std::span(mic_).subspan(i, block), std::span(played_).subspan(i, block), cleaned_);
      captureRing().writeSamples(cursor + 2 * i, cleaned_);
    }
    if (i < samples) captureRing().writeSamples(cursor + 2 * i, std::span(mic_).subspan(i));
    cancelMicros += cpuMicros() - t0;
  }
  void render(std::uint64_t, std::size_t) override {}

 private:
  const std::vector<std::int16_t>& voice_;
  halvern::EchoCanceller& canceller_;
  std::vector<std::int16_t> cleaned_, played_, mic_;
  std::array<std::int16_t, 40> echo_{};
  std::size_t echoAt_ = 0, voiceAt_ = 0;
};

// The engine's side of the speech path, counting the frames it moves.
struct CountingFrames : halvern::SpeechFrames {
  explicit CountingFrames(halvern::SpeechPath& p) : path(p) {}
  void sendFrames(std::span<const std::uint8_t> pcm) override {
    sent += pcm.size() / halvern::kAudioFrameBytes;
    path.sendFrames(pcm);
  }
  void playFrames(std::span<std::uint8_t> pcm) override {
    played += pcm.size() / halvern::kAudioFrameBytes;
    path.playFrames(pcm);
  }
  halvern::SpeechPath& path;
  std::size_t sent = 0, played = 0;
};

struct TickFigures {
  Stats total, canceller;
  double framesEachWay = 0;  // mean over the measured ticks
};

// One keyset hearing its own packets: every tick moves 10 frames each way
// when the clock moves 100 ms between ticks (the most a tick ever does).
std::optional<TickFigures> measureWholeTick(const std::vector<std::int16_t>& voice) {
  auto canceller = halvern::makeSpeexEchoCanceller();
  if (!canceller) return std::nullopt;
  halvern::ManualAudioClock clock;
  Loopback self;
  halvern::SpeechPath path(self);
  self.peer = &path;
  path.reset(1);
  CountingFrames frames(path);
  halvern::AudioEngine engine(frames);
  auto owned = std::make_unique<CallbackDevice>(clock, voice, *canceller);
  CallbackDevice& device = *owned;
  if (!engine.start(std::move(owned))) return std::nullopt;

  constexpr std::size_t kSettle = 10;
  std::vector<double> totalUs, cancelUs;
  std::size_t moved = 0;
  for (std::size_t t = 0; t < kSettle + kTicks; ++t) {
    clock.advance(100ms);
    const std::size_t sent = frames.sent, played = frames.played;
    device.cancelMicros = 0;
    const double t0 = cpuMicros();
    engine.tick(3);
    const double us = cpuMicros() - t0;
    if (t < kSettle) continue;
    totalUs.push_back(us);
    cancelUs.push_back(device.cancelMicros);
    moved += std::min(frames.sent - sent, frames.played - played);
  }
  if (engine.restarts() != 1) return std::nullopt;
  return TickFigures{stats(totalUs), stats(cancelUs), double(moved) / double(kTicks)};
}

// ---------------------------------------------------------------------------
// Mouth-to-ear latency between two keysets over loopback UDP.

constexpr std::uint64_t kTickBytes = halvern::kAudioBytesPerSecond / 20;  // one 50 ms tick of sound
constexpr double kMsPerByte = 1000.0 / halvern::kAudioBytesPerSecond;

// What the engine's constants make of each part in a steady call, for the
// first sample of a packet.
namespace design {

// The engine takes 5 frames while fewer than kTakeTen bytes wait; one tick
// adds 5 frames, so it always leaves the largest whole tick below kTakeTen
// waiting: the packet's first sample is that old when sent.
constexpr std::uint64_t captureBytes = (halvern::AudioEngine::kTakeTen - 1) / kTickBytes * kTickBytes;

// A frame is played kPlayDelay frames after the play position reached its
// slot.
constexpr double jitterDepthMs = double(halvern::JitterBuffer::kPlayDelay) * 10;

// When both keysets start speech together, A's first packet leaves once
// kTakeFive bytes wait, but B's play position stays put until its render
// queue has fallen below kFillFive from the restart lead; the buffer is
// placed by that first packet, so every later one waits as long again.
constexpr std::uint64_t firstPacketTick() { return (halvern::AudioEngine::kTakeFive + kTickBytes - 1) / kTickBytes; }
constexpr std::uint64_t firstPlayOutTick() {
  std::uint64_t tick = 1;
  while (tick * kTickBytes < halvern::AudioEngine::kRenderLead &&
         halvern::AudioEngine::kRenderLead - tick * kTickBytes >= halvern::AudioEngine::kFillFive)
    ++tick;
  return tick;
}
constexpr double startSkewMs = firstPlayOutTick() > firstPacketTick()
                                   ? double(firstPlayOutTick() - firstPacketTick()) * 50
                                   : 0;
constexpr double playOutMs = jitterDepthMs + startSkewMs;

// From the restart lead the queue shrinks by one tick at a time until it is
// below kFillFive; the engine then adds one tick's worth each time, so a
// new block starts that far ahead of the device.
constexpr std::uint64_t renderBytes() {
  std::uint64_t queued = halvern::AudioEngine::kRenderLead - kTickBytes;
  while (queued >= halvern::AudioEngine::kFillFive) queued -= kTickBytes;
  return queued;
}

}  // namespace design

// One keyset: an audio engine on a WAV file device, a speech path, and a
// UDP socket on 127.0.0.1 connected to the other keyset's.
class Keyset final : public halvern::SpeechSink {
 public:
  Keyset() : engine_(path_) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      socklen_t len = sizeof address_;
      if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address_), &len) != 0) address_ = {};
    }
  }
  ~Keyset() override {
    engine_.stop();
    if (fd_ >= 0) ::close(fd_);
  }

  bool connectTo(const Keyset& peer) {
    return fd_ >= 0 && address_.sin_port != 0 &&
           ::connect(fd_, reinterpret_cast<const sockaddr*>(&peer.address_), sizeof peer.address_) == 0;
  }
  bool start(const std::string& input, const std::string& output, const halvern::AudioClock& clock,
             std::uint32_t ssrc) {
    path_.reset(ssrc);
    return engine_.start(halvern::FileAudioDevice::open(input, output, clock));
  }

  void sendDatagram(std::span<const std::uint8_t> d) override {
    if (::send(fd_, d.data(), d.size(), 0) == ssize_t(d.size())) {
      ++sent;
      if (onSend) onSend(d);
    }
  }
  // Queues every datagram that has come, waiting up to a second until
  // count have come in all; false when they did not.
  bool receiveUntil(std::size_t count) {
    std::array<std::uint8_t, 256> buffer;
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n >= 0) {
        ++received;
        if (onReceive) onReceive(std::span(buffer).first(std::size_t(n)));
        path_.queueDatagram(std::span(buffer).first(std::size_t(n)));
        continue;
      }
      if (received >= count) return true;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0) return false;
    }
  }

  halvern::AudioEngine& engine() { return engine_; }
  const halvern::SpeechPath& path() const { return path_; }

  std::size_t sent = 0, received = 0;
  std::function<void(std::span<const std::uint8_t>)> onSend, onReceive;

 private:
  int fd_ = -1;
  sockaddr_in address_{};
  halvern::SpeechPath path_{*this};
  halvern::AudioEngine engine_;
};

std::uint32_t timestampOf(std::span<const std::uint8_t> d) {
  return std::uint32_t(d[4]) << 24 | std::uint32_t(d[5]) << 16 | std::uint32_t(d[6]) << 8 | d[7];
}

bool writeWav(const std::string& path, const std::vector<std::int16_t>& samples) {
  const auto sound = bytesOf(samples);
  const auto header = corvane::wavHeader(std::uint32_t(sound.size()));
  std::string file(header.begin(), header.end());
  file.append(sound.begin(), sound.end());
  return corvane::writeFileAtomic(path, file);
}

struct LatencyFigures {
  double oneWayMs = 0, correlation = 0, runnerUp = 0;
  double captureMs = 0, playOutMs = 0, renderMs = 0, framesPerPacket = 0;
  double loopbackWallUs = 0;  // real time a datagram took over 127.0.0.1
  std::size_t packets = 0, lost = 0, restarts = 0;
};

// Per packet (by RTP timestamp) of A's: when its first sample was captured
// and sent, when B had it, and when B decoded it and played it.
struct PacketTimes {
  double captured = 0, sent = 0, arrived = -1, decoded = -1, played = -1;
  std::size_t frames = 0;
  std::chrono::steady_clock::time_point wallSent;
  double wallUs = -1;
};

std::optional<LatencyFigures> measureLatency(const std::vector<std::int16_t>& voice, const std::string& dir) {
  const std::string aIn = dir + "/a-in.wav", aOut = dir + "/a-out.wav", bIn = dir + "/b-in.wav",
                    bOut = dir + "/b-out.wav";
  if (!writeWav(aIn, voice) || !writeWav(bIn, {})) return std::nullopt;

  halvern::ManualAudioClock clock;
  Keyset a, b;
  if (!a.connectTo(b) || !b.connectTo(a)) return std::nullopt;
  if (!a.start(aIn, aOut, clock, 1) || !b.start(bIn, bOut, clock, 2)) return std::nullopt;

  const auto ms = [&] { return double(clock.now().count()) / 1e6; };
  std::map<std::uint32_t, PacketTimes> packets;
  double aCaptured = 0;  // age-corrected capture time of the packet being sent
  a.onSend = [&](std::span<const std::uint8_t> d) {
    PacketTimes& p = packets[timestampOf(d)];
    p.captured = aCaptured;
    p.sent = ms();
    p.frames = (d.size() - 12) / halvern::kCodedFrameSize;
    p.wallSent = std::chrono::steady_clock::now();
  };
  b.onReceive = [&](std::span<const std::uint8_t> d) {
    auto it = packets.find(timestampOf(d));
    if (it == packets.end()) return;
    it->second.arrived = ms();
    it->second.wallUs =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - it->second.wallSent).count();
  };

  // Both keysets go into speech at the same moment and tick together,
  // A first; B has A's packet before its own tick.
  const std::size_t ticks = voice.size() / (kTickBytes / 2) + 20;
  std::size_t lost = 0;
  for (std::size_t t = 0; t < ticks; ++t) {
    if (t > 0) clock.advance(50ms);
    a.receiveUntil(a.received);
    auto* aDevice = a.engine().device();
    const std::uint64_t readFrom = a.engine().readPosition();
    const std::uint64_t captureCursor = aDevice ? aDevice->captureCursor() : 0;
    // The byte at readFrom came in when the cursor passed it.
    aCaptured = ms() - double(captureCursor - readFrom) * kMsPerByte;
    a.engine().tick(3);
    if (!b.receiveUntil(a.sent)) {
      ++lost;
      b.received = a.sent;
    }
    auto* bDevice = b.engine().device();
    const std::uint64_t writeFrom = b.engine().writePosition();
    const std::uint64_t renderCursor = bDevice ? bDevice->renderCursor() : 0;
    b.engine().tick(3);
    const std::uint64_t produced = (b.engine().writePosition() - writeFrom) / halvern::kAudioFrameBytes;
    // The frames just played out were due kPlayDelay frames before the
    // frame now at the play position.
    const std::uint32_t next = b.path().jitterBuffer().baseTimestamp();
    for (std::uint64_t j = 0; j < produced && writeFrom >= renderCursor; ++j) {
      const std::uint32_t ts =
          next - std::uint32_t((halvern::JitterBuffer::kPlayDelay + produced - j) * halvern::kSpeechSamples);
      auto it = packets.find(ts);
      if (it == packets.end() || it->second.arrived < 0) continue;
      it->second.decoded = ms();
      it->second.played = ms() + double(writeFrom + j * halvern::kAudioFrameBytes - renderCursor) * kMsPerByte;
    }
  }
  LatencyFigures f;
  f.restarts = a.engine().restarts() + b.engine().restarts();
  f.lost = lost;
  a.engine().stop();
  b.engine().stop();

  // B's output against A's input: both devices started at the same moment,
  // so a sample's index difference is its delay.
  const auto file = corvane::readFileBytes(bOut);
  if (!file) return std::nullopt;
  const auto sound = halvern::wavSoundBytes(*file);
  if (!sound) return std::nullopt;
  const auto heard = samplesOf(*sound);
  const std::size_t from = 8000, length = std::min<std::size_t>(voice.size() - from, 10 * 8000);
  if (heard.size() < from + length + 8000) return std::nullopt;
  const Match m = crossCorrelate(voice, heard, from, length, 8000);
  f.oneWayMs = double(m.lag) / 8;
  f.correlation = m.peak;
  f.runnerUp = m.runnerUp;

  // The parts, over the packets that went the whole way after the first
  // second (the start is not a steady call).
  double frames = 0, wall = 0;
  for (const auto& [ts, p] : packets) {
    if (p.sent < 1000 || p.played < 0) continue;
    ++f.packets;
    f.captureMs += p.sent - p.captured;
    f.playOutMs += p.decoded - p.arrived;
    f.renderMs += p.played - p.decoded;
    frames += double(p.frames);
    wall += p.wallUs;
  }
  if (f.packets == 0) return std::nullopt;
  const double n = double(f.packets);
  f.captureMs /= n;
  f.playOutMs /= n;
  f.renderMs /= n;
  f.framesPerPacket = frames / n;
  f.loopbackWallUs = wall / n;
  return f;
}

// The correlation must find a known delay through a coarse copy of the
// signal before its answer on the real path is believed.
bool correlationFindsKnownDelay(const std::vector<std::int16_t>& voice) {
  constexpr std::size_t kDelay = 2345;
  std::vector<std::int16_t> delayed(voice.size() + kDelay, 0);
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0, 800);
  for (std::size_t i = 0; i < voice.size(); ++i)
    delayed[i + kDelay] = std::int16_t(std::clamp(voice[i] / 2 + noise(rng), -32768.0, 32767.0));
  const Match m = crossCorrelate(voice, delayed, 8000, 10 * 8000, 8000);
  return m.lag == kDelay && m.runnerUp < m.peak * 0.8;
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

  // The whole tick: engine, path, jitter buffer and the echo canceller.
  int status = 0;
  if (const auto whole = measureWholeTick(signal)) {
    print("speech_engine_tick_aec_cpu_mean", whole->total.mean / 1000, "ms", "bcg729_direct_tick_cpu_mean");
    print("speech_engine_tick_aec_cpu_p99", whole->total.p99 / 1000, "ms", "bcg729_direct_tick_cpu_p99");
    print("speech_engine_tick_aec_vs_goal_p99", whole->total.p99 / 1000, "ms", "speech_tick_budget_goal");
    print("speech_echo_canceller_tick_cpu_mean", whole->canceller.mean / 1000, "ms");
    print("speech_echo_canceller_tick_cpu_p99", whole->canceller.p99 / 1000, "ms");
    print("speech_engine_tick_frames_each_way", whole->framesEachWay, "frames");
    if (whole->framesEachWay != double(kTickFrames))
      std::printf("speech_engine_tick_aec_cpu_mean: suspect, the ticks did not all move %zu frames each way\n",
                  kTickFrames);
  } else {
    std::printf("speech_engine_tick_aec_cpu_mean: not measured, the echo canceller or the engine did not start\n");
    status = 1;
  }

  // Decoded speech lags by the jitter buffer's 10-frame play-out delay.
  const std::size_t delay = halvern::JitterBuffer::kPlayDelay * frameSamples;
  print("speech_path_snr", snr(signal, played, delay), "dB", "bcg729_direct_snr");
  print("bcg729_direct_snr", snr(signal, direct, 0), "dB");

  // Mouth to ear, A to B.
  const auto voice = burstSignal(30 * 8000);
  if (!correlationFindsKnownDelay(voice)) {
    std::printf("speech_latency_one_way: not measured, the correlation missed a known delay\n");
    return 1;
  }
  const std::string dir = bench::tempDir("speech");
  const auto latency = dir.empty() ? std::nullopt : measureLatency(voice, dir);
  bench::rmrf(dir);
  if (!latency) {
    std::printf("speech_latency_one_way: not measured, the two keysets could not be set up\n");
    return 1;
  }
  const LatencyFigures& l = *latency;
  print("speech_latency_one_way", l.oneWayMs, "ms", "g114_one_way_limit");
  print("g114_one_way_limit", 150.0, "ms");
  print("speech_latency_correlation_peak", l.correlation, "r", "speech_latency_correlation_runner_up");
  print("speech_latency_correlation_runner_up", l.runnerUp, "r");

  const double captureDesign = double(design::captureBytes) * kMsPerByte;
  const double renderDesign = double(design::renderBytes()) * kMsPerByte;
  print("speech_latency_capture_batching", l.captureMs, "ms", "speech_latency_capture_batching_design");
  print("speech_latency_capture_batching_design", captureDesign, "ms");
  print("speech_latency_frames_per_packet", l.framesPerPacket, "frames", "speech_latency_frames_per_packet_design");
  print("speech_latency_frames_per_packet_design", double(kTickBytes / halvern::kAudioFrameBytes), "frames");
  print("speech_latency_playout_delay", l.playOutMs, "ms", "speech_latency_playout_delay_design");
  print("speech_latency_playout_delay_design", design::playOutMs, "ms");
  print("speech_latency_playout_jitter_depth_design", design::jitterDepthMs, "ms");
  print("speech_latency_playout_start_skew_design", design::startSkewMs, "ms");
  print("speech_latency_render_queue", l.renderMs, "ms", "speech_latency_render_queue_design");
  print("speech_latency_render_queue_design", renderDesign, "ms");
  const double rest = l.oneWayMs - l.captureMs - l.playOutMs - l.renderMs;
  print("speech_latency_codec_and_rest", rest, "ms");
  print("speech_latency_loopback_udp_wall", l.loopbackWallUs / 1000, "ms");
  const auto share = [&](double part) { return l.oneWayMs > 0 ? 100 * part / l.oneWayMs : 0; };
  print("speech_latency_capture_batching_share", share(l.captureMs), "%");
  print("speech_latency_playout_delay_share", share(l.playOutMs), "%");
  print("speech_latency_render_queue_share", share(l.renderMs), "%");
  print("speech_latency_codec_and_rest_share", share(rest), "%");
  print("speech_latency_packets", double(l.packets), "packets");
  // What is left is the codec's own delay, less than a frame.
  if (rest < 0 || rest >= 10)
    std::printf("speech_latency_one_way: suspect, the parts leave %.3f ms unexplained\n", rest);
  if (l.lost != 0 || l.restarts != 2) {
    std::printf("speech_latency_one_way: suspect, %zu datagrams lost on loopback, %zu engine restarts (2 expected)\n",
                l.lost, l.restarts);
  }
  return status;
}
