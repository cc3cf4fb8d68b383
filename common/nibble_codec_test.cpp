#include "common/nibble_codec.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(NibbleCodec, EncodesLowNibbleFirstWithSumLittleEndian) {
  std::vector<uint8_t> rec{0x00, 0xFF, 0x5A};
  std::string img = nibbleEncode(rec);
  ASSERT_EQ(img.size(), 8u);
  EXPECT_EQ(img.substr(0, 6), "00??:5");
  uint16_t sum = 0xFF + 0x5A;
  EXPECT_EQ(uint8_t(img[6]), sum & 0xFF);
  EXPECT_EQ(uint8_t(img[7]), sum >> 8);
}

TEST(NibbleCodec, AnyCharacterDecodesByItsLowFourBits) {
  // 'O' = 0x4F -> nibble 15; 'A' = 0x41 -> nibble 1; '?' -> 15.
  std::string img = "O?A1";
  img += '\0';
  img += '\0';
  auto d = nibbleDecode(img, 2);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->record[0], 0xFF);
  EXPECT_EQ(d->record[1], 0x11);
  EXPECT_FALSE(d->checkMatches);
}

TEST(NibbleCodec, OnlyTheExactSizeIsAccepted) {
  std::vector<uint8_t> rec(10, 7);
  std::string img = nibbleEncode(rec);
  EXPECT_TRUE(nibbleDecode(img, 10));
  EXPECT_FALSE(nibbleDecode(img + "x", 10));
  EXPECT_FALSE(nibbleDecode(img.substr(1), 10));
}

TEST(NibbleCodec, RoundTripOfEveryByteValue) {
  std::vector<uint8_t> rec(256);
  for (int i = 0; i < 256; ++i) rec[size_t(i)] = uint8_t(i);
  auto d = nibbleDecode(nibbleEncode(rec), rec.size());
  ASSERT_TRUE(d);
  EXPECT_EQ(d->record, rec);
  EXPECT_TRUE(d->checkMatches);
}

}  // namespace
}  // namespace corvane
