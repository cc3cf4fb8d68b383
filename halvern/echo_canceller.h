// Acoustic echo cancellation on the captured sound: the sound card plays
// the far end's speech and the microphone hears it again; the canceller
// learns that echo path from what was played and takes it out of what was
// captured, one block at a time (20 ms converges well on 8 kHz speech:
// shorter blocks with a long echo path leave the canceller stuck near 15 dB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace halvern {

class EchoCanceller {
 public:
  virtual ~EchoCanceller() = default;
  // Writes to out the captured frame without the echo of played, the frame
  // the card played out at the same moment. All three hold frameSamples().
  virtual void cancel(std::span<const std::int16_t> captured, std::span<const std::int16_t> played,
                      std::span<std::int16_t> out) = 0;
  virtual std::size_t frameSamples() const = 0;
};

// speexdsp's canceller for 8 kHz blocks of frameSamples, modelling an echo
// path of up to tailSamples (200 ms: the card's own round trip and a room); nothing when it cannot be made (the sound
// then goes uncancelled).
std::unique_ptr<EchoCanceller> makeSpeexEchoCanceller(std::size_t frameSamples = 160, std::size_t tailSamples = 1600);

}  // namespace halvern
