// Monitor records as the exchange sends them: the first byte picks the
// record kind (its high byte from a table of every kind, the subtype from
// the next byte, or one of the subtypes that choose a protocol), the layer 2
// option and the indicator word; the rest is the message.
#include "lumarc/decoder/framework.h"

#include <cstdlib>
#include <cstring>

namespace {

// Kinds the decoder knows, plus one it does not.
constexpr uint8_t kKinds[] = {0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6,
                              0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0x00};
// Subtypes that choose a protocol inside a kind.
constexpr uint8_t kSubtypes[] = {0x25, 0x26, 0x27};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  lumarc::MonitorRecord r;
  uint8_t pick = data[0];
  bool useRaw = pick & 0x80;
  uint8_t kind = useRaw ? data[1] : kKinds[(pick & 0x1F) % sizeof kKinds];
  uint8_t sub = (pick & 0x20) ? kSubtypes[data[1] % sizeof kSubtypes] : data[1];
  r.type = int32_t(kind) << 8 | sub;
  lumarc::DecodeOptions options;
  options.layer2 = pick & 0x40;
  r.ind = int32_t(data[2]) | int32_t(data[3]) << 8;
  data += 4;
  size -= 4;
  // Header words and ports come from the input too, when it is long enough.
  if (size >= 24) {
    std::memcpy(&r.dir, data, 4);
    r.dir &= 0x7FF;
    r.cport.assign(reinterpret_cast<const char*>(data + 4), 10);
    r.pport.assign(reinterpret_cast<const char*>(data + 14), 10);
    r.tdate = {2000 + data[4] % 100, data[5] % 13, data[6] % 32, data[7] % 24, data[8] % 60, data[9] % 60};
    data += 24;
    size -= 24;
  }
  size_t n = size > lumarc::kMonitorMessageBytes ? lumarc::kMonitorMessageBytes : size;
  r.datl = int32_t(n);
  r.dlen = int32_t(n);
  r.datb = lumarc::encodeMessageBytes(data, n);
  std::string text = lumarc::decodeMonitorRecord(r, options);
  std::vector<std::string> lines = lumarc::splitDecodeText(text);
  for (const std::string& line : lines)
    if (line.find(char(0xFF)) != std::string::npos) std::abort();
  // A frame built from the same bytes decodes as well.
  lumarc::MonitorFrame frame{};
  std::memcpy(frame.data(), data, size < frame.size() ? size : frame.size());
  lumarc::MonitorRecord built = lumarc::buildMonitorRecord(frame, 1, uint8_t(kind));
  if (built.datl < 0 || built.datl > int32_t(lumarc::kMonitorMessageBytes)) std::abort();
  (void)lumarc::decodeMonitorRecord(built, options);
  // A row read back from a database file: any datb text, any datl.
  lumarc::MonitorRecord row = r;
  row.datb.assign(reinterpret_cast<const char*>(data), size);
  row.datl = int32_t(int8_t(data[-1])) * 3;
  (void)lumarc::decodeMonitorRecord(row, options);
  return 0;
}
