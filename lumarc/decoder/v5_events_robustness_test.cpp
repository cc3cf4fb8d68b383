// Randomised robustness of the V5.2 and exchange-event decoders: many
// random records of these kinds (well-formed envelopes with random element
// streams, random indicators, ports and lengths). A decode must never crash
// (run under ASan/UBSan by `make test`), must be repeatable, and must keep
// the line layout: indented lines, one hex dump of datl bytes for V5.2
// records, two lines for SIP, at most two for call-control primitives. The
// malformed mark never changes the text, and event records that lack the
// bytes they show are marked.
#include "lumarc/decoder/context.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/test_support.h"
#include "lumarc/decoder/v5_protocols.h"

#include "common/format.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using test::recordOf;

class RecordGenerator {
 public:
  explicit RecordGenerator(uint32_t seed) : rng_(seed) {}

  unsigned below(unsigned n) { return unsigned(rng_() % n); }
  uint8_t byte() { return uint8_t(rng_()); }

  // A port text as the link makes it (8 characters of "0"-"9", "A"-"E" and
  // blank), sometimes cut or lengthened to 0-12 characters.
  std::string portText() {
    std::string s = corvane::formatPort(uint32_t(rng_()));
    if (below(4) == 0) s.resize(below(13), '7');
    return s;
  }

  // Identifier and length of an element the given protocol knows, with a
  // length that is usually in range; sometimes any byte.
  void element(std::vector<uint8_t>& out, unsigned ef) {
    static constexpr uint8_t kIds[5][14] = {
        {0x00, 0x01, 0x02, 0x03, 0x04, 0x10, 0x11, 0x12, 0x13, 0x14, 0x22, 0x23, 0x24, 0x95},
        {0x20, 0x21, 0x22, 0x23, 0xE1, 0xF2, 0x20, 0x21, 0x22, 0x23, 0xE0, 0xF0, 0x90, 0x23},
        {0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46},
        {0x50, 0x51, 0x52, 0x53, 0x50, 0x51, 0x52, 0x53, 0x50, 0x51, 0x52, 0x53, 0x54, 0x50},
        {0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x31, 0x30, 0x30},
    };
    const uint8_t id = below(10) == 0 ? byte() : kIds[ef - 8176][below(14)];
    out.push_back(id);
    if (id >= 0x80 && ef == 8176) return;
    if (id >= 0xE0 && ef == 8177) return;
    const uint8_t len = below(6) == 0 ? byte() : uint8_t(below(10));
    out.push_back(len);
    // clang-format off
    for (unsigned i = 0; i < len && out.size() < 96; ++i) out.push_back(below(3) == 0 ? byte() : uint8_t(0x80 | below(0x80)));
    // clang-format on
  }

  MonitorRecord v5Record() {
    static constexpr uint8_t kTypes[5][2] = {{0x00, 0x10}, {0x10, 0x05}, {0x20, 0x0C}, {0x18, 0x09}, {0x30, 0x03}};
    const unsigned ef = 8176 + below(5);
    // clang-format off
    std::vector<uint8_t> bytes = {uint8_t((ef >> 7) << 2), uint8_t(((ef & 0x7F) << 1) | 1),
                                  byte(), byte(), uint8_t(below(8) == 0 ? 1 : byte() & 0xFE), byte(),
                                  uint8_t(below(10) == 0 ? byte() : 0x48), byte(), byte(),
                                  uint8_t(below(10) == 0 ? byte() : kTypes[ef - 8176][0] + below(kTypes[ef - 8176][1]))};
    // clang-format on
    while (bytes.size() < 96 && below(8) != 0) element(bytes, ef);
    const int32_t datl = below(5) == 0 ? int32_t(below(200)) : int32_t(bytes.size() > 96 ? 96 : bytes.size());
    bytes.resize(96, 0);
    for (size_t i = 2; i < 96; ++i) {  // the envelope address stays valid
      if (below(50) == 0) bytes[i] = byte();
    }
    static constexpr int32_t kKinds[4] = {0xFD27, 0xFD26, 0xFC26, 0xFC27};
    MonitorRecord r = recordOf(kKinds[below(4)], bytes, datl);
    randomFields(r);
    return r;
  }

  MonitorRecord eventRecord() {
    // clang-format off
    static constexpr int32_t kKinds[] = {0xFF, 0xFE, 0xF0, 0xEF, 0xF9, 0xF8, 0xF7, 0xF4,
                                         0xF3, 0xF2, 0xF1, 0xED, 0xEC};
    // clang-format on
    const int32_t kind = kKinds[below(sizeof kKinds / sizeof kKinds[0])];
    const int32_t sub = below(3) == 0 ? int32_t(byte()) : int32_t(below(40));
    std::vector<uint8_t> bytes(96);
    for (uint8_t& b : bytes) b = below(2) == 0 ? uint8_t(below(16)) : byte();
    MonitorRecord r = recordOf((kind << 8) | sub, bytes, int32_t(below(4) == 0 ? below(3) : below(120)));
    randomFields(r);
    return r;
  }

 private:
  void randomFields(MonitorRecord& r) {
    r.ind = below(3) == 0 ? int32_t(rng_() & 0xFFFF) : int32_t((below(16) << 8) | below(256));
    r.dir = int32_t(rng_() & 0x7FF);
    r.cport = portText();
    r.pport = below(4) == 0 ? r.cport : portText();
  }

  std::mt19937 rng_;
};

size_t expectedDumpBytes(const MonitorRecord& r) { return r.datl < 0 ? 0 : (r.datl > 96 ? 96 : size_t(r.datl)); }

TEST(V5EventsRobustness, RandomV5RecordsKeepTheirLayoutAndEndWithTheDump) {
  RecordGenerator gen(20260512);
  for (int n = 0; n < 20000; ++n) {
    const MonitorRecord r = gen.v5Record();
    const std::string text = decodeMonitorRecord(r, {true});
    ASSERT_EQ(text, decodeMonitorRecordMarked(r, {true}).text) << "decode is not repeatable, record " << n;
    const std::vector<std::string> lines = splitDecodeText(text);
    if (lines.empty()) continue;  // supervisory frames and the like
    size_t dumpLine = lines.size();
    for (size_t i = 1; i < lines.size(); ++i) {
      ASSERT_EQ(lines[i].compare(0, 8, "        "), 0) << "record " << n << " line " << i << ": " << lines[i];
      ASSERT_LT(lines[i].size(), 400u) << "record " << n;
      if (lines[i].compare(0, 17, "        Hex Dump ") == 0) {
        ASSERT_EQ(dumpLine, lines.size()) << "two hex dumps in record " << n;
        dumpLine = i;
      }
    }
    ASSERT_LT(dumpLine, lines.size()) << "no hex dump in record " << n;
    size_t hexBytes = 0;
    for (size_t i = dumpLine; i < lines.size(); ++i) hexBytes += (lines[i].size() - 17) / 3;
    EXPECT_EQ(hexBytes, expectedDumpBytes(r)) << "record " << n;
  }
}

TEST(V5EventsRobustness, ElementDecodersNeverStepBeyondTheMessageArea) {
  RecordGenerator gen(77);
  for (int n = 0; n < 2000; ++n) {
    std::vector<uint8_t> bytes(96);
    for (uint8_t& b : bytes) b = gen.byte();
    DecodeContext ctx(recordOf(0xFD27, bytes, 96), DecodeOptions{});
    for (V5Protocol p : {V5Protocol::Pstn, V5Protocol::Control, V5Protocol::Bcc, V5Protocol::Protection}) {
      for (size_t index = 10; index <= 97; ++index) {
        const size_t next = decodeV5Element(ctx, p, index);
        if (next == kV5EndOfElements) continue;
        ASSERT_GT(next, index);
        ASSERT_LE(next, 96u) << "element at " << index << " claims octets beyond the message area";
      }
    }
  }
}

TEST(V5EventsRobustness, RandomEventRecordsStayOnTheirLines) {
  RecordGenerator gen(4242);
  for (int n = 0; n < 20000; ++n) {
    const MonitorRecord r = gen.eventRecord();
    const std::string text = decodeMonitorRecord(r);
    ASSERT_EQ(text, decodeMonitorRecordMarked(r).text) << "decode is not repeatable, record " << n;
    const std::vector<std::string> lines = splitDecodeText(text);
    if (lines.empty()) continue;  // suppressed register-signalling records
    const unsigned kind = (unsigned(r.type) >> 8) & 0xFF;
    for (size_t i = 1; i < lines.size(); ++i) {
      ASSERT_EQ(lines[i].compare(0, 8, "        "), 0) << "record " << n << ": " << lines[i];
    }
    if (kind == 0xED || kind == 0xEC) {
      ASSERT_EQ(lines.size(), 2u) << "a SIP packet's bytes broke its line, record " << n;
      ASSERT_LE(lines[1].size(), 8 + expectedDumpBytes(r)) << "SIP text read beyond datl, record " << n;
    } else if (kind == 0xFF || kind == 0xFE || kind == 0xF0 || kind == 0xEF) {
      ASSERT_LE(lines.size(), 2u) << "record " << n;
      if (lines.size() == 2) {
        ASSERT_LE(lines[1].size(), 8u + 9u + 32u) << "record " << n;
      }
    } else {
      ASSERT_EQ(lines.size(), 1u) << "record " << n;
    }
  }
}

TEST(V5EventsMalformedMark, EventRecordsMissingTheBytesTheyShowAreMarked) {
  struct Case {
    const char* name;
    int32_t type;
    std::vector<uint8_t> bytes;
    bool malformed;
  };
  const Case cases[] = {
      {"a setup indication with its digits", 0xFF01, {0x00, 0x00, 0x01, 0x01, 0x02, 0x0F}, false},
      {"a setup indication without its digits' end", 0xFF01, {0x00, 0x00, 0x01, 0x01, 0x02}, true},
      {"a call-control primitive without its reference", 0xFE05, {0x00}, true},
      {"a line activation", 0xEE00, {}, false},
      {"a SIP line", 0xED00, {'I', 'N', 'V', 'I', 'T', 'E', 0x0D, 0x0A}, false},
  };
  for (const Case& c : cases) {
    const MonitorRecord r = recordOf(c.type, c.bytes);
    const RecordDecode d = decodeMonitorRecordMarked(r);
    EXPECT_EQ(d.malformed, c.malformed) << c.name << ": " << test::visible(d.text);
    EXPECT_EQ(d.text, decodeMonitorRecord(r)) << c.name;
  }
}

}  // namespace
}  // namespace lumarc
