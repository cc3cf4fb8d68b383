// G.729 Annex A speech codec (bcg729, without Annex B): 10 ms frames of 80
// samples coded into 10 bytes. One encoder and one decoder state each, kept
// across packets and made anew on reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct bcg729EncoderChannelContextStruct_struct;
struct bcg729DecoderChannelContextStruct_struct;

namespace halvern {

inline constexpr std::size_t kSpeechSamples = 80, kSpeechFrameBytes = 160, kCodedFrameSize = 10;

class G729Encoder {
 public:
  G729Encoder();
  ~G729Encoder();
  G729Encoder(const G729Encoder&) = delete;
  G729Encoder& operator=(const G729Encoder&) = delete;

  // Starts the encoder state afresh.
  void reset();
  // One frame of 80 samples into 10 bytes.
  void encode(std::span<const std::int16_t, kSpeechSamples> pcm, std::span<std::uint8_t, kCodedFrameSize> out);

 private:
  bcg729EncoderChannelContextStruct_struct* state_ = nullptr;
};

class G729Decoder {
 public:
  G729Decoder();
  ~G729Decoder();
  G729Decoder(const G729Decoder&) = delete;
  G729Decoder& operator=(const G729Decoder&) = delete;

  void reset();
  // One 10-byte frame into 80 samples.
  void decode(std::span<const std::uint8_t, kCodedFrameSize> frame, std::span<std::int16_t, kSpeechSamples> pcm);
  // A lost frame through the decoder's concealment.
  void conceal(std::span<std::int16_t, kSpeechSamples> pcm);

 private:
  bcg729DecoderChannelContextStruct_struct* state_ = nullptr;
};

}  // namespace halvern
