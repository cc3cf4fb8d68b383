// Random and mutated SS7 signal units (kinds 0xF5, 0xF6 and 0xFC/0x25):
// decoding must never crash or read outside the message buffer (the
// sanitizer build runs this), every line after the first is empty or starts
// with 8 blanks, and a message signal unit always ends with the whole hex
// dump of its datl bytes. Units cut short are marked malformed, the sample
// units are not, and the mark never changes the text.
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/samples/ss7_samples.h"
#include "lumarc/decoder/test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace lumarc {
namespace {

constexpr int kRecordsPerKind = 30000;

// Empty when the text is shaped as decode text must be.
std::string shapeFault(const std::string& text) {
  const std::vector<std::string> lines = splitDecodeText(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    bool blank = true;
    for (char ch : lines[i]) {
      const uint8_t b = uint8_t(ch);
      if (b < 0x20 || b == 0x7F) return "control byte in line " + std::to_string(i);
      if (b != ' ') blank = false;
    }
    if (i > 0 && !blank && lines[i].compare(0, 8, "        ") != 0) {
      return "line " + std::to_string(i) + " lacks 8 blanks: " + lines[i];
    }
  }
  return {};
}

// Empty when a unit of length indicator 2-255 ends with the dump of all its
// datl bytes (LSSUs with a known status and LI 2, all MSUs).
std::string dumpFault(const std::string& text, const std::vector<uint8_t>& bytes, size_t datl) {
  const std::vector<std::string> lines = splitDecodeText(text);
  size_t at = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("        Hex Dump ", 0) == 0) at = i;
  }
  if (at == lines.size()) return "no hex dump";
  std::string dumped;
  for (size_t i = at; i < lines.size(); ++i) dumped += lines[i].substr(17);
  std::string expect;
  static const char* hex = "0123456789ABCDEF";
  for (size_t i = 0; i < datl; ++i) {
    expect.push_back(hex[bytes[i] >> 4]);
    expect.push_back(hex[bytes[i] & 0x0F]);
    expect.push_back(' ');
  }
  return dumped == expect ? std::string() : "dump differs: " + dumped;
}

std::vector<uint8_t> randomUnit(std::mt19937& rng, size_t& datl) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> bytes(96);
  for (auto& b : bytes) b = uint8_t(byte(rng));
  const auto& samples = sampleSs7Units();
  switch (rng() % 4) {
    case 0: {  // a sample with a few bytes changed
      const auto& s = samples[rng() % samples.size()];
      std::copy(s.begin(), s.end(), bytes.begin());
      const int changes = 1 + int(rng() % 4);
      for (int i = 0; i < changes; ++i) bytes[rng() % s.size()] = uint8_t(byte(rng));
      datl = rng() % 4 == 0 ? rng() % 97 : s.size();
      break;
    }
    case 1: {  // a valid MTP header with a random ISUP or SCCP body
      static const uint8_t kSio[] = {0x80, 0x81, 0x83, 0x85, 0x85, 0x85};
      datl = 9 + rng() % 88;
      bytes[2] = uint8_t(datl - 3 > 63 ? 63 : datl - 3);
      bytes[3] = kSio[rng() % 6];
      if (bytes[3] == 0x85) bytes[10] = uint8_t(rng() % 0x45);
      if (bytes[3] == 0x83) bytes[8] = uint8_t(rng() % 22);
      break;
    }
    case 2: {  // a sample with a random tail after its first bytes
      const auto& s = samples[rng() % samples.size()];
      const size_t keep = rng() % s.size();
      std::copy(s.begin(), s.begin() + long(keep), bytes.begin());
      datl = s.size();
      break;
    }
    default: datl = rng() % 97; break;
  }
  return bytes;
}

TEST(Ss7RandomUnits, NeverCrashKeepTheLineShapeAndEndWithTheDump) {
  std::mt19937 rng(20261209);
  for (int32_t type : {0xF500, 0xF600, 0xFC25}) {
    int faults = 0;
    for (int i = 0; i < kRecordsPerKind; ++i) {
      size_t datl = 0;
      const std::vector<uint8_t> bytes = randomUnit(rng, datl);
      MonitorRecord r = test::recordOf(type, bytes, int32_t(datl));
      r.dir = int32_t(rng() & 0x7FF);
      const std::string text = decodeMonitorRecord(r);
      std::string fault = shapeFault(text);
      const uint8_t li = bytes[2];
      const bool dumped = datl >= 3 && (li >= 3 || (li == 2 && bytes[3] <= 5));
      if (fault.empty() && dumped) fault = dumpFault(text, bytes, datl);
      if (fault.empty() && datl < 3 && !text.empty()) fault = "short unit shows text";
      if (!fault.empty() && ++faults <= 3) {
        ADD_FAILURE() << std::hex << type << ": " << fault << "\n" << test::visible(text);
      }
    }
    EXPECT_EQ(faults, 0) << std::hex << type;
  }
}

TEST(Ss7RandomUnits, EveryLengthIndicatorAndServiceIndicatorOnEmptyBytes) {
  for (int li = 0; li < 256; ++li) {
    for (int sio = 0; sio < 256; sio += 17) {
      std::vector<uint8_t> bytes = {0x85, 0x86, uint8_t(li), uint8_t(sio)};
      for (int datl : {3, 4, 12, 96}) {
        const std::string text = decodeMonitorRecord(test::recordOf(0xF500, bytes, datl));
        ASSERT_TRUE(shapeFault(text).empty()) << li << " " << sio << " " << datl;
      }
    }
  }
}

TEST(Ss7Samples, EverySampleDecodesCleanly) {
  for (const auto& s : sampleSs7Units()) {
    const RecordDecode decoded = decodeMonitorRecordMarked(test::recordOf(0xF500, s));
    const std::string& text = decoded.text;
    ASSERT_FALSE(text.empty());
    EXPECT_FALSE(decoded.malformed) << test::visible(text);
    EXPECT_TRUE(shapeFault(text).empty()) << test::visible(text);
    for (const char* bad : {"not implemented", "Unknown ISUP parameter", "Unknown SCCP parameter",
                            "Length indicator inconsistent", "Spare field ill", "Unknown message"}) {
      EXPECT_EQ(text.find(bad), std::string::npos) << bad << "\n" << test::visible(text);
    }
    if (s[2] >= 3) {
      EXPECT_TRUE(dumpFault(text, s, s.size()).empty()) << test::visible(text);
    }
    // A message whose optional part is shown reaches its end.
    if (text.find("Pointer to optional part") != std::string::npos &&
        text.find("Pointer to optional part|") == std::string::npos &&
        text.find(" Pointer to optional part:00") == std::string::npos &&
        text.find(" Pointer to optional part:0000") == std::string::npos &&
        text.find("00000000 Pointer to optional part") == std::string::npos) {
      EXPECT_NE(text.find("End of optional parameters"), std::string::npos) << test::visible(text);
    }
  }
}

TEST(Ss7MalformedMark, UnitsCutShortAreMarkedAndShowTheSameText) {
  // An initial address message: nature of connection, forward call
  // indicators, calling party's category, transmission medium, a pointer to
  // the called party number, no optional part, and the called party number
  // (length 6) with the digits 1234567.
  const std::vector<uint8_t> iam = ss7IsupUnit(
      0x0102, 0x0203, 1, 7, 0x01, {0x00, 0x60, 0x01, 0x0A, 0x00, 0x02, 0x00, 0x06, 0x81, 0x10, 0x21, 0x43, 0x65, 0x07});
  // A unitdata message (class 0) whose called party pointer leads past the end.
  const std::vector<uint8_t> udt = ss7SccpUnit(0x0102, 0x0203, 1, {0x09, 0x00, 0x60, 0x04, 0x06});
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool malformed;
  };
  const Case cases[] = {
      {"a whole initial address message", iam, false},
      {"an initial address message cut inside its called party number", {iam.begin(), iam.end() - 2}, true},
      {"an initial address message cut before its pointers", {iam.begin(), iam.begin() + 14}, true},
      {"a unitdata message whose pointer leads past the end", udt, true},
      {"a unit of two octets", {0x85, 0x86}, true},
  };
  for (const Case& c : cases) {
    const MonitorRecord r = test::recordOf(0xF500, c.bytes);
    const RecordDecode d = decodeMonitorRecordMarked(r);
    EXPECT_EQ(d.malformed, c.malformed) << c.name << ": " << test::visible(d.text);
    EXPECT_EQ(d.text, decodeMonitorRecord(r)) << c.name;
  }
}

}  // namespace
}  // namespace lumarc
