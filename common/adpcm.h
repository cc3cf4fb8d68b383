// The exchange's recordings: 4-bit ADPCM after a 64-byte header, 8000
// samples per second, mono, in 120-byte blocks. Decoded to 16-bit PCM WAV
// with a fixed 44-byte header.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

constexpr size_t kApcHeaderSize = 64;
constexpr size_t kApcBlockSize = 120;  // bytes, 240 samples
constexpr size_t kWavHeaderSize = 44;
constexpr uint32_t kRecordingRate = 8000;  // samples per second

// Decoder state, kept across blocks of one file: predicted sample and
// step index, both 0 at the start of a file.
struct AdpcmState {
  int16_t predicted = 0;
  int index = 0;
};

// Step size of step index i (0..66): the first 67 entries of the IMA table.
int adpcmStep(int index);

// Decodes one 4-bit code; the prediction wraps at 16 bits (no saturation).
int16_t adpcmDecodeNibble(AdpcmState& state, uint8_t nibble);

// Encodes one sample into the 4-bit code whose decoding comes closest,
// advancing state exactly as the decoder will (test signals, simulator).
uint8_t adpcmEncodeSample(AdpcmState& state, int16_t sample);

// Decodes n bytes into 2n samples, each byte's low nibble first.
void adpcmDecode(AdpcmState& state, const uint8_t* in, size_t n, int16_t* out);

// The WAV data size of an "apc" file of fileSize bytes: whole blocks after
// the header, 480 bytes of PCM each; 0 for a file of 64 bytes or less.
uint32_t apcWavDataSize(uint64_t fileSize);

// The 44-byte header of an 8000 Hz mono 16-bit PCM WAV with dataSize bytes.
std::array<uint8_t, kWavHeaderSize> wavHeader(uint32_t dataSize);

enum class ConvertStatus {
  Ok,
  SourceUnreadable,  // the source cannot be opened or read
  SourceTooShort,    // an "apc" file of 64 bytes or less
  NotPcm16,          // a WAV that is not 16-bit PCM
  TargetUnwritable,  // the result cannot be created or fully written
  EncoderFailed,     // the MP3 encoder refused the input
  Stopped,           // the stop flag was raised
};

// A short English text for a status (command line and logs).
const char* convertStatusText(ConvertStatus s);

// Decodes the "apc" file at src into a new WAV file at dst (replaced if it
// exists). On any failure dst is removed; src is never touched. The stop
// flag, when given, is checked between blocks.
// clang-format off
ConvertStatus decodeApcFile(const std::string& src, const std::string& dst,
                            const std::atomic<bool>* stop = nullptr);
// clang-format on

}  // namespace corvane
