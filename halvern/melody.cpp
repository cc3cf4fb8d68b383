#include "halvern/melody.h"

#include <array>

namespace halvern {

namespace {

struct Note {
  std::int16_t coefficient, start;
};

// Equal-tempered semitones from 523 Hz at amplitude about 1023; the rest
// and the loop mark are silent.
// clang-format off
constexpr std::array<Note, 32> kNotes{{
    {30042, -408}, {29714, -431}, {29346, -455}, {28935, -480}, {28476, -506},
    {27966, -533}, {27401, -561}, {26764, -590}, {26048, -621}, {25248, -652},
    {24374, -684}, {23405, -716}, {22318, -749}, {21124, -782}, {19797, -815},
    {18333, -848}, {16724, -880}, {14968, -910}, {13037, -939}, {10930, -965},
    {8621, -987},  {6140, -1005}, {3493, -1018}, {643, -1023},  {-2391, -1021},
    {-5557, -1009}, {-8869, -985}, {-12277, -949}, {-15718, -898}, {-19114, -831},
    {0, 0}, {0, 0},
}};
// clang-format on

constexpr std::array<int, 8> kLevelDivisor{32, 22, 16, 11, 8, 6, 4, 3};
constexpr std::uint8_t kRest = 30, kLoop = 31;

}  // namespace

void MelodyPlayer::start(std::uint8_t parameter, const Melody& melody) {
  parameter_ = parameter;
  melody_ = melody;
  position_ = 0;
  length_ = 1;
  count_ = 0;
}

std::int16_t MelodyPlayer::next() {
  if (position_ % 2 == 0) {
    if (++count_ > length_) {
      ++position_;
      count_ = 0;
      if (position_ / 2 >= melody_.size() || (melody_[position_ / 2] & 31) == kLoop) position_ = 1;
      current_ = melody_[position_ / 2];
      const Note& n = kNotes[current_ & 31];
      coefficient_ = n.coefficient;
      y1_ = n.start;
      y2_ = 0;
      length_ = ((parameter_ & 7u) + 5) * (170u * (current_ >> 5) + 160);
    }
    return 0;
  }
  int sample = 0;
  if ((current_ & 31) != kRest) {
    const auto y = std::int16_t(((std::int32_t(coefficient_) * y1_) >> 14) - y2_);
    y2_ = y1_;
    y1_ = y;
    sample = std::int16_t(16 * y / kLevelDivisor[level_]);
    const std::uint32_t left = length_ - count_;
    int halvings = 0;
    if (left < 80) {
      halvings = int(80 - left) / 16;
    } else if (count_ < 80) {
      halvings = int(80 - count_) / 16;
    }
    for (int i = 0; i < halvings; ++i) sample /= 2;
  }
  if (++count_ > length_) {
    ++position_;
    count_ = 0;
    length_ = (parameter_ & 3u) * 10 + 10;
  }
  return std::int16_t(sample);
}

}  // namespace halvern
