// WAV reading by RIFF chunks and MP3 encoding with the LAME library at its
// default settings (only what the WAV header gives is set).
#pragma once

#include "common/adpcm.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// Size of the encoder's output buffer per input block.
constexpr size_t kMp3BufferSize = 147456;

struct WavInfo {
  uint16_t format = 0;  // 1 = PCM
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint32_t byteRate = 0;
  uint16_t bitsPerSample = 0;
  uint64_t dataOffset = 0;  // where the samples start in the file
  uint64_t dataSize = 0;    // bytes of samples (cut to what the file holds)
};

// Walks the RIFF chunks of a WAV file's bytes (fileSize is the whole file's
// length, which may exceed bytes.size()). Nothing when the "fmt " or
// "data" chunk is missing or malformed.
std::optional<WavInfo> parseWavHeader(const std::string& bytes, uint64_t fileSize);

// Reads the header of the WAV file at path.
std::optional<WavInfo> readWavInfo(const std::string& path);

// Encodes the WAV file at src into a new MP3 file at dst (replaced if it
// exists). Only 16-bit PCM with 1 or 2 channels is accepted. On any failure
// dst is removed; src is never touched. The stop flag is checked between
// encoder blocks.
// clang-format off
ConvertStatus encodeWavToMp3(const std::string& src, const std::string& dst,
                             const std::atomic<bool>* stop = nullptr);
// clang-format on

// Decoded MP3 contents (for checks of encoder output).
struct Mp3Pcm {
  int sampleRate = 0;
  int channels = 0;
  std::vector<int16_t> samples;  // first channel only
};

// Decodes an MP3 file's bytes with the library's decoder; nothing when
// it holds no decodable frame.
std::optional<Mp3Pcm> decodeMp3(const std::string& bytes);

}  // namespace corvane
