#include "halvern/speech_path.h"

#include <algorithm>
#include <cassert>

namespace halvern {

void unpackSamples(std::span<const std::uint8_t, kSpeechFrameBytes> bytes,
                   std::span<std::int16_t, kSpeechSamples> pcm) {
  for (std::size_t i = 0; i < kSpeechSamples; ++i) pcm[i] = std::int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
}

void packSamples(std::span<const std::int16_t, kSpeechSamples> pcm, std::span<std::uint8_t, kSpeechFrameBytes> bytes) {
  for (std::size_t i = 0; i < kSpeechSamples; ++i) {
    bytes[2 * i] = std::uint8_t(pcm[i]);
    bytes[2 * i + 1] = std::uint8_t(std::uint16_t(pcm[i]) >> 8);
  }
}

void SpeechPath::reset(std::uint32_t ssrc) {
  jitter_.reset();
  read_.store(write_.load(std::memory_order_acquire), std::memory_order_release);
  sender_.reset(ssrc);
  encoder_.reset();
  decoder_.reset();
  counts_ = {};
}

void SpeechPath::send(std::span<const std::uint8_t> pcm) {
  assert(!pcm.empty() && pcm.size() % kSpeechFrameBytes == 0 && pcm.size() <= 10 * kSpeechFrameBytes);
  const std::size_t count = pcm.size() / kSpeechFrameBytes;
  std::array<std::uint8_t, 10 * kCodedFrameSize> coded;
  std::array<std::int16_t, kSpeechSamples> samples;
  for (std::size_t i = 0; i < count; ++i) {
    unpackSamples(pcm.subspan(i * kSpeechFrameBytes).first<kSpeechFrameBytes>(), samples);
    auto frame = std::span(coded).subspan(i * kCodedFrameSize).first<kCodedFrameSize>();
    encoder_.encode(samples, frame);
    frame[0] ^= rtp::kFrameMask;
  }
  if (mute_) {
    sender_.skip(count);
    return;
  }
  sender_.build({coded.data(), count * kCodedFrameSize}, cipher_, packet_);
  sink_.sendDatagram(packet_.view());
}

void SpeechPath::queueDatagram(std::span<const std::uint8_t> datagram) {
  if (datagram.size() >= kQueueEntry) return;
  const std::uint32_t w = write_.load(std::memory_order_relaxed);
  const std::uint32_t r = read_.load(std::memory_order_acquire);
  if (w - r >= kQueueSize) {
    // Overflow: the indices meet again and everything queued is gone.
    read_.store(w, std::memory_order_release);
    return;
  }
  Entry& e = queue_[w % kQueueSize];
  e.length = std::uint8_t(datagram.size());
  std::copy(datagram.begin(), datagram.end(), e.bytes.begin());
  write_.store(w + 1, std::memory_order_release);
}

void SpeechPath::drainQueue() {
  const std::uint32_t w = write_.load(std::memory_order_acquire);
  for (std::uint32_t r = read_.load(std::memory_order_relaxed); r != w; ++r) {
    const Entry& e = queue_[r % kQueueSize];
    const RtpParse p = parseRtp({e.bytes.data(), e.length}, cipher_);
    if (p.drop) {
      ++counts_.dropped;
    } else if (jitter_.put(p.packet.timestamp, p.packet.view())) {
      ++counts_.stored;
    } else {
      ++counts_.ignoredFar;
    }
    read_.store(r + 1, std::memory_order_release);
  }
}

void SpeechPath::playOut(std::span<std::uint8_t> out, bool melody) {
  assert(out.size() % kSpeechFrameBytes == 0);
  drainQueue();
  std::array<std::int16_t, kSpeechSamples> samples;
  for (std::size_t i = 0; i < out.size() / kSpeechFrameBytes; ++i) {
    const std::optional<CodedFrame> due = jitter_.take();
    if (melody) {
      for (auto& s : samples) s = mute_ ? 0 : melody_.next();
    } else if (!due) {
      samples.fill(-1);
    } else {
      CodedFrame frame = *due;
      frame[0] ^= rtp::kFrameMask;
      if (std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0; })) {
        decoder_.conceal(samples);
      } else {
        decoder_.decode(frame, samples);
      }
    }
    packSamples(samples, out.subspan(i * kSpeechFrameBytes).first<kSpeechFrameBytes>());
  }
}

}  // namespace halvern
