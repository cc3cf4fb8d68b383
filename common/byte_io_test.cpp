#include "common/byte_io.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace corvane {
namespace {

constexpr std::array<uint8_t, 6> kSix{0x01, 0x02, 0x03, 0x04, 0x05, 0xFE};

// Usable at compile time.
static_assert(ByteReader(kSix).le16(0) == 0x0201);
static_assert(ByteReader(kSix).be32(2) == 0x030405FEu);
static_assert(ByteReader(kSix).le32(3) == 0 && ByteReader(kSix).u8(6) == 0);
static_assert([] {
  std::array<uint8_t, 4> b{};
  ByteWriter w(b);
  w.putBe16(1, 0xABCD);
  return b[1] == 0xAB && b[2] == 0xCD && !w.overran();
}());

TEST(ByteReader, ValuesAtOffsets) {
  struct Case {
    const char* what;
    size_t offset;
    uint32_t expected;
    uint32_t (*read)(const ByteReader&, size_t);
  };
  const Case cases[] = {
      {"u8 first", 0, 0x01, [](const ByteReader& r, size_t o) -> uint32_t { return r.u8(o); }},
      {"u8 last", 5, 0xFE, [](const ByteReader& r, size_t o) -> uint32_t { return r.u8(o); }},
      {"le16", 1, 0x0302, [](const ByteReader& r, size_t o) -> uint32_t { return r.le16(o); }},
      {"be16", 1, 0x0203, [](const ByteReader& r, size_t o) -> uint32_t { return r.be16(o); }},
      {"le16 at the end", 4, 0xFE05, [](const ByteReader& r, size_t o) -> uint32_t { return r.le16(o); }},
      {"le32", 0, 0x04030201, [](const ByteReader& r, size_t o) -> uint32_t { return r.le32(o); }},
      {"be32", 0, 0x01020304, [](const ByteReader& r, size_t o) -> uint32_t { return r.be32(o); }},
      {"le32 at the end", 2, 0xFE050403, [](const ByteReader& r, size_t o) -> uint32_t { return r.le32(o); }},
  };
  for (const Case& c : cases) {
    ByteReader r(kSix);
    EXPECT_EQ(c.read(r, c.offset), c.expected) << c.what;
    EXPECT_FALSE(r.overran()) << c.what;
  }
}

TEST(ByteReader, ReadsPastTheEndGiveZeroAndStickyFlag) {
  struct Case {
    const char* what;
    size_t offset;
    uint32_t (*read)(const ByteReader&, size_t);
  };
  const Case cases[] = {
      {"u8 just past", 6, [](const ByteReader& r, size_t o) -> uint32_t { return r.u8(o); }},
      {"le16 straddling", 5, [](const ByteReader& r, size_t o) -> uint32_t { return r.le16(o); }},
      {"be16 straddling", 5, [](const ByteReader& r, size_t o) -> uint32_t { return r.be16(o); }},
      {"le32 straddling", 3, [](const ByteReader& r, size_t o) -> uint32_t { return r.le32(o); }},
      {"be32 straddling", 4, [](const ByteReader& r, size_t o) -> uint32_t { return r.be32(o); }},
      {"le32 far past", size_t(-2), [](const ByteReader& r, size_t o) -> uint32_t { return r.le32(o); }},
  };
  for (const Case& c : cases) {
    ByteReader r(kSix);
    EXPECT_EQ(c.read(r, c.offset), 0u) << c.what;
    EXPECT_TRUE(r.overran()) << c.what;
    // The flag stays set after reads that fit.
    EXPECT_EQ(r.u8(0), 0x01) << c.what;
    EXPECT_TRUE(r.overran()) << c.what;
  }
}

TEST(ByteReader, BytesAndSubBlocks) {
  ByteReader r(kSix);
  auto mid = r.bytes(2, 3);
  ASSERT_EQ(mid.size(), 3u);
  EXPECT_EQ(mid[0], 0x03);
  EXPECT_EQ(mid[2], 0x05);
  EXPECT_TRUE(r.bytes(6, 0).empty());  // empty at the very end is inside
  EXPECT_FALSE(r.overran());
  EXPECT_TRUE(r.has(4, 2));
  EXPECT_FALSE(r.has(4, 3));
  EXPECT_FALSE(r.overran());  // has() only asks

  ByteReader sub = r.sub(4, 2);
  EXPECT_EQ(sub.le16(0), 0xFE05);
  EXPECT_EQ(sub.u8(2), 0);
  EXPECT_TRUE(sub.overran());
  EXPECT_FALSE(r.overran());

  EXPECT_TRUE(r.bytes(4, 3).empty());
  EXPECT_TRUE(r.overran());

  ByteReader c(kSix);
  uint8_t out[3] = {9, 9, 9};
  c.copy(4, out, 3);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[2], 0);
  EXPECT_TRUE(c.overran());
}

TEST(ByteReader, OverTextAndNothing) {
  const std::string text("\x10\x20\x30", 3);
  ByteReader r(text);
  EXPECT_EQ(r.le16(1), 0x3020);
  ByteReader none;
  EXPECT_EQ(none.size(), 0u);
  EXPECT_EQ(none.u8(0), 0);
  EXPECT_TRUE(none.overran());
}

TEST(ByteWriter, WritesRoundTrip) {
  std::array<uint8_t, 16> b{};
  ByteWriter w(b);
  w.put8(0, 0x7F);
  w.putLe16(1, 0xBEEF);
  w.putBe16(3, 0xBEEF);
  w.putLe32(5, 0x12345678);
  w.putBe32(9, 0x12345678);
  w.putBytes(13, std::string_view("xyz"));
  EXPECT_FALSE(w.overran());
  const std::array<uint8_t, 16> expected{0x7F, 0xEF, 0xBE, 0xBE, 0xEF, 0x78, 0x56, 0x34,
                                         0x12, 0x12, 0x34, 0x56, 0x78, 'x',  'y',  'z'};
  EXPECT_EQ(b, expected);

  ByteReader r(b);
  EXPECT_EQ(r.u8(0), 0x7F);
  EXPECT_EQ(r.le16(1), 0xBEEF);
  EXPECT_EQ(r.be16(3), 0xBEEF);
  EXPECT_EQ(r.le32(5), 0x12345678u);
  EXPECT_EQ(r.be32(9), 0x12345678u);
  EXPECT_FALSE(r.overran());
}

TEST(ByteWriter, WritesThatDoNotFitAreLeftOutAndFlagged) {
  struct Case {
    const char* what;
    void (*write)(ByteWriter&);
  };
  const Case cases[] = {
      {"put8 past", [](ByteWriter& w) { w.put8(4, 1); }},
      {"putLe16 straddling", [](ByteWriter& w) { w.putLe16(3, 0xFFFF); }},
      {"putBe16 straddling", [](ByteWriter& w) { w.putBe16(3, 0xFFFF); }},
      {"putLe32 straddling", [](ByteWriter& w) { w.putLe32(1, 0xFFFFFFFF); }},
      {"putBe32 straddling", [](ByteWriter& w) { w.putBe32(2, 0xFFFFFFFF); }},
      {"putBytes straddling", [](ByteWriter& w) { w.putBytes(2, std::string_view("abc")); }},
      {"fill straddling", [](ByteWriter& w) { w.fill(0, 5, 0xFF); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b(4, 0);
    ByteWriter w(b);
    c.write(w);
    EXPECT_TRUE(w.overran()) << c.what;
    EXPECT_EQ(b, std::vector<uint8_t>(4, 0)) << c.what;
  }
}

TEST(ByteWriter, OverAStringOfFixedSize) {
  std::string s(6, '\0');
  ByteWriter w(s);
  w.putLe16(0, 0x4241);
  w.fill(2, 4, 'z');
  w.put8(6, 1);
  EXPECT_EQ(s, "ABzzzz");
  EXPECT_EQ(s.size(), 6u);
  EXPECT_TRUE(w.overran());
}

}  // namespace
}  // namespace corvane
