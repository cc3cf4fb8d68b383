// The sound device under the audio engine: a full-duplex pair of looping
// rings, 25600 bytes each (1.6 s of 8 kHz mono 16-bit sound), that the
// device fills (capture) and drains (render) on its own schedule while the
// engine reads and writes whole 160-byte frames at its own positions.
//
// Positions are 64-bit byte counters that only ever grow; a ring offset is
// the counter modulo the ring size. Because they never wrap, a reader that
// fell more than a whole ring behind still sees how far.
//
// Backends: the sound card (PortAudio, portaudio_device.h), null (silence
// in, output discarded) and WAV files (capture from one file, every
// rendered sample to another). Null and file devices move their cursors
// when asked, by the time an AudioClock shows, so tests can run them on a
// virtual clock.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace halvern {

inline constexpr std::size_t kAudioRingBytes = 25600;
inline constexpr std::size_t kAudioFrameBytes = 160;
inline constexpr std::size_t kAudioFrameSamples = 80;
inline constexpr std::uint32_t kAudioSampleRate = 8000;
inline constexpr std::uint32_t kAudioBytesPerSecond = 16000;

// One looping ring addressed by byte counters. Copies cross the wrap.
class AudioRing {
 public:
  static constexpr std::size_t offset(std::uint64_t counter) { return std::size_t(counter % kAudioRingBytes); }

  // Copies out.size() bytes starting at counter; out.size() <= ring size.
  void read(std::uint64_t counter, std::span<std::uint8_t> out) const;
  // Copies in into the ring starting at counter; in.size() <= ring size.
  void write(std::uint64_t counter, std::span<const std::uint8_t> in);
  // Little-endian 16-bit samples; the counter must be even.
  void readSamples(std::uint64_t counter, std::span<std::int16_t> out) const;
  void writeSamples(std::uint64_t counter, std::span<const std::int16_t> in);
  void fill(std::uint8_t value) { bytes_.fill(value); }

 private:
  std::array<std::uint8_t, kAudioRingBytes> bytes_{};
};

// A full-duplex device with its two rings.
class AudioDevice {
 public:
  virtual ~AudioDevice() = default;

  // Starts (or resumes) capture and render, both looping. False when the
  // device refuses.
  virtual bool start() = 0;
  // Stops both; the cursors stay where they are.
  virtual void stop() = 0;
  // Bytes the device has put into the capture ring since it was made.
  virtual std::uint64_t captureCursor() = 0;
  // Bytes the device has taken from the render ring since it was made
  // (the position handed to the device).
  virtual std::uint64_t renderCursor() = 0;
  // Whether captured sound passes an echo canceller.
  virtual bool echoCancelling() const { return false; }

  AudioRing& captureRing() { return capture_; }
  AudioRing& renderRing() { return render_; }

 protected:
  AudioRing capture_;
  AudioRing render_;
};

// The time that paces null and file devices.
class AudioClock {
 public:
  virtual ~AudioClock() = default;
  virtual std::chrono::nanoseconds now() const = 0;
};

// Real time (the steady clock).
class SteadyAudioClock final : public AudioClock {
 public:
  std::chrono::nanoseconds now() const override;
};
// One real-time clock for the whole program.
const AudioClock& realTimeAudioClock();

// Time that moves only when told (tests, simulations on one clock).
class ManualAudioClock final : public AudioClock {
 public:
  std::chrono::nanoseconds now() const override { return now_; }
  void advance(std::chrono::nanoseconds d) { now_ += d; }

 private:
  std::chrono::nanoseconds now_{0};
};

// Moves both cursors by the samples the clock says have passed since the
// start; the device's own part (what is captured, where rendered bytes go)
// is in capture() and render().
class ClockedAudioDevice : public AudioDevice {
 public:
  explicit ClockedAudioDevice(const AudioClock& clock) : clock_(clock) {}

  bool start() override;
  void stop() override;
  std::uint64_t captureCursor() override;
  std::uint64_t renderCursor() override;

 protected:
  // Fills the capture ring from cursor on with n bytes.
  virtual void capture(std::uint64_t cursor, std::size_t n) = 0;
  // The n bytes from cursor on have been played.
  virtual void render(std::uint64_t cursor, std::size_t n) = 0;

 private:
  void advance();

  const AudioClock& clock_;
  bool running_ = false;
  std::chrono::nanoseconds startedAt_{0};
  // Samples moved since the start.
  std::uint64_t samplesSinceStart_ = 0;
  std::uint64_t cursor_ = 0;
};

// Silence in, output discarded.
class NullAudioDevice final : public ClockedAudioDevice {
 public:
  explicit NullAudioDevice(const AudioClock& clock) : ClockedAudioDevice(clock) {}

 protected:
  void capture(std::uint64_t, std::size_t) override {}
  void render(std::uint64_t, std::size_t) override {}
};

// Captures the samples of an 8 kHz mono 16-bit PCM WAV file unchanged
// (silence after its end) and writes every rendered sample to another WAV
// file of that format, whose header is completed when the device closes.
class FileAudioDevice final : public ClockedAudioDevice {
 public:
  // Nothing when the input is not a readable 8 kHz mono 16-bit PCM WAV or
  // the output cannot be created.
  static std::unique_ptr<FileAudioDevice> open(const std::filesystem::path& input, const std::filesystem::path& output,
                                               const AudioClock& clock);
  ~FileAudioDevice() override;

  // Completes the output's header and closes it; false when the file could
  // not be fully written. Later renders are dropped.
  bool close();
  // Bytes of sound written to the output so far.
  std::uint64_t renderedBytes() const { return written_; }

 protected:
  void capture(std::uint64_t cursor, std::size_t n) override;
  void render(std::uint64_t cursor, std::size_t n) override;

 private:
  FileAudioDevice(const AudioClock& clock, std::string input, std::FILE* output);

  std::string input_;  // the input's sound bytes
  std::size_t inputPos_ = 0;
  std::FILE* output_ = nullptr;
  std::uint64_t written_ = 0;
  bool failed_ = false;
};

// The sound bytes of an 8 kHz mono 16-bit PCM WAV image; nothing when it is
// not one or a chunk before the sound runs past the end. A sound chunk cut
// short (a writer that never finished) gives the whole samples there are.
std::optional<std::string_view> wavSoundBytes(std::string_view file);

// The device named by "--audio".
struct AudioChoice {
  enum class Kind : std::uint8_t { SoundCard, Null, File };
  Kind kind = Kind::SoundCard;
  std::filesystem::path input, output;  // File only, under the working directory
};

// Reads the "--audio" value: "default" (the sound card), "null", or
// "file:IN.wav:OUT.wav" (the input name ends at the first ":" after
// "file:"; relative names are taken from workingDirectory). Without a value
// the headless program uses null and the window the sound card. Nothing for
// anything else.
std::optional<AudioChoice> parseAudioOption(std::string_view value, bool headless,
                                            const std::filesystem::path& workingDirectory);

// Opens the chosen device; nothing when there is none to open ("Audio
// device not found!").
std::unique_ptr<AudioDevice> openAudioDevice(const AudioChoice& choice, const AudioClock& clock);

}  // namespace halvern
