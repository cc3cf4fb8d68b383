// Random and mutated records of every ISDN data-link kind: decoding must
// never crash or read outside the message buffer (the sanitizer build runs
// this), and every line after the first is empty or starts with 8 blanks.
// Records cut short are marked malformed, the sample frames are not, and the
// mark never changes the text.
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/samples/sample_frames.h"
#include "lumarc/decoder/test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>

namespace lumarc {
namespace {

constexpr int kRecordsPerKind = 100000;

// Checks the shape of one decode text; returns an empty string when fine.
std::string shapeFault(const std::string& text) {
  size_t line = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(char(0xFF), start);
    if (end == std::string::npos) end = text.size();
    bool blank = true;
    for (size_t i = start; i < end; ++i) {
      const uint8_t b = uint8_t(text[i]);
      if (b < 0x20 || b == 0x7F) return "control byte in line " + std::to_string(line);
      if (b != ' ') blank = false;
    }
    if (line > 0 && !blank && (end - start < 8 || text.compare(start, 8, "        ") != 0)) {
      return "line " + std::to_string(line) + " lacks 8 blanks: " + text.substr(start, end - start);
    }
    if (end == text.size()) break;
    start = end + 1;
    ++line;
  }
  return {};
}

MonitorRecord randomRecord(std::mt19937& rng, int32_t type, const std::vector<std::vector<uint8_t>>& corpus) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> bytes(96);
  for (auto& b : bytes) b = uint8_t(byte(rng));
  int32_t datl = 0;
  if (!corpus.empty() && (rng() & 1)) {
    // A sample frame with a few bytes changed and a random length.
    const auto& f = corpus[rng() % corpus.size()];
    std::copy(f.begin(), f.end(), bytes.begin());
    const int changes = 1 + int(rng() % 4);
    for (int i = 0; i < changes; ++i) bytes[rng() % f.size()] = uint8_t(byte(rng));
    datl = int32_t(f.size());
    if (rng() % 4 == 0) datl = int32_t(rng() % 97);
  } else {
    datl = int32_t(rng() % 97);
  }
  MonitorRecord r = test::recordOf(type, bytes, datl);
  r.ptyp = 0x0F + int32_t(rng() % 5);
  r.ind = int32_t(rng() & 0xFFFF);
  r.dir = int32_t(rng() & 0x7FF);
  return r;
}

struct KindCase {
  const char* name;
  int32_t type;
  bool v5;
};

TEST(RandomRecords, NeverCrashAndKeepTheLineShape) {
  const KindCase kinds[] = {{"RCV LAPD", 0xFD00, false},  {"XMT LAPD", 0xFC01, false}, {"RCV V5.2An", 0xFD27, true},
                            {"XMT V5.2Le", 0xFC26, true}, {"PH REQ", 0xFB00, false},   {"PH IND", 0xFA00, false}};
  std::mt19937 rng(20240506);
  for (const auto& k : kinds) {
    const auto& corpus = k.v5 ? sampleV5Frames() : sampleIsdnFrames();
    int faults = 0;
    for (int i = 0; i < kRecordsPerKind; ++i) {
      MonitorRecord r = randomRecord(rng, k.type, corpus);
      const std::string text = decodeMonitorRecord(r, DecodeOptions{(rng() & 1) != 0});
      const std::string fault = shapeFault(text);
      if (!fault.empty() && ++faults <= 3) ADD_FAILURE() << k.name << ": " << fault;
    }
    EXPECT_EQ(faults, 0) << k.name;
  }
}

TEST(RandomRecords, GarbageDatbAndLengthsAreHandled) {
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    MonitorRecord r = test::recordOf(0xFD00, {});
    r.datb.assign(rng() % 300, char(rng() & 0xFF));
    for (char& c : r.datb) c = char(rng() & 0xFF);
    r.datl = int32_t(rng()) % 1000;
    r.cport.assign(rng() % 20, 'x');
    EXPECT_TRUE(shapeFault(decodeMonitorRecord(r, DecodeOptions{true})).empty());
  }
}

TEST(MalformedMark, NoSampleFrameIsMarkedMalformed) {
  for (const auto& f : sampleIsdnFrames()) {
    EXPECT_FALSE(decodeMonitorRecordMarked(test::recordOf(0xFD00, f), DecodeOptions{true}).malformed)
        << test::visible(decodeMonitorRecord(test::recordOf(0xFD00, f), DecodeOptions{true}));
  }
  for (const auto& f : sampleV5Frames()) {
    EXPECT_FALSE(decodeMonitorRecordMarked(test::recordOf(0xFD27, f), DecodeOptions{true}).malformed)
        << test::visible(decodeMonitorRecord(test::recordOf(0xFD27, f), DecodeOptions{true}));
  }
}

TEST(MalformedMark, FramesCutShortAreMarkedWithTheirFirstMissingOctetAndShowTheSameText) {
  struct Case {
    const char* name;
    int32_t type;
    std::vector<uint8_t> bytes;
    std::string_view reason;  // empty: not malformed
    size_t offset;
  };
  // A V5.2 PSTN signal (envelope and LAPV5 header, message type 0x02) with a
  // steady-signal element of one octet.
  const std::vector<uint8_t> v5 = {0xFC, 0xE1, 0xFC, 0xE1, 0x00, 0x02, 0x48, 0x01, 0x01, 0x02, 0x03, 0x01, 0x84};
  const std::vector<uint8_t> setup = {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05, 0x04, 0x02, 0x80, 0x90};
  // clang-format off
  const Case cases[] = {
      {"a whole SETUP", 0xFD00, setup, "", 0},
      {"a SETUP cut inside its bearer capability", 0xFD00, {setup.begin(), setup.end() - 1}, "element past the end", 11},
      {"an element cut after its identifier", 0xFD00, {setup.begin(), setup.end() - 3}, "element length missing", 9},
      {"a call reference cut after its length", 0xFD00, {0x00, 0x01, 0x00, 0x00, 0x08, 0x02, 0x81}, "call reference cut short", 7},
      {"a message without its type", 0xFD00, {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81}, "message type missing", 7},
      {"a receiver-ready frame without its second control octet", 0xFD00, {0x00, 0x01, 0x01}, "control field cut short", 3},
      {"a TEI request of seven octets", 0xFD00, {0xFC, 0xFF, 0x03, 0x0F, 0x12, 0x34, 0x01}, "TEI message cut short", 7},
      {"a frame of two octets", 0xFD00, {0x00, 0x01}, "octet past the end", 2},
      {"a whole V5.2 steady signal", 0xFD27, v5, "", 0},
      {"a V5.2 element without its content", 0xFD27, {v5.begin(), v5.end() - 1}, "length past the end", 12},
      {"a V5.2 element without its length", 0xFD27, {v5.begin(), v5.end() - 2}, "length past the end", 11},
  };
  // clang-format on
  for (const Case& c : cases) {
    const MonitorRecord r = test::recordOf(c.type, c.bytes);
    const RecordDecode d = decodeMonitorRecordMarked(r, DecodeOptions{true});
    EXPECT_EQ(d.malformed, !c.reason.empty()) << c.name << ": " << test::visible(d.text);
    EXPECT_EQ(d.malformation.reason, c.reason) << c.name;
    EXPECT_EQ(d.malformation.offset, c.offset) << c.name;
    EXPECT_EQ(d.text, decodeMonitorRecord(r, DecodeOptions{true})) << c.name;
  }
}

TEST(SampleFrames, EveryIsdnSampleDecodesWithoutAnEmptyElementStop) {
  for (const auto& f : sampleIsdnFrames()) {
    const std::string text = decodeMonitorRecord(test::recordOf(0xFD00, f), DecodeOptions{true});
    ASSERT_FALSE(text.empty());
    // Only a locking shift to another code set leaves an empty line.
    const std::vector<std::string> lines = splitDecodeText(text);
    for (size_t i = 1; i < lines.size(); ++i) {
      EXPECT_FALSE(lines[i].rfind("        Len=", 0) == 0 && (lines[i].size() == 12 || lines[i].back() == ' '))
          << "element that does not fit: " << test::visible(text);
      if (lines[i].empty()) {
        EXPECT_NE(lines[i - 1].find("Code Set="), std::string::npos) << test::visible(text);
      }
    }
  }
}

}  // namespace
}  // namespace lumarc
