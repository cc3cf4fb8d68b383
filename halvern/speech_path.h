// The speech path between the audio engine and the speech socket, run on
// the core thread: captured 160-byte frames are coded and sent as one RTP
// packet; received datagrams wait in a 32-entry queue until the next
// play-out, which stores them in the jitter buffer and renders the frames
// due (decoded speech, concealed losses, -1 gaps, or the ring melody).
#pragma once

#include "halvern/audio_engine.h"
#include "halvern/g729.h"
#include "halvern/jitter_buffer.h"
#include "halvern/melody.h"
#include "halvern/rtp.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace halvern {

// Where the packets go: the connected speech socket. Called only for
// packets to be sent (not while transmit is muted).
class SpeechSink {
 public:
  virtual ~SpeechSink() = default;
  virtual void sendDatagram(std::span<const std::uint8_t> datagram) = 0;
};

// What happened to received datagrams since the last reset.
struct SpeechReceiveCounts {
  std::size_t stored = 0, dropped = 0, ignoredFar = 0;
};

class SpeechPath final : public SpeechFrames {
 public:
  static constexpr std::size_t kQueueSize = 32, kQueueEntry = 128;

  explicit SpeechPath(SpeechSink& sink) : sink_(sink) {}

  // Encrypts and decrypts speech while cipher->active(); null for clear.
  void setCipher(SpeechCipherHook* cipher) { cipher_ = cipher; }
  // The reset of the speech state: jitter buffer and queue emptied,
  // sequence and timestamp 0, the given synchronisation source, coder
  // states new.
  void reset(std::uint32_t ssrc);
  void setTransmitMute(bool on) { mute_ = on; }
  bool transmitMute() const { return mute_; }

  // Sends captured frames (n * 160 bytes of 16-bit little-endian samples,
  // n from 1 to 10) as one packet; while muted nothing is sent but the
  // sequence number and timestamp still advance.
  void send(std::span<const std::uint8_t> pcm);

  // A received datagram, queued for the next play-out. Datagrams of 128
  // bytes or more are dropped; a queue overflow loses its content.
  void queueDatagram(std::span<const std::uint8_t> datagram);

  // Takes every queued datagram into the jitter buffer, then renders
  // out.size() / 160 frames into out: the melody when melody is set
  // (silence while muted), otherwise the frames due.
  void playOut(std::span<std::uint8_t> out, bool melody);

  // The audio engine's side: playFrames plays the melody while melody mode
  // (speech mode 2) is set.
  void setMelodyMode(bool on) { melodyMode_ = on; }
  void sendFrames(std::span<const std::uint8_t> pcm) override { send(pcm); }
  void playFrames(std::span<std::uint8_t> pcm) override { playOut(pcm, melodyMode_); }

  MelodyPlayer& melodyPlayer() { return melody_; }
  const JitterBuffer& jitterBuffer() const { return jitter_; }
  const RtpSender& sender() const { return sender_; }
  const SpeechReceiveCounts& counts() const { return counts_; }

 private:
  void drainQueue();

  SpeechSink& sink_;
  SpeechCipherHook* cipher_ = nullptr;
  bool mute_ = false;
  bool melodyMode_ = false;
  G729Encoder encoder_;
  G729Decoder decoder_;
  RtpSender sender_;
  RtpDatagram packet_;
  JitterBuffer jitter_;
  MelodyPlayer melody_;
  SpeechReceiveCounts counts_;

  // Single producer (socket side) and single consumer (play-out).
  struct Entry {
    std::uint8_t length = 0;
    std::array<std::uint8_t, kQueueEntry> bytes{};
  };
  std::array<Entry, kQueueSize> queue_{};
  std::atomic<std::uint32_t> write_{0}, read_{0};
};

// 160 bytes of little-endian samples into 80 samples and back.
void unpackSamples(std::span<const std::uint8_t, kSpeechFrameBytes> bytes, std::span<std::int16_t, kSpeechSamples> pcm);
void packSamples(std::span<const std::int16_t, kSpeechSamples> pcm, std::span<std::uint8_t, kSpeechFrameBytes> bytes);

}  // namespace halvern
