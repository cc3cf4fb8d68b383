#include "common/crypto.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

template <size_t N>
std::string hexOf(const std::array<uint8_t, N>& d) {
  static const char* h = "0123456789abcdef";
  std::string s;
  for (uint8_t b : d) {
    s += h[b >> 4];
    s += h[b & 15];
  }
  return s;
}

const uint8_t* bytes(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

TEST(Digests, KnownAnswerVectors) {
  EXPECT_EQ(hexOf(md5(bytes(""), 0)), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(hexOf(md5(bytes("abc"), 3)), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hexOf(sha1(bytes("abc"), 3)), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // RFC 2202 test case 2
  EXPECT_EQ(hexOf(hmacSha1(bytes("Jefe"), 4, bytes("what do ya want for nothing?"), 28)),
            "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
}

TEST(Aes, EcbKnownAnswerAndRoundTrip) {
  // FIPS-197 C.3
  uint8_t key[32];
  for (int i = 0; i < 32; ++i) key[i] = uint8_t(i);
  const uint8_t plain[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                             0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  auto c = aes256EcbEncrypt(key, plain, 16);
  ASSERT_TRUE(c);
  std::array<uint8_t, 16> ca{};
  std::copy(c->begin(), c->end(), ca.begin());
  EXPECT_EQ(hexOf(ca), "8ea2b7ca516745bfeafc49904b496089");
  auto p = aes256EcbDecrypt(key, c->data(), c->size());
  ASSERT_TRUE(p);
  EXPECT_TRUE(std::equal(p->begin(), p->end(), plain));
  EXPECT_FALSE(aes256EcbEncrypt(key, plain, 15));
}

TEST(Random, FillsBuffers) {
  uint8_t a[32] = {}, b[32] = {};
  ASSERT_TRUE(randomBytes(a, sizeof a));
  ASSERT_TRUE(randomBytes(b, sizeof b));
  EXPECT_NE(std::string(a, a + 32), std::string(b, b + 32));
}

}  // namespace
}  // namespace corvane
