#include "halvern/g729.h"

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

#include <array>

namespace halvern {

G729Encoder::G729Encoder() : state_(initBcg729EncoderChannel(0)) {}

G729Encoder::~G729Encoder() { closeBcg729EncoderChannel(state_); }

void G729Encoder::reset() {
  closeBcg729EncoderChannel(state_);
  state_ = initBcg729EncoderChannel(0);
}

void G729Encoder::encode(std::span<const std::int16_t, kSpeechSamples> pcm,
                         std::span<std::uint8_t, kCodedFrameSize> out) {
  std::uint8_t length = 0;
  bcg729Encoder(state_, pcm.data(), out.data(), &length);
}

G729Decoder::G729Decoder() : state_(initBcg729DecoderChannel()) {}

G729Decoder::~G729Decoder() { closeBcg729DecoderChannel(state_); }

void G729Decoder::reset() {
  closeBcg729DecoderChannel(state_);
  state_ = initBcg729DecoderChannel();
}

void G729Decoder::decode(std::span<const std::uint8_t, kCodedFrameSize> frame,
                         std::span<std::int16_t, kSpeechSamples> pcm) {
  bcg729Decoder(state_, frame.data(), kCodedFrameSize, 0, 0, 0, pcm.data());
}

void G729Decoder::conceal(std::span<std::int16_t, kSpeechSamples> pcm) {
  const std::array<std::uint8_t, kCodedFrameSize> none{};
  bcg729Decoder(state_, none.data(), kCodedFrameSize, 1, 0, 0, pcm.data());
}

}  // namespace halvern
