// Decoded records per second for the V5.2 layer 3 protocols and the
// exchange-internal event kinds, beside a baseline from the same run: line
// state records, which take only the header, label and prefix.
// Prints "name: value unit" lines.
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/monitor_record.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using lumarc::MonitorRecord;

constexpr size_t kRecords = 20000;
constexpr int kRounds = 10;

MonitorRecord recordOf(int32_t type, std::vector<uint8_t> bytes, int32_t ind) {
  MonitorRecord r;
  r.type = type;
  r.hpidx = 1;
  r.ptyp = 0x10;
  r.dir = 0x123;
  r.tdate = {2026, 12, 9, 6, 0, 0};
  r.cport = "C0A8010A";
  r.pport = "000013C4";
  r.ind = ind;
  r.datl = int32_t(bytes.size() > 96 ? 96 : bytes.size());
  bytes.resize(96, 0);
  r.datb = lumarc::encodeMessageBytes(bytes.data(), 96);
  return r;
}

// A V5.2 message on envelope address ef with the given type and elements.
MonitorRecord v5Record(unsigned ef, uint8_t type, const std::vector<uint8_t>& elements) {
  // clang-format off
  std::vector<uint8_t> b = {uint8_t((ef >> 7) << 2), uint8_t(((ef & 0x7F) << 1) | 1), 0x00, 0x01, 0x00, 0x00, 0x48,
                            0x01, 0x01, type};
  // clang-format on
  b.insert(b.end(), elements.begin(), elements.end());
  return recordOf(0xFD27, b, 0);
}

std::vector<MonitorRecord> lineStateSet() {
  std::vector<MonitorRecord> v;
  for (size_t i = 0; i < kRecords; ++i) v.push_back(recordOf(0xEE00, {}, int32_t(i & 1)));
  return v;
}

std::vector<MonitorRecord> v5Set(std::mt19937& rng) {
  std::vector<MonitorRecord> v;
  for (size_t i = 0; i < kRecords; ++i) {
    const uint8_t x = uint8_t(rng());
    switch (i % 5) {
      case 0:
        // clang-format off
        v.push_back(v5Record(8176, 0x0E, {0x03, 0x01, uint8_t(0x80 | (x & 0x1F)), 0x95, 0x22, 0x05, 0x78, 0x01, 0x02,
                                          0xA3, 0x80, 0x11, 0x04, 0x84, 0xF8, 0x41, 0xA3, 0x13, 0x01, 0x81}));
        // clang-format on
        break;
      case 1:
        v.push_back(v5Record(8177, 0x12, {0x21, 0x01, uint8_t(0x80 | (x & 0x1F)), 0x23, 0x06, 1, 2, 3, 4, 5, 6}));
        break;
      case 2:
        // clang-format off
        v.push_back(v5Record(8178, 0x20, {0x40, 0x02, x, 0x45, 0x42, 0x02, 0x01, 0x3F, 0x43, 0x09, 0x02, 0x80, 0, 0,
                                          0x02, 0, 0, 0x01, 0x00, 0x44, 0x01, 0x83}));
        // clang-format on
        break;
      case 3: v.push_back(v5Record(8179, 0x18, {0x50, 0x01, 0x85, 0x51, 0x02, 0x03, 0x10, 0x52, 0x01, 0x04})); break;
      default: v.push_back(v5Record(8180, 0x30, {0x30, 0x01, uint8_t(0x80 | (x & 7))})); break;
    }
  }
  return v;
}

std::vector<MonitorRecord> eventSet(std::mt19937& rng) {
  std::vector<MonitorRecord> v;
  for (size_t i = 0; i < kRecords; ++i) {
    const uint32_t x = rng();
    switch (i % 6) {
      case 0: v.push_back(recordOf(0xFF01, {0, 0, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0x0F}, 0)); break;
      case 1: v.push_back(recordOf(0xFE05, {0, 0, 2}, int32_t(x & 0xFF))); break;
      case 2: v.push_back(recordOf(0xF900, {}, int32_t(x % 22))); break;
      case 3: v.push_back(recordOf(0xF800, {uint8_t(x)}, int32_t(x & 0x0F0F))); break;
      case 4: v.push_back(recordOf(0xF300, {}, int32_t((x & 0x0700) | 1))); break;
      default: {
        const std::string packet = "INVITE sip:200@192.168.1.20 SIP/2.0\r\nVia: SIP/2.0/UDP 192.168.1.10\r\n";
        v.push_back(recordOf(0xED00, std::vector<uint8_t>(packet.begin(), packet.end()), 0));
        break;
      }
    }
  }
  return v;
}

// Records decoded per second over kRounds passes of the set.
double recordsPerSecond(const std::vector<MonitorRecord>& set, size_t& sink) {
  const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < kRounds; ++round) {
    for (const MonitorRecord& r : set) sink += lumarc::decodeMonitorRecord(r, {true}).size();
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return double(set.size()) * kRounds / elapsed.count();
}

}  // namespace

int main() {
  std::mt19937 rng(9);
  const std::vector<MonitorRecord> baseline = lineStateSet();
  const std::vector<MonitorRecord> v5 = v5Set(rng);
  const std::vector<MonitorRecord> events = eventSet(rng);
  size_t sink = 0;
  std::printf("decode_line_state_baseline: %.0f records/s\n", recordsPerSecond(baseline, sink));
  std::printf("decode_v52_layer3: %.0f records/s (baseline: decode_line_state_baseline)\n", recordsPerSecond(v5, sink));
  std::printf("decode_exchange_events: %.0f records/s (baseline: decode_line_state_baseline)\n",
              recordsPerSecond(events, sink));
  std::printf("decode_output_bytes: %zu bytes\n", sink);
  return 0;
}
