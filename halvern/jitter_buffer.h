// The receive jitter buffer: 256 slots of one coded frame each around an
// 8-bit play position. A frame is played 10 frames (100 ms) after the play
// position reached its slot; packets may arrive up to 30 frames early. A
// packet off the 80-sample grid, or late, starts the buffer again from its
// own timestamp (every slot cleared); the first packet too far ahead after
// a reset is ignored, the next one starts the buffer again.
#pragma once

#include "halvern/g729.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace halvern {

using CodedFrame = std::array<std::uint8_t, kCodedFrameSize>;

class JitterBuffer {
 public:
  static constexpr std::size_t kSlots = 256, kPlayDelay = 10, kFarFrames = 30;

  // All slots absent, play position 0, base timestamp 0, far count 0.
  void reset();
  // Stores the whole frames of a checked packet (n * 10 bytes, n >= 1).
  // False when the packet was ignored (the first far packet after a reset).
  bool put(std::uint32_t timestamp, std::span<const std::uint8_t> frames);
  // The frame due now (as received, still masked), or none for a gap; the
  // buffer moves on by one frame either way.
  std::optional<CodedFrame> take();

  std::uint32_t baseTimestamp() const { return base_; }
  std::size_t resyncs() const { return resyncs_; }

 private:
  struct Slot {
    bool present = false;
    CodedFrame frame{};
  };
  void resync(std::uint32_t timestamp);

  std::array<Slot, kSlots> slots_{};
  std::uint8_t play_ = 0;
  std::uint32_t base_ = 0;
  std::uint32_t far_ = 0;
  std::size_t resyncs_ = 0;
};

}  // namespace halvern
