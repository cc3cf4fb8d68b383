#include "halvern/rtp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace halvern {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A header with the given first two bytes, sequence 0x1234, timestamp
// 0x00010040, then extra header words and a payload of 0x11, 0x12, ...
Bytes packet(std::uint8_t b0, std::uint8_t b1, const Bytes& extra, std::size_t payload) {
  Bytes d{b0, b1, 0x12, 0x34, 0x00, 0x01, 0x00, 0x40, 0xDE, 0xAD, 0xBE, 0xEF};
  d.insert(d.end(), extra.begin(), extra.end());
  for (std::size_t i = 0; i < payload; ++i) d.push_back(std::uint8_t(0x11 + i));
  return d;
}

Bytes padded(Bytes d, std::uint8_t count) {
  d[0] |= rtp::kPadded;
  d.back() = count;
  return d;
}

// Adds a fixed byte to every byte of whole blocks: enough to tell clear
// from encrypted and to undo exactly.
class ShiftCipher : public SpeechCipherHook {
 public:
  bool active() const override { return on; }
  void encrypt(std::span<std::uint8_t> blocks) override {
    EXPECT_EQ(blocks.size() % rtp::kCipherBlock, 0u);
    for (auto& b : blocks) b = std::uint8_t(b + 0x5B);
  }
  void decrypt(std::span<std::uint8_t> blocks) override {
    EXPECT_EQ(blocks.size() % rtp::kCipherBlock, 0u);
    for (auto& b : blocks) b = std::uint8_t(b - 0x5B);
  }
  bool on = true;
};

struct BoundsCase {
  const char* name;
  Bytes datagram;
  std::optional<RtpDrop> drop;
  std::size_t frames;      // when kept
  std::uint8_t firstByte;  // of the first kept frame
};

TEST(RtpReceive, MalformedPacketsAreDroppedWithoutReadingPastTheDatagram) {
  const Bytes none;
  const Bytes twoCsrc(8, 0xCC);
  const Bytes extension{0xBE, 0xDE, 0x00, 0x01, 1, 2, 3, 4};
  const std::vector<BoundsCase> cases{
      {"five frames", packet(0x80, 0x48, none, 50), std::nullopt, 5, 0x11},
      {"marker bit and version 3", packet(0xC0, 0xC8, none, 10), std::nullopt, 1, 0x11},
      {"trailing bytes beyond the last whole frame", packet(0x80, 0x48, none, 29), std::nullopt, 2, 0x11},
      {"CSRC list skipped", packet(0x82, 0x48, twoCsrc, 10), std::nullopt, 1, 0x11},
      {"extension skipped", packet(0x90, 0x48, extension, 20), std::nullopt, 2, 0x11},
      {"padding removed", padded(packet(0xA0, 0x48, none, 23), 3), std::nullopt, 2, 0x11},
      {"128 bytes", packet(0x80, 0x48, none, 116), RtpDrop::TooLong, 0, 0},
      {"shorter than a header", Bytes{0x80, 0x48, 0, 1, 0, 0, 0, 0, 0, 0, 0}, RtpDrop::BadHeader, 0, 0},
      {"version 1", packet(0x40, 0x48, none, 10), RtpDrop::BadHeader, 0, 0},
      {"payload type 73", packet(0x80, 0x49, none, 10), RtpDrop::BadHeader, 0, 0},
      {"header only", packet(0x80, 0x48, none, 0), RtpDrop::HeaderOverrun, 0, 0},
      {"CSRC count past the end", packet(0x8F, 0x48, none, 40), RtpDrop::HeaderOverrun, 0, 0},
      {"extension header cut short", packet(0x90, 0x48, none, 3), RtpDrop::HeaderOverrun, 0, 0},
      {"extension length past the end", packet(0x90, 0x48, Bytes{0, 0, 0x00, 0x20}, 20), RtpDrop::HeaderOverrun, 0, 0},
      {"extension filling the datagram", packet(0x90, 0x48, Bytes{0, 0, 0x00, 0x03}, 12), RtpDrop::HeaderOverrun, 0, 0},
      {"padding count 0", padded(packet(0x80, 0x48, none, 20), 0), RtpDrop::BadPadding, 0, 0},
      {"padding count beyond the payload", padded(packet(0x80, 0x48, none, 20), 21), RtpDrop::BadPadding, 0, 0},
      {"padding leaving less than a frame", padded(packet(0x80, 0x48, none, 20), 11), RtpDrop::NoFrame, 0, 0},
      {"nine payload bytes", packet(0x80, 0x48, none, 9), RtpDrop::NoFrame, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RtpParse p = parseRtp(c.datagram, nullptr);
    EXPECT_EQ(p.drop, c.drop);
    if (c.drop) continue;
    EXPECT_EQ(p.packet.frameCount, c.frames);
    EXPECT_EQ(p.packet.frames[0], c.firstByte);
    EXPECT_EQ(p.packet.timestamp, 0x00010040u);
    EXPECT_EQ(p.packet.sequence, 0x1234u);
  }
}

TEST(RtpReceive, EncryptedPayloadOfPartBlocksIsDropped) {
  ShiftCipher cipher;
  EXPECT_EQ(parseRtp(packet(0x80, 0x48, {}, 50), &cipher).drop, RtpDrop::CipherLength);
  // The padding count is read only after decryption.
  Bytes d = padded(packet(0x80, 0x48, {}, 64), 14);
  for (std::size_t i = rtp::kHeaderSize; i < d.size(); ++i) d[i] = std::uint8_t(d[i] + 0x5B);
  const RtpParse p = parseRtp(d, &cipher);
  ASSERT_FALSE(p.drop);
  EXPECT_EQ(p.packet.frameCount, 5u);
}

TEST(RtpSend, PacketsCarryHeaderFramesAndPaddingTheReceiverReadsBack) {
  ShiftCipher cipher;
  for (const bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "encrypted" : "clear");
    cipher.on = encrypted;
    RtpSender sender;
    sender.reset(0x01020304);
    Bytes frames(50);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = std::uint8_t(3 * i + 1);
    RtpDatagram d;
    sender.build(frames, &cipher, d);
    sender.skip(5);  // a muted packet
    sender.build(frames, &cipher, d);
    // 5 frames: 62 bytes clear; encrypted 50 + 14 padding bytes.
    ASSERT_EQ(d.size, encrypted ? 76u : 62u);
    const Bytes header(d.bytes.begin(), d.bytes.begin() + 12);
    EXPECT_EQ(header, (Bytes{std::uint8_t(encrypted ? 0xA0 : 0x80), 0x48, 0, 2, 0, 0, 0x03, 0x20, 1, 2, 3, 4}));
    const RtpParse p = parseRtp(d.view(), &cipher);
    ASSERT_FALSE(p.drop);
    EXPECT_EQ(Bytes(p.packet.view().begin(), p.packet.view().end()), frames);
    EXPECT_EQ(sender.sequence(), 3);
    EXPECT_EQ(sender.timestamp(), 1200u);
  }
}

}  // namespace
}  // namespace halvern
