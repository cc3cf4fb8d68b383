// Writes signal units to a capture file of link type MTP2 (140), so that an
// independent dissector (tshark) can read the same messages in tests and
// benchmarks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lumarc {

// One record per unit, time stamps i microseconds apart. False when the file
// cannot be written.
inline bool writeMtp2Capture(const std::string& path, const std::vector<std::vector<uint8_t>>& units) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  auto put32 = [&](uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, f);
  };
  auto put16 = [&](uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
  };
  put32(0xA1B2C3D4);
  put16(2);
  put16(4);
  put32(0);
  put32(0);
  put32(65535);
  put32(140);
  uint32_t i = 0;
  for (const auto& u : units) {
    put32(1700000000 + i / 1000000);
    put32(i % 1000000);
    put32(uint32_t(u.size()));
    put32(uint32_t(u.size()));
    std::fwrite(u.data(), 1, u.size(), f);
    ++i;
  }
  return std::fclose(f) == 0;
}

}  // namespace lumarc
