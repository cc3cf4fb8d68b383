// The local ring melody: 32 melody bytes, each a note (low 5 bits: 0-29
// the semitones from 523 Hz up, 30 a rest, 31 back to the first byte) and a
// length (high 3 bits), played as notes separated by short gaps, one sample
// per call at 8 kHz. Each note comes from a two-pole oscillator, scaled by
// the tone level and ramped in and out over its first and last 80 samples.
#pragma once

#include "halvern/tarnet.h"

#include <cstdint>

namespace halvern {

class MelodyPlayer {
 public:
  // A tone element: the melody starts again from its first byte.
  void start(std::uint8_t parameter, const Melody& melody);
  // Only the low 3 bits count: gains 1/2, 8/11, 1, 16/11, 2, 8/3, 4, 16/3.
  void setLevel(std::uint16_t level) { level_ = level & 7; }
  // The next sample.
  std::int16_t next();

 private:
  std::uint8_t parameter_ = 0;
  Melody melody_{};
  std::uint8_t level_ = 0;
  // Counts gap and note halves: even = gap, odd = note of melody_[position_ / 2].
  std::uint32_t position_ = 0;
  std::uint8_t current_ = 0;
  std::uint32_t count_ = 0, length_ = 1;
  std::int16_t coefficient_ = 0, y1_ = 0, y2_ = 0;
};

}  // namespace halvern
