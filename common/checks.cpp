#include "common/checks.h"

namespace corvane {

uint16_t frameCheck16(const uint8_t* data, size_t size) {
  unsigned a = 1, b = 0;
  for (size_t i = 0; i < size; ++i) {
    a = ((a + data[i]) % 256) % 251;
    b = ((b + a) % 256) % 251;
  }
  if (a == 0 && b == 0) return 0xFFFF;
  return uint16_t(b << 8 | a);
}

uint16_t byteSum14(const uint8_t* data, size_t size, uint16_t start) {
  uint16_t sum = start;
  for (size_t i = 0; i < size; ++i) sum = uint16_t(sum + data[i]);
  return uint16_t(sum & 0x3FFF);
}

uint16_t byteSum16(const uint8_t* data, size_t size) {
  uint16_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum = uint16_t(sum + data[i]);
  return sum;
}

}  // namespace corvane
