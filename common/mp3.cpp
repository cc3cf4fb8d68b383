#include "common/mp3.h"

#include "common/byte_io.h"

#include <lame/lame.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace corvane {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct LameCloser {
  void operator()(lame_global_flags* g) const {
    if (g) lame_close(g);
  }
};

}  // namespace

std::optional<WavInfo> parseWavHeader(const std::string& b, uint64_t fileSize) {
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
    return std::nullopt;
  const ByteReader r(b);
  WavInfo info;
  bool haveFmt = false;
  size_t p = 12;
  while (p + 8 <= b.size()) {
    const uint32_t len = r.le32(p + 4);
    if (std::memcmp(b.data() + p, "fmt ", 4) == 0) {
      if (len < 16 || p + 8 + 16 > b.size()) return std::nullopt;
      info.format = r.le16(p + 8);
      info.channels = r.le16(p + 10);
      info.sampleRate = r.le32(p + 12);
      info.byteRate = r.le32(p + 16);
      info.bitsPerSample = r.le16(p + 22);
      haveFmt = true;
    } else if (std::memcmp(b.data() + p, "data", 4) == 0) {
      if (!haveFmt) return std::nullopt;
      info.dataOffset = p + 8;
      const uint64_t avail = fileSize > info.dataOffset ? fileSize - info.dataOffset : 0;
      info.dataSize = len < avail ? len : avail;
      return info;
    }
    // Chunks are padded to an even length.
    const uint64_t next = uint64_t(p) + 8 + len + (len & 1);
    if (next > b.size()) return std::nullopt;
    p = size_t(next);
  }
  return std::nullopt;
}

std::optional<WavInfo> readWavInfo(const std::string& path) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  std::string head(4096, '\0');
  size_t n = std::fread(head.data(), 1, head.size(), f.get());
  head.resize(n);
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return std::nullopt;
  long end = std::ftell(f.get());
  if (end < 0) return std::nullopt;
  return parseWavHeader(head, uint64_t(end));
}

ConvertStatus encodeWavToMp3(const std::string& src, const std::string& dst, const std::atomic<bool>* stop) {
  auto info = readWavInfo(src);
  if (!info) {
    File probe(std::fopen(src.c_str(), "rb"));
    return probe ? ConvertStatus::NotPcm16 : ConvertStatus::SourceUnreadable;
  }
  if (info->format != 1 || info->bitsPerSample != 16 || info->channels < 1 || info->channels > 2 ||
      info->sampleRate == 0)
    return ConvertStatus::NotPcm16;
  File in(std::fopen(src.c_str(), "rb"));
  if (!in || std::fseek(in.get(), long(info->dataOffset), SEEK_SET) != 0) return ConvertStatus::SourceUnreadable;

  std::unique_ptr<lame_global_flags, LameCloser> gf(lame_init());
  if (!gf) return ConvertStatus::EncoderFailed;
  lame_set_in_samplerate(gf.get(), int(info->sampleRate));
  lame_set_num_channels(gf.get(), info->channels);
  if (info->channels == 1) lame_set_mode(gf.get(), MONO);
  if (lame_init_params(gf.get()) < 0) return ConvertStatus::EncoderFailed;

  ::unlink(dst.c_str());
  File out(std::fopen(dst.c_str(), "wb+"));
  if (!out) return ConvertStatus::TargetUnwritable;
  auto fail = [&](ConvertStatus s) {
    out.reset();
    ::unlink(dst.c_str());
    return s;
  };

  const size_t frameBytes = size_t(2) * info->channels;
  constexpr size_t kFramesPerBlock = 8192;  // well inside the output buffer
  std::vector<uint8_t> raw(kFramesPerBlock * frameBytes);
  std::vector<int16_t> left(kFramesPerBlock), right(kFramesPerBlock);
  std::vector<unsigned char> mp3(kMp3BufferSize);
  uint64_t remaining = info->dataSize / frameBytes;
  while (remaining > 0) {
    if (stop && stop->load(std::memory_order_relaxed)) return fail(ConvertStatus::Stopped);
    const size_t want = size_t(remaining < kFramesPerBlock ? remaining : kFramesPerBlock);
    const size_t got = std::fread(raw.data(), frameBytes, want, in.get());
    if (got != want) return fail(ConvertStatus::SourceUnreadable);
    const ByteReader samples(raw.data(), got * frameBytes);
    for (size_t i = 0; i < got; ++i) {
      left[i] = int16_t(samples.le16(i * frameBytes));
      if (info->channels == 2) right[i] = int16_t(samples.le16(i * frameBytes + 2));
    }
    int n = lame_encode_buffer(gf.get(), left.data(), info->channels == 2 ? right.data() : left.data(), int(got),
                               mp3.data(), int(mp3.size()));
    if (n < 0) return fail(ConvertStatus::EncoderFailed);
    if (n > 0 && std::fwrite(mp3.data(), 1, size_t(n), out.get()) != size_t(n))
      return fail(ConvertStatus::TargetUnwritable);
    remaining -= got;
  }
  int n = lame_encode_flush(gf.get(), mp3.data(), int(mp3.size()));
  if (n < 0) return fail(ConvertStatus::EncoderFailed);
  if (n > 0 && std::fwrite(mp3.data(), 1, size_t(n), out.get()) != size_t(n))
    return fail(ConvertStatus::TargetUnwritable);
  lame_mp3_tags_fid(gf.get(), out.get());
  if (std::fflush(out.get()) != 0 || ::fsync(fileno(out.get())) != 0) return fail(ConvertStatus::TargetUnwritable);
  if (std::fclose(out.release()) != 0) {
    ::unlink(dst.c_str());
    return ConvertStatus::TargetUnwritable;
  }
  return ConvertStatus::Ok;
}

std::optional<Mp3Pcm> decodeMp3(const std::string& bytes) {
  hip_t hip = hip_decode_init();
  if (!hip) return std::nullopt;
  Mp3Pcm result;
  std::vector<short> l(1152 * 8), r(1152 * 8);
  mp3data_struct md{};
  size_t pos = 0;
  const size_t chunk = 4096;
  bool any = false;
  while (true) {
    size_t len = pos < bytes.size() ? std::min(chunk, bytes.size() - pos) : 0;
    unsigned char* p = len ? reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data() + pos)) : nullptr;
    int n = hip_decode1_headers(hip, p, len, l.data(), r.data(), &md);
    pos += len;
    if (n < 0) break;
    if (md.header_parsed && !any) {
      result.sampleRate = md.samplerate;
      result.channels = md.stereo;
      any = true;
    }
    if (n > 0) {
      result.samples.insert(result.samples.end(), l.begin(), l.begin() + n);
      continue;  // the decoder may hold more frames of the same input
    }
    if (len == 0) break;
  }
  hip_decode_exit(hip);
  if (!any) return std::nullopt;
  return result;
}

}  // namespace corvane
