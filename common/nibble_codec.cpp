#include "common/nibble_codec.h"

#include "common/byte_io.h"
#include "common/checks.h"

namespace corvane {

std::string nibbleEncode(const std::vector<uint8_t>& record) {
  std::string out;
  out.reserve(record.size() * 2 + 2);
  for (uint8_t b : record) {
    out += char(0x30 + (b & 0x0F));
    out += char(0x30 + (b >> 4));
  }
  out.resize(out.size() + 2);
  ByteWriter(out).putLe16(record.size() * 2, byteSum16(record.data(), record.size()));
  return out;
}

std::optional<NibbleDecoded> nibbleDecode(const std::string& image, size_t recordSize) {
  if (image.size() != recordSize * 2 + 2) return std::nullopt;
  NibbleDecoded d;
  d.record.resize(recordSize);
  for (size_t k = 0; k < recordSize; ++k) {
    uint8_t lo = uint8_t(image[2 * k]) & 0x0F;
    uint8_t hi = uint8_t(uint8_t(image[2 * k + 1]) << 4);
    d.record[k] = uint8_t(lo | hi);
  }
  const uint16_t stored = ByteReader(image).le16(recordSize * 2);
  d.checkMatches = stored == byteSum16(d.record.data(), d.record.size());
  return d;
}

}  // namespace corvane
