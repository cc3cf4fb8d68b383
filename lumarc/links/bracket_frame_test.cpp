// Bracket framing of the monitor link: what goes on the wire, and which
// received frames are taken or dropped.
#include "lumarc/links/bracket_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumarc {
namespace {

std::vector<std::string> parse(const std::string& d) {
  return parseBracketDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size());
}

// The frame of an encoded datagram without prefix and CR LF.
std::string frameOf(const std::string& datagram) { return datagram.substr(2, datagram.size() - 4); }

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(char(v));
  return s;
}

// --- Sending ---------------------------------------------------------------

TEST(BracketSend, PayloadWithBracketIsDoubledAndCountedAsSent) {
  // "A]": sent as "A]]", L = 9, C = 0x41 + 0x5D + 0x5D + L0 + L1 = 0x204.
  EXPECT_EQ(encodeBracketFrame("A]"),
            bytes({0x5D, 0xFF, 0x5B, 0x84, 0x84, 0x89, 0x80, 0x41, 0x5D, 0x5D, 0x5D, 0x0D, 0x0A}));
}

TEST(BracketSend, EmptyPayloadIsSixFrameBytes) {
  // L = 6 -> 0x86 0x80; C = 0x86 + 0x80 = 0x106 -> 0x86 0x82.
  EXPECT_EQ(encodeBracketFrame(""), bytes({0x5D, 0xFF, 0x5B, 0x86, 0x82, 0x86, 0x80, 0x5D, 0x0D, 0x0A}));
}

TEST(BracketSend, LongPayloadCarriesFourteenBitLength) {
  std::string payload(300, 'x');
  std::string d = encodeBracketFrame(payload);
  uint32_t L = uint32_t((uint8_t(d[6]) & 0x7F) << 7 | (uint8_t(d[5]) & 0x7F));
  EXPECT_EQ(L, 306u);
  EXPECT_EQ(d.size(), 306u + 4);
}

// --- Receiving -------------------------------------------------------------

struct RoundTrip {
  const char* name;
  std::string payload;
};

TEST(BracketReceive, EveryPayloadSurvivesTheRoundTrip) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(char(i));
  std::vector<RoundTrip> cases = {
      {"empty", ""},
      {"plain", "hello"},
      {"one bracket", "]"},
      {"brackets only", std::string(40, ']')},
      {"bracket last", "abc]"},
      {"open and close brackets", "[x]y[]"},
      {"every byte value", all},
      {"login-sized", std::string(30, '\0')},
      {"record-sized with brackets", std::string(127, '\x5D')},
  };
  for (const auto& c : cases) {
    auto got = parse(encodeBracketFrame(c.payload));
    ASSERT_EQ(got.size(), 1u) << c.name;
    EXPECT_EQ(got[0], c.payload) << c.name;
  }
}

TEST(BracketReceive, FrameWithCheckOffByOneIsDropped) {
  std::string d = encodeBracketFrame("poll]data");
  d[3] = char(uint8_t(d[3]) + 1);
  EXPECT_TRUE(parse(d).empty());
}

TEST(BracketReceive, FrameWithWrongLengthIsDropped) {
  std::string d = encodeBracketFrame("payload");
  d[5] = char(uint8_t(d[5]) + 1);
  EXPECT_TRUE(parse(d).empty());
}

TEST(BracketReceive, FrameCheckedOverTheCollapsedFormIsDropped) {
  // A sender that forgot to count the doubled "]" in L: the receiver must
  // not accept it.
  std::string good = frameOf(encodeBracketFrame("a]b"));
  std::string bad = good;
  bad[3] = char(uint8_t(bad[3]) - 1);  // L one less
  EXPECT_TRUE(parse(bad).empty());
  EXPECT_EQ(parse(good).size(), 1u);
}

TEST(BracketReceive, HeaderByteWithoutItsHighBitIsDropped) {
  for (int i = 1; i <= 4; ++i) {
    std::string d = frameOf(encodeBracketFrame("xyz"));
    d[size_t(i)] = char(uint8_t(d[size_t(i)]) & 0x7F);
    EXPECT_TRUE(parse(d).empty()) << "header byte " << i;
  }
}

TEST(BracketReceive, TooShortFrameIsDropped) {
  EXPECT_TRUE(parse("[\x86\x82]\r\n").empty());
  EXPECT_TRUE(parse("[]").empty());
}

TEST(BracketReceive, TwoFramesInOneDatagramAreBothTaken) {
  std::string d = encodeBracketFrame("one]") + encodeBracketFrame("two");
  auto got = parse(d);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "one]");
  EXPECT_EQ(got[1], "two");
}

TEST(BracketReceive, FramesBackToBackWithoutSeparatorAreBothTaken) {
  auto got = parse(frameOf(encodeBracketFrame("a")) + frameOf(encodeBracketFrame("b")));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1], "b");
}

TEST(BracketReceive, FrameSplitOverTwoDatagramsIsLost) {
  std::string d = encodeBracketFrame("split me");
  std::string first = d.substr(0, 7), second = d.substr(7);
  EXPECT_TRUE(parse(first).empty());
  EXPECT_TRUE(parse(second).empty());
}

TEST(BracketReceive, FrameEndingTheDatagramIsTaken) {
  auto got = parse(frameOf(encodeBracketFrame("last]")));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "last]");
}

TEST(BracketReceive, NoiseBeforeAndBetweenFramesIsSkipped) {
  std::string d = "noise\x11\x11" + frameOf(encodeBracketFrame("A")) + "zz" + frameOf(encodeBracketFrame("B"));
  auto got = parse(d);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "A");
  EXPECT_EQ(got[1], "B");
}

TEST(BracketReceive, BadFrameDoesNotSwallowTheNextOne) {
  std::string bad = frameOf(encodeBracketFrame("bad"));
  bad[1] = char(uint8_t(bad[1]) ^ 1);
  auto got = parse(bad + frameOf(encodeBracketFrame("good")));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "good");
}

TEST(BracketReceive, RunawayFrameIsDiscardedAndHuntingResumes) {
  // "[" and 3000 bytes without "]": discarded at 2048; the frame after it
  // in the same datagram is still found.
  std::string d = "[" + std::string(3000, 'q') + frameOf(encodeBracketFrame("after"));
  auto got = parse(d);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "after");
}

TEST(BracketReceive, LargestFrameIsTakenAndOneMoreIsNot) {
  // Collapsed frames of 2047 bytes pass, 2048 bytes never complete.
  EXPECT_EQ(parse(encodeBracketFrame(std::string(2047 - 6, 'a'))).size(), 1u);
  EXPECT_TRUE(parse(encodeBracketFrame(std::string(2048 - 6, 'a'))).empty());
}

TEST(BracketReceive, CheckFunctionGivesThePayload) {
  std::string f = frameOf(encodeBracketFrame("x"));
  std::string payload = "untouched";
  EXPECT_TRUE(checkBracketFrame(reinterpret_cast<const uint8_t*>(f.data()), f.size(), &payload));
  EXPECT_EQ(payload, "x");
  f[2] = char(uint8_t(f[2]) ^ 2);
  payload = "untouched";
  EXPECT_FALSE(checkBracketFrame(reinterpret_cast<const uint8_t*>(f.data()), f.size(), &payload));
  EXPECT_EQ(payload, "untouched");
}

}  // namespace
}  // namespace lumarc
