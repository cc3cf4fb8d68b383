#include "halvern/rtp.h"

#include "common/byte_io.h"

#include <algorithm>
#include <cassert>

namespace halvern {

void RtpSender::build(std::span<const std::uint8_t> frames, SpeechCipherHook* cipher, RtpDatagram& out) {
  assert(!frames.empty() && frames.size() % kCodedFrameSize == 0 && frames.size() <= 10 * kCodedFrameSize);
  auto& b = out.bytes;
  const bool encrypt = cipher && cipher->active();
  std::size_t payload = frames.size();
  std::copy(frames.begin(), frames.end(), b.begin() + rtp::kHeaderSize);
  bool padded = false;
  if (encrypt && payload % rtp::kCipherBlock != 0) {
    // Zero bytes, the last holding how many were added (itself included).
    const std::size_t pad = rtp::kCipherBlock - payload % rtp::kCipherBlock;
    std::fill_n(b.begin() + rtp::kHeaderSize + payload, pad, 0);
    payload += pad;
    b[rtp::kHeaderSize + payload - 1] = std::uint8_t(pad);
    padded = true;
  }
  b[0] = rtp::kVersion | (padded ? rtp::kPadded : 0);
  b[1] = rtp::kPayloadType;
  b[2] = std::uint8_t(sequence_ >> 8);
  b[3] = std::uint8_t(sequence_);
  for (int i = 0; i < 4; ++i) {
    b[4 + i] = std::uint8_t(timestamp_ >> (24 - 8 * i));
    b[8 + i] = std::uint8_t(ssrc_ >> (24 - 8 * i));
  }
  if (encrypt) cipher->encrypt({b.data() + rtp::kHeaderSize, payload});
  out.size = rtp::kHeaderSize + payload;
  skip(frames.size() / kCodedFrameSize);
}

void RtpSender::skip(std::size_t frameCount) {
  sequence_ = std::uint16_t(sequence_ + 1);
  timestamp_ += std::uint32_t(kSpeechSamples * frameCount);
}

RtpParse parseRtp(std::span<const std::uint8_t> datagram, SpeechCipherHook* cipher) {
  RtpParse r;
  if (datagram.size() > rtp::kMaxDatagram) {
    r.drop = RtpDrop::TooLong;
    return r;
  }
  const corvane::ByteReader in(datagram);
  const std::uint8_t first = in.u8(0);
  if (!in.has(0, rtp::kHeaderSize) || first < rtp::kVersion || (in.u8(1) & 0x7F) != rtp::kPayloadType) {
    r.drop = RtpDrop::BadHeader;
    return r;
  }
  std::size_t offset = rtp::kHeaderSize + 4 * std::size_t(first & 0x0F);
  if (first & 0x10) {
    // Extension: a 4-byte header holding its length in 32-bit words.
    if (!in.has(offset, 4)) {
      r.drop = RtpDrop::HeaderOverrun;
      return r;
    }
    offset += 4 + 4 * std::size_t(in.be16(offset + 2));
  }
  if (offset >= in.size()) {
    r.drop = RtpDrop::HeaderOverrun;
    return r;
  }
  std::array<std::uint8_t, rtp::kMaxDatagram> payload;
  std::size_t length = in.size() - offset;
  in.copy(offset, payload.data(), length);
  if (cipher && cipher->active()) {
    if (length % rtp::kCipherBlock != 0) {
      r.drop = RtpDrop::CipherLength;
      return r;
    }
    cipher->decrypt({payload.data(), length});
  }
  if (first & rtp::kPadded) {
    const std::size_t pad = payload[length - 1];
    if (pad == 0 || pad > length) {
      r.drop = RtpDrop::BadPadding;
      return r;
    }
    length -= pad;
  }
  if (length < kCodedFrameSize) {
    r.drop = RtpDrop::NoFrame;
    return r;
  }
  r.packet.sequence = in.be16(2);
  r.packet.timestamp = in.be32(4);
  r.packet.frameCount = length / kCodedFrameSize;
  std::copy_n(payload.begin(), r.packet.frameCount * kCodedFrameSize, r.packet.frames.begin());
  return r;
}

}  // namespace halvern
