#include "common/adpcm.h"

#include "common/byte_io.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace corvane {
namespace {

// clang-format off
constexpr int kSteps[67] = {
    7,    8,    9,    10,   11,   12,   13,   14,   16,   17,   19,   21,   23,   25,   28,   31,   34,
    37,   41,   45,   50,   55,   60,   66,   73,   80,   88,   97,   107,  118,  130,  143,  157,  173,
    190,  209,  230,  253,  279,  307,  337,  371,  408,  449,  494,  544,  598,  658,  724,  796,  876,
    963,  1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327, 3660, 4026};
// clang-format on
static_assert(sizeof kSteps / sizeof kSteps[0] == 67 && kSteps[66] == 4026);

constexpr int kIndexChange[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

int adpcmStep(int index) { return kSteps[index < 0 ? 0 : index > 66 ? 66 : index]; }

int16_t adpcmDecodeNibble(AdpcmState& s, uint8_t nibble) {
  nibble &= 0x0F;
  const int step = kSteps[s.index];
  int diff = step >> 3;
  if (nibble & 4) diff += step;
  if (nibble & 2) diff += step >> 1;
  if (nibble & 1) diff += step >> 2;
  if (nibble & 8) diff = -diff;
  s.predicted = int16_t(uint16_t(uint16_t(s.predicted) + uint16_t(diff)));
  s.index += kIndexChange[nibble];
  if (s.index < 0) s.index = 0;
  if (s.index > 66) s.index = 66;
  return s.predicted;
}

uint8_t adpcmEncodeSample(AdpcmState& state, int16_t sample) {
  // The prediction wraps, so the nearest code is found by trying all 16.
  uint8_t best = 0;
  long bestError = -1;
  for (uint8_t n = 0; n < 16; ++n) {
    AdpcmState trial = state;
    long err = std::labs(long(adpcmDecodeNibble(trial, n)) - long(sample));
    if (bestError < 0 || err < bestError) {
      bestError = err;
      best = n;
    }
  }
  adpcmDecodeNibble(state, best);
  return best;
}

void adpcmDecode(AdpcmState& state, const uint8_t* in, size_t n, int16_t* out) {
  for (size_t i = 0; i < n; ++i) {
    *out++ = adpcmDecodeNibble(state, in[i] & 0x0F);
    *out++ = adpcmDecodeNibble(state, in[i] >> 4);
  }
}

uint32_t apcWavDataSize(uint64_t fileSize) {
  if (fileSize <= kApcHeaderSize) return 0;
  return uint32_t((fileSize - kApcHeaderSize) / kApcBlockSize * (kApcBlockSize * 4));
}

std::array<uint8_t, kWavHeaderSize> wavHeader(uint32_t dataSize) {
  std::array<uint8_t, kWavHeaderSize> h{};
  ByteWriter w(h);
  w.putBytes(0, std::string_view("RIFF"));
  w.putLe32(4, dataSize + 36);
  w.putBytes(8, std::string_view("WAVE"));
  w.putBytes(12, std::string_view("fmt "));
  w.putLe32(16, 16);
  w.putLe16(20, 1);                   // PCM
  w.putLe16(22, 1);                   // mono
  w.putLe32(24, kRecordingRate);      // samples per second
  w.putLe32(28, kRecordingRate * 2);  // bytes per second
  w.putLe16(32, 2);                   // block align
  w.putLe16(34, 16);                  // bits per sample
  w.putBytes(36, std::string_view("data"));
  w.putLe32(40, dataSize);
  return h;
}

const char* convertStatusText(ConvertStatus s) {
  switch (s) {
    case ConvertStatus::Ok: return "converted";
    case ConvertStatus::SourceUnreadable: return "source cannot be read";
    case ConvertStatus::SourceTooShort: return "recording holds no sound (64 bytes or less)";
    case ConvertStatus::NotPcm16: return "not a 16-bit PCM WAV file";
    case ConvertStatus::TargetUnwritable: return "result cannot be written";
    case ConvertStatus::EncoderFailed: return "MP3 encoder failed";
    case ConvertStatus::Stopped: return "stopped";
  }
  return "failed";
}

ConvertStatus decodeApcFile(const std::string& src, const std::string& dst, const std::atomic<bool>* stop) {
  File in(std::fopen(src.c_str(), "rb"));
  if (!in) return ConvertStatus::SourceUnreadable;
  if (std::fseek(in.get(), 0, SEEK_END) != 0) return ConvertStatus::SourceUnreadable;
  long end = std::ftell(in.get());
  if (end < 0 || std::fseek(in.get(), long(kApcHeaderSize), SEEK_SET) != 0) return ConvertStatus::SourceUnreadable;
  const uint64_t size = uint64_t(end);
  if (size <= kApcHeaderSize) return ConvertStatus::SourceTooShort;
  const uint32_t dataSize = apcWavDataSize(size);
  const uint64_t blocks = (size - kApcHeaderSize) / kApcBlockSize;

  ::unlink(dst.c_str());
  File out(std::fopen(dst.c_str(), "wb"));
  if (!out) return ConvertStatus::TargetUnwritable;
  auto fail = [&](ConvertStatus s) {
    out.reset();
    ::unlink(dst.c_str());
    return s;
  };
  auto header = wavHeader(dataSize);
  if (std::fwrite(header.data(), 1, header.size(), out.get()) != header.size())
    return fail(ConvertStatus::TargetUnwritable);

  // 64 blocks per pass keeps the stop check cheap and the buffers small.
  constexpr size_t kBlocksPerPass = 64;
  std::vector<uint8_t> inBuf(kBlocksPerPass * kApcBlockSize);
  std::vector<int16_t> pcm(inBuf.size() * 2);
  std::vector<uint8_t> outBuf(pcm.size() * 2);
  AdpcmState state;
  uint64_t left = blocks;
  while (left > 0) {
    if (stop && stop->load(std::memory_order_relaxed)) return fail(ConvertStatus::Stopped);
    const size_t nBlocks = size_t(left < kBlocksPerPass ? left : kBlocksPerPass);
    const size_t n = nBlocks * kApcBlockSize;
    if (std::fread(inBuf.data(), 1, n, in.get()) != n) return fail(ConvertStatus::SourceUnreadable);
    adpcmDecode(state, inBuf.data(), n, pcm.data());
    ByteWriter samples(outBuf.data(), n * 4);
    for (size_t i = 0; i < n * 2; ++i) samples.putLe16(2 * i, uint16_t(pcm[i]));
    if (std::fwrite(outBuf.data(), 1, n * 4, out.get()) != n * 4) return fail(ConvertStatus::TargetUnwritable);
    left -= nBlocks;
  }
  if (std::fflush(out.get()) != 0 || ::fsync(fileno(out.get())) != 0) return fail(ConvertStatus::TargetUnwritable);
  if (std::fclose(out.release()) != 0) {
    ::unlink(dst.c_str());
    return ConvertStatus::TargetUnwritable;
  }
  return ConvertStatus::Ok;
}

}  // namespace corvane
