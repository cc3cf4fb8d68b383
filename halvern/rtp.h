// Speech packets: the RTP header (version 2, payload type 72) in front of
// G.729 frames whose first byte is masked with 0xA5, built on the way out
// and checked whole on the way in. An optional cipher encrypts the payload
// in 16-byte blocks; a payload that is not whole blocks is padded first as
// RTP padding. Nothing is allocated per packet.
#pragma once

#include "halvern/g729.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace halvern {

namespace rtp {
inline constexpr std::size_t kHeaderSize = 12, kMaxDatagram = 127, kCipherBlock = 16;
inline constexpr std::uint8_t kPayloadType = 72, kFrameMask = 0xA5, kVersion = 0x80, kPadded = 0x20;
// The most frames one datagram can hold.
inline constexpr std::size_t kMaxFrames = (kMaxDatagram - kHeaderSize) / kCodedFrameSize;
}  // namespace rtp

// The speech key's block cipher, one context each way. Only whole 16-byte
// blocks are handed over, and each is transformed in place.
class SpeechCipherHook {
 public:
  virtual ~SpeechCipherHook() = default;
  // Whether the speech key is established, so speech is encrypted now.
  virtual bool active() const = 0;
  virtual void encrypt(std::span<std::uint8_t> blocks) = 0;
  virtual void decrypt(std::span<std::uint8_t> blocks) = 0;
};

// One datagram to send: header and payload (padded and encrypted when a
// cipher is active). 10 frames encrypted make 124 bytes.
struct RtpDatagram {
  std::array<std::uint8_t, 128> bytes{};
  std::size_t size = 0;
  std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

// The RTP sender's state: sequence number and timestamp advance with every
// packet, sent or not (transmit mute).
class RtpSender {
 public:
  void reset(std::uint32_t ssrc) {
    sequence_ = 0;
    timestamp_ = 0;
    ssrc_ = ssrc;
  }
  // Builds the packet of the coded frames (n * 10 bytes, n from 1 to 10,
  // first bytes already masked), then advances sequence by 1 and timestamp
  // by 80 * n. cipher may be null or inactive: then the payload is clear.
  void build(std::span<const std::uint8_t> frames, SpeechCipherHook* cipher, RtpDatagram& out);
  // Advances as build() does without building (nothing to encode).
  void skip(std::size_t frameCount);

  std::uint16_t sequence() const { return sequence_; }
  std::uint32_t timestamp() const { return timestamp_; }
  std::uint32_t ssrc() const { return ssrc_; }

 private:
  std::uint16_t sequence_ = 0;
  std::uint32_t timestamp_ = 0;
  std::uint32_t ssrc_ = 0;
};

// A received packet that passed every check: its timestamp and its whole
// frames (still masked); bytes beyond the last whole frame are left out.
struct RtpFrames {
  std::uint32_t timestamp = 0;
  std::uint16_t sequence = 0;
  std::size_t frameCount = 0;
  std::array<std::uint8_t, rtp::kMaxFrames * kCodedFrameSize> frames{};
  std::span<const std::uint8_t> view() const { return {frames.data(), frameCount * kCodedFrameSize}; }
};

// Why a received datagram was dropped.
enum class RtpDrop : std::uint8_t {
  TooLong,        // 128 bytes or more
  BadHeader,      // shorter than the header, version below 2, payload type not 72
  HeaderOverrun,  // CSRC list or extension reaching the end of the datagram
  CipherLength,   // encrypted payload not whole 16-byte blocks
  BadPadding,     // padding count 0 or beyond the payload
  NoFrame,        // fewer than 10 payload bytes left
};

// Checks the whole datagram (header, CSRC list, extension, decryption,
// padding, payload length) before anything is taken from it. cipher may be
// null or inactive.
struct RtpParse {
  std::optional<RtpDrop> drop;
  RtpFrames packet;
};
RtpParse parseRtp(std::span<const std::uint8_t> datagram, SpeechCipherHook* cipher);

}  // namespace halvern
