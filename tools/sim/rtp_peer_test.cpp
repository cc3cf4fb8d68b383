// corvane-sim's speech peer against the softphone's own speech path and RTP
// parser: what the keyset hears back, and what each fault does to the
// packets it receives.
#include "tools/sim/rtp_peer.h"

#include "common/adpcm.h"
#include "halvern/speech_path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using halvern::kCodedFrameSize;
using halvern::kSpeechFrameBytes;
using halvern::kSpeechSamples;

struct Sent {
  std::string to;
  Bytes bytes;
  std::int64_t at;
};

class Wire : public RtpPeerOutput {
 public:
  void sendTo(const std::string& to, std::span<const std::uint8_t> d) override {
    sent.push_back({to, {d.begin(), d.end()}, now});
  }
  void logPacket(const char*, const std::string&, std::span<const std::uint8_t>, const std::string&) override {}
  std::vector<Sent> sent;
  std::int64_t now = 0;
};

class KeysetWire : public halvern::SpeechSink {
 public:
  void sendDatagram(std::span<const std::uint8_t> d) override { sent.emplace_back(d.begin(), d.end()); }
  std::vector<Bytes> sent;
};

halvern::SpeechKey testKey() {
  halvern::SpeechKey k;
  for (std::size_t i = 0; i < k.size(); ++i) k[i] = std::uint8_t(7 * i + 1);
  return k;
}

// A voice-like signal: a gliding tone with a syllable envelope.
std::vector<std::int16_t> voice(std::size_t samples) {
  std::vector<std::int16_t> out(samples);
  for (std::size_t i = 0; i < samples; ++i) {
    const double t = double(i) / 8000;
    out[i] = std::int16_t(
        std::lround((0.6 + 0.4 * std::sin(2 * M_PI * 3 * t)) *
                    (7000 * std::sin(2 * M_PI * (180 + 60 * t) * t) + 2000 * std::sin(2 * M_PI * 900 * t))));
  }
  return out;
}

Bytes asBytes(const std::vector<std::int16_t>& samples) {
  Bytes b(samples.size() * 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    b[2 * i] = std::uint8_t(samples[i]);
    b[2 * i + 1] = std::uint8_t(std::uint16_t(samples[i]) >> 8);
  }
  return b;
}

std::uint32_t ssrcOf(const Bytes& d) { return std::uint32_t(d[8] << 24 | d[9] << 16 | d[10] << 8 | d[11]); }

TEST(RtpPeerEcho, TheKeysetHearsItsOwnSpeechBackUnchangedInClearAndEnciphered) {
  for (const bool keyed : {false, true}) {
    SCOPED_TRACE(keyed ? "enciphered" : "clear");
    halvern::SpeechCipher cipher;
    if (keyed) cipher.load(testKey());
    KeysetWire keysetOut;
    halvern::SpeechPath keyset(keysetOut);
    keyset.setCipher(&cipher);
    keyset.reset(77);
    Wire wire;
    RtpPeer peer(RtpMode::Echo, wire);
    if (keyed) peer.setKey(testKey());

    constexpr std::size_t kPackets = 20, kFrames = kPackets * RtpPeer::kFramesPerPacket;
    const Bytes pcm = asBytes(voice(kFrames * kSpeechSamples));
    Bytes played;
    for (std::size_t p = 0; p < kPackets + 2; ++p) {
      wire.now = std::int64_t(p) * 50;
      if (p < kPackets) {
        keyset.send({pcm.data() + p * 5 * kSpeechFrameBytes, 5 * kSpeechFrameBytes});
        peer.received("keyset", keysetOut.sent.back(), wire.now);
      }
      for (const Sent& s : wire.sent) {
        EXPECT_EQ(s.to, "keyset");
        EXPECT_NE(ssrcOf(s.bytes), 77u) << "the echo is not a stream of its own";
        EXPECT_EQ(s.bytes.size(), keyed ? 12u + 64 : 12u + 50);
        keyset.queueDatagram(s.bytes);
      }
      wire.sent.clear();
      Bytes out(5 * kSpeechFrameBytes);
      keyset.playOut(out, false);
      played.insert(played.end(), out.begin(), out.end());
    }
    EXPECT_EQ(keyset.counts().stored, kPackets);
    EXPECT_EQ(keyset.counts().dropped, 0u);
    EXPECT_EQ(peer.counts().deciphered, keyed ? kPackets : 0u);

    // The first packet starts the keyset's jitter buffer: 10 gap frames,
    // then every frame decoded as a direct encode and decode gives it.
    halvern::G729Encoder enc;
    halvern::G729Decoder dec;
    std::array<std::int16_t, kSpeechSamples> in, out;
    std::array<std::uint8_t, kCodedFrameSize> coded;
    const std::size_t gap = 10 * kSpeechFrameBytes;
    ASSERT_EQ(played.size(), gap + kFrames * kSpeechFrameBytes);
    EXPECT_TRUE(std::all_of(played.begin(), played.begin() + gap, [](std::uint8_t b) { return b == 0xFF; }));
    for (std::size_t f = 0; f < kFrames; ++f) {
      halvern::unpackSamples(std::span(pcm).subspan(f * kSpeechFrameBytes).first<kSpeechFrameBytes>(), in);
      enc.encode(in, coded);
      dec.decode(coded, out);
      Bytes expected(kSpeechFrameBytes);
      halvern::packSamples(out, std::span(expected).first<kSpeechFrameBytes>());
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), played.begin() + gap + f * kSpeechFrameBytes))
          << "frame " << f;
    }
  }
}

// Six keyset packets, one every 50 ms, echoed through one fault; what the
// keyset's parser makes of the packets that reach it, in arrival order.
struct Arrival {
  std::optional<halvern::RtpDrop> drop;
  std::uint16_t sequence = 0;
  std::int64_t at = 0;
};

std::vector<Arrival> echoThrough(const RtpFaults& faults, bool keyed) {
  halvern::SpeechCipher cipher;
  if (keyed) cipher.load(testKey());
  Wire wire;
  RtpPeer peer(RtpMode::Echo, wire, faults);
  if (keyed) peer.setKey(testKey());
  halvern::RtpSender keyset;
  keyset.reset(77);
  const Bytes frames(5 * kCodedFrameSize, 0x42);
  for (std::int64_t t = 0; t <= 1000; t += 10) {
    wire.now = t;
    if (t % 50 == 0 && t < 300) {
      halvern::RtpDatagram d;
      keyset.build(frames, &cipher, d);
      peer.received("keyset", d.view(), t);
    }
    peer.tick(t);
  }
  std::vector<Arrival> out;
  for (const Sent& s : wire.sent) {
    const halvern::RtpParse p = halvern::parseRtp(s.bytes, &cipher);
    out.push_back({p.drop, p.packet.sequence, s.at});
  }
  return out;
}

std::vector<int> sequences(const std::vector<Arrival>& a) {
  std::vector<int> s;
  for (const Arrival& x : a) s.push_back(x.drop ? -1 : x.sequence);
  return s;
}

TEST(RtpPeerFaults, EachFaultDoesToTheKeysetsPacketsWhatItSays) {
  struct Case {
    const char* name;
    RtpFaults faults;
    std::vector<int> sequences;  // as the keyset parses them, -1: dropped
    halvern::RtpDrop drop = halvern::RtpDrop::BadHeader;
  };
  const PacketSet second{{2}, 0};
  const auto with = [](PacketSet RtpFaults::*member, PacketSet set) {
    RtpFaults f;
    f.*member = std::move(set);
    return f;
  };
  const std::vector<Case> cases = {
      {"none", {}, {0, 1, 2, 3, 4, 5}},
      {"loss", with(&RtpFaults::loss, second), {0, 2, 3, 4, 5}},
      {"reorder", with(&RtpFaults::reorder, second), {0, 2, 1, 3, 4, 5}},
      {"duplicate", with(&RtpFaults::duplicate, second), {0, 1, 1, 2, 3, 4, 5}},
      {"late", with(&RtpFaults::late, second), {0, 2, 3, 4, 5, 1}},
      {"short header", with(&RtpFaults::truncated, second), {0, -1, 2, 3, 4, 5}},
      {"bad version", with(&RtpFaults::badVersion, second), {0, -1, 2, 3, 4, 5}},
      {"bad padding", with(&RtpFaults::badPadding, second), {0, -1, 2, 3, 4, 5}, halvern::RtpDrop::BadPadding},
      {"every third lost", with(&RtpFaults::loss, PacketSet{{}, 3}), {0, 1, 3, 4}},
  };
  for (const bool keyed : {false, true})
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (keyed ? ", enciphered" : ", clear"));
      const std::vector<Arrival> got = echoThrough(c.faults, keyed);
      EXPECT_EQ(sequences(got), c.sequences);
      for (const Arrival& a : got) {
        if (a.drop) {
          EXPECT_EQ(*a.drop, c.drop);
        }
      }
    }
  // The late packet arrives beyond the keyset's 100 ms play delay; a delay
  // holds every packet.
  const auto late = echoThrough(with(&RtpFaults::late, second), false);
  EXPECT_GE(late.back().at - 50, RtpPeer::kLateMs);
  RtpFaults delay;
  delay.delayMs = 80;
  const auto delayed = echoThrough(delay, false);
  ASSERT_EQ(delayed.size(), 6u);
  for (std::size_t i = 0; i < delayed.size(); ++i) EXPECT_EQ(delayed[i].at, std::int64_t(50 * i + 80));
}

TEST(RtpPeerPlay, AWavFileIsSentAsTheKeysetSendsItsOwnCapture) {
  const std::vector<std::int16_t> samples = voice(23 * kSpeechSamples + 30);
  const auto header = corvane::wavHeader(std::uint32_t(samples.size() * 2));
  Bytes wav(header.begin(), header.end());
  const Bytes sound = asBytes(samples);
  wav.insert(wav.end(), sound.begin(), sound.end());
  const auto read = wavSamples({reinterpret_cast<const char*>(wav.data()), wav.size()});
  ASSERT_TRUE(read);
  ASSERT_EQ(*read, samples);
  EXPECT_FALSE(wavSamples("RIFF\x04\0\0\0WAVE"));

  Wire wire;
  RtpPeer peer(RtpMode::Play, wire);
  peer.setPlaySamples(*read);
  peer.tick(0);
  EXPECT_TRUE(wire.sent.empty()) << "played before anyone was heard";
  halvern::RtpSender keyset;
  keyset.reset(77);
  halvern::RtpDatagram hello;
  keyset.build(Bytes(kCodedFrameSize, 1), nullptr, hello);
  peer.received("keyset", hello.view(), 1000);
  for (std::int64_t t = 1000; t <= 2000; t += 10) {
    wire.now = t;
    peer.tick(t);
  }
  EXPECT_TRUE(peer.playDone());
  // 24 frames and a bit: 5 packets of 5 frames, 50 ms apart, the last
  // filled with silence; frames as the softphone's encoder makes them.
  ASSERT_EQ(wire.sent.size(), 5u);
  halvern::G729Encoder enc;
  std::array<std::int16_t, kSpeechSamples> in;
  std::array<std::uint8_t, kCodedFrameSize> coded;
  for (std::size_t p = 0; p < wire.sent.size(); ++p) {
    SCOPED_TRACE("packet " + std::to_string(p));
    EXPECT_EQ(wire.sent[p].at, 1050 + 50 * std::int64_t(p));
    const halvern::RtpParse parsed = halvern::parseRtp(wire.sent[p].bytes, nullptr);
    ASSERT_FALSE(parsed.drop);
    EXPECT_EQ(parsed.packet.timestamp, 400 * p);
    ASSERT_EQ(parsed.packet.frameCount, 5u);
    for (std::size_t f = 0; f < 5; ++f) {
      const std::size_t from = (p * 5 + f) * kSpeechSamples;
      for (std::size_t i = 0; i < kSpeechSamples; ++i) in[i] = from + i < samples.size() ? samples[from + i] : 0;
      enc.encode(in, coded);
      coded[0] ^= halvern::rtp::kFrameMask;
      EXPECT_TRUE(std::equal(coded.begin(), coded.end(), parsed.packet.frames.begin() + f * kCodedFrameSize));
    }
  }
}

}  // namespace
}  // namespace corvane::sim
