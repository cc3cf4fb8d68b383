// The audio engine: every 50 ms it takes the whole frames captured since the
// last tick out of the capture ring for the speech path and keeps the
// render ring about 100-200 ms ahead of the device with frames the speech
// path plays out. Its rings run only while the speech mode is not 0; every
// change to another non-zero mode, and every time capture or render is more
// than 600 ms out of step, restarts them with silence and a 200 ms render
// lead. All on the core thread.
#pragma once

#include "halvern/audio_device.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace halvern {

// The speech path as the engine sees it. Frames are 160 bytes of 16-bit
// little-endian samples, as the rings hold them.
class SpeechFrames {
 public:
  virtual ~SpeechFrames() = default;
  // n whole captured frames (n = 5 or 10), sent as one packet.
  virtual void sendFrames(std::span<const std::uint8_t> pcm) = 0;
  // Fills n whole frames (n = 5 or 10) with the next frames to play.
  virtual void playFrames(std::span<std::uint8_t> pcm) = 0;
};

class AudioEngine {
 public:
  // Capture and render steps, in bytes.
  static constexpr std::uint64_t kOutOfStep = 9601, kTakeTen = 1601, kTakeFive = 801;
  static constexpr std::uint64_t kFillTen = 800, kFillFive = 1600;
  static constexpr std::uint64_t kRenderLead = 3200;
  static constexpr std::size_t kMaxFrames = 10;

  explicit AudioEngine(SpeechFrames& speech) : speech_(speech) {}
  ~AudioEngine() { stop(); }

  // Takes the device and tries it (start, then stop again). False, with the
  // device released, when there is none or it does not start ("Audio device
  // not found!").
  bool start(std::unique_ptr<AudioDevice> device);
  // The 50 ms tick with the keyset core's current speech mode.
  void tick(std::uint8_t speechMode);
  // Stops and releases the device (a file device completes its output).
  void stop();

  bool ready() const { return device_ != nullptr; }
  AudioDevice* device() { return device_.get(); }
  // The engine's own capture read and render write positions (byte
  // counters, multiples of 160).
  std::uint64_t readPosition() const { return readPos_; }
  std::uint64_t writePosition() const { return writePos_; }
  // Restarts since start().
  std::uint64_t restarts() const { return restarts_; }

 private:
  void restart();
  void stopRings();

  SpeechFrames& speech_;
  std::unique_ptr<AudioDevice> device_;
  std::uint8_t lastMode_ = 0;
  bool running_ = false;
  std::uint64_t readPos_ = 0, writePos_ = 0;
  std::uint64_t restarts_ = 0;
  std::array<std::uint8_t, kMaxFrames * kAudioFrameBytes> frames_{};
};

}  // namespace halvern
