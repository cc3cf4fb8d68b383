#include "halvern/audio_device.h"

#include "common/adpcm.h"
#include "common/byte_io.h"
#include "common/files.h"
#include "halvern/portaudio_device.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

namespace halvern {

void AudioRing::read(std::uint64_t counter, std::span<std::uint8_t> out) const {
  assert(out.size() <= kAudioRingBytes);
  const std::size_t at = offset(counter);
  const std::size_t first = std::min(out.size(), kAudioRingBytes - at);
  std::copy_n(bytes_.begin() + at, first, out.begin());
  std::copy_n(bytes_.begin(), out.size() - first, out.begin() + first);
}

void AudioRing::write(std::uint64_t counter, std::span<const std::uint8_t> in) {
  assert(in.size() <= kAudioRingBytes);
  const std::size_t at = offset(counter);
  const std::size_t first = std::min(in.size(), kAudioRingBytes - at);
  std::copy_n(in.begin(), first, bytes_.begin() + at);
  std::copy_n(in.begin() + first, in.size() - first, bytes_.begin());
}

void AudioRing::readSamples(std::uint64_t counter, std::span<std::int16_t> out) const {
  assert(counter % 2 == 0 && out.size() * 2 <= kAudioRingBytes);
  std::size_t at = offset(counter);
  for (auto& s : out) {
    s = std::int16_t(bytes_[at] | bytes_[at + 1] << 8);
    at = (at + 2) % kAudioRingBytes;
  }
}

void AudioRing::writeSamples(std::uint64_t counter, std::span<const std::int16_t> in) {
  assert(counter % 2 == 0 && in.size() * 2 <= kAudioRingBytes);
  std::size_t at = offset(counter);
  for (const auto s : in) {
    bytes_[at] = std::uint8_t(s);
    bytes_[at + 1] = std::uint8_t(std::uint16_t(s) >> 8);
    at = (at + 2) % kAudioRingBytes;
  }
}

std::chrono::nanoseconds SteadyAudioClock::now() const {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

const AudioClock& realTimeAudioClock() {
  static const SteadyAudioClock clock;
  return clock;
}

bool ClockedAudioDevice::start() {
  if (running_) return true;
  running_ = true;
  startedAt_ = clock_.now();
  samplesSinceStart_ = 0;
  return true;
}

void ClockedAudioDevice::stop() {
  if (!running_) return;
  advance();
  running_ = false;
}

std::uint64_t ClockedAudioDevice::captureCursor() {
  advance();
  return cursor_;
}

std::uint64_t ClockedAudioDevice::renderCursor() {
  advance();
  return cursor_;
}

void ClockedAudioDevice::advance() {
  if (!running_) return;
  const auto elapsed = clock_.now() - startedAt_;
  if (elapsed.count() <= 0) return;
  // Whole seconds apart so that a long call cannot overflow the product.
  constexpr std::uint64_t kSecond = 1'000'000'000u;
  const auto ns = std::uint64_t(elapsed.count());
  const std::uint64_t due = ns / kSecond * kAudioSampleRate + ns % kSecond * kAudioSampleRate / kSecond;
  // Both directions move in step, half a ring at a time so that a long
  // stall still passes every byte through capture() and render().
  while (samplesSinceStart_ < due) {
    const std::size_t n = std::size_t(std::min<std::uint64_t>(due - samplesSinceStart_, kAudioRingBytes / 4)) * 2;
    capture(cursor_, n);
    render(cursor_, n);
    cursor_ += n;
    samplesSinceStart_ += n / 2;
  }
}

std::optional<std::string_view> wavSoundBytes(std::string_view file) {
  corvane::ByteReader r(file);
  if (file.size() < 12 || file.substr(0, 4) != "RIFF" || file.substr(8, 4) != "WAVE") return std::nullopt;
  bool formatOk = false;
  std::size_t at = 12;
  while (r.has(at, 8)) {
    const std::string_view id = file.substr(at, 4);
    const std::uint32_t size = r.le32(at + 4);
    if (!r.has(at + 8, size)) {
      // A data chunk cut short by an unfinished writer still holds sound.
      if (id == "data" && formatOk) return file.substr(at + 8, (file.size() - at - 8) & ~std::size_t(1));
      return std::nullopt;
    }
    if (id == "fmt ") {
      if (size < 16) return std::nullopt;
      formatOk =
          r.le16(at + 8) == 1 && r.le16(at + 10) == 1 && r.le32(at + 12) == kAudioSampleRate && r.le16(at + 22) == 16;
      if (!formatOk) return std::nullopt;
    } else if (id == "data") {
      if (!formatOk) return std::nullopt;
      return file.substr(at + 8, size & ~std::uint32_t(1));
    }
    at += 8 + size + (size & 1);
  }
  return std::nullopt;
}

std::unique_ptr<FileAudioDevice> FileAudioDevice::open(const std::filesystem::path& input,
                                                       const std::filesystem::path& output, const AudioClock& clock) {
  auto file = corvane::readFileBytes(input.string());
  if (!file) return nullptr;
  const auto sound = wavSoundBytes(*file);
  if (!sound) return nullptr;
  std::string samples(*sound);
  std::FILE* out = std::fopen(output.string().c_str(), "wb");
  if (!out) return nullptr;
  // The header's sizes are filled in at close.
  const auto header = corvane::wavHeader(0);
  if (std::fwrite(header.data(), 1, header.size(), out) != header.size()) {
    std::fclose(out);
    return nullptr;
  }
  return std::unique_ptr<FileAudioDevice>(new FileAudioDevice(clock, std::move(samples), out));
}

FileAudioDevice::FileAudioDevice(const AudioClock& clock, std::string input, std::FILE* output)
    : ClockedAudioDevice(clock), input_(std::move(input)), output_(output) {}

FileAudioDevice::~FileAudioDevice() { close(); }

void FileAudioDevice::capture(std::uint64_t cursor, std::size_t n) {
  std::array<std::uint8_t, kAudioRingBytes> chunk{};
  const std::size_t take = std::min(n, input_.size() - inputPos_);
  std::copy_n(input_.begin() + std::ptrdiff_t(inputPos_), take, chunk.begin());
  inputPos_ += take;
  captureRing().write(cursor, std::span(chunk).first(n));
}

void FileAudioDevice::render(std::uint64_t cursor, std::size_t n) {
  if (!output_) return;
  std::array<std::uint8_t, kAudioRingBytes> chunk;
  renderRing().read(cursor, std::span(chunk).first(n));
  if (std::fwrite(chunk.data(), 1, n, output_) != n) failed_ = true;
  written_ += n;
}

bool FileAudioDevice::close() {
  if (!output_) return !failed_;
  stop();
  // A WAV cannot say more than 4 GiB; the sizes stop growing there.
  const auto dataSize = std::uint32_t(std::min<std::uint64_t>(written_, 0xFFFFFFFFu - 36));
  const auto header = corvane::wavHeader(dataSize);
  if (std::fflush(output_) != 0 || std::fseek(output_, 0, SEEK_SET) != 0 ||
      std::fwrite(header.data(), 1, header.size(), output_) != header.size())
    failed_ = true;
  if (std::fclose(output_) != 0) failed_ = true;
  output_ = nullptr;
  return !failed_;
}

std::optional<AudioChoice> parseAudioOption(std::string_view value, bool headless,
                                            const std::filesystem::path& workingDirectory) {
  AudioChoice c;
  if (value.empty()) {
    c.kind = headless ? AudioChoice::Kind::Null : AudioChoice::Kind::SoundCard;
    return c;
  }
  if (value == "default") return c;
  if (value == "null") {
    c.kind = AudioChoice::Kind::Null;
    return c;
  }
  constexpr std::string_view kFile = "file:";
  if (!value.starts_with(kFile)) return std::nullopt;
  const std::string_view names = value.substr(kFile.size());
  const auto colon = names.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == names.size()) return std::nullopt;
  c.kind = AudioChoice::Kind::File;
  c.input = workingDirectory / std::filesystem::path(names.substr(0, colon));
  c.output = workingDirectory / std::filesystem::path(names.substr(colon + 1));
  return c;
}

std::unique_ptr<AudioDevice> openAudioDevice(const AudioChoice& choice, const AudioClock& clock) {
  switch (choice.kind) {
    case AudioChoice::Kind::Null: return std::make_unique<NullAudioDevice>(clock);
    case AudioChoice::Kind::File: return FileAudioDevice::open(choice.input, choice.output, clock);
    case AudioChoice::Kind::SoundCard: return openPortAudioDevice();
  }
  return nullptr;
}

}  // namespace halvern
