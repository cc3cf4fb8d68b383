#include "halvern/jitter_buffer.h"

#include <algorithm>
#include <cassert>

namespace halvern {

void JitterBuffer::reset() {
  slots_.fill({});
  play_ = 0;
  base_ = 0;
  far_ = 0;
}

void JitterBuffer::resync(std::uint32_t timestamp) {
  base_ = timestamp;
  play_ = kPlayDelay;
  slots_.fill({});
  ++resyncs_;
}

bool JitterBuffer::put(std::uint32_t timestamp, std::span<const std::uint8_t> frames) {
  assert(frames.size() >= kCodedFrameSize);
  std::uint32_t diff = timestamp - base_;
  if (diff % kSpeechSamples != 0) {
    // Off the grid, or late (behind the base wraps to a remainder of 16).
    resync(timestamp);
    diff = 0;
  } else if (diff / kSpeechSamples > kFarFrames) {
    if (++far_ <= 1) return false;
    resync(timestamp);
    diff = 0;
  }
  const std::size_t count = frames.size() / kCodedFrameSize;
  for (std::size_t j = 0; j < count; ++j) {
    auto& slot = slots_[std::uint8_t(play_ + diff / kSpeechSamples + j)];
    slot.present = true;
    std::copy_n(frames.begin() + j * kCodedFrameSize, kCodedFrameSize, slot.frame.begin());
  }
  return true;
}

std::optional<CodedFrame> JitterBuffer::take() {
  auto& slot = slots_[std::uint8_t(play_ - kPlayDelay)];
  std::optional<CodedFrame> due;
  if (slot.present) due = slot.frame;
  slot.present = false;
  base_ += kSpeechSamples;
  ++play_;
  return due;
}

}  // namespace halvern
