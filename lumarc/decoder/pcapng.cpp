#include "lumarc/decoder/pcapng.h"

#include "common/byte_io.h"
#include "lumarc/decoder/framework.h"

#include <ctime>

namespace lumarc {

namespace {

// Block types and option codes of the pcapng format.
constexpr uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescription = 1;
constexpr uint32_t kEnhancedPacket = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint16_t kOptEnd = 0, kOptComment = 1;
constexpr uint16_t kShbUserApplication = 4;
constexpr uint16_t kIfName = 2, kIfDescription = 3;
constexpr uint16_t kEpbFlags = 2;
constexpr uint32_t kFlagInbound = 1, kFlagOutbound = 2;

// Exported PDU tags (their numbers and lengths most significant first).
constexpr uint16_t kPduDissectorName = 12, kPduEnd = 0;

// The lowest V5.2 envelope function address of a layer 3 protocol (PSTN);
// up to 8180 (link control). Addresses below are relayed ISDN user ports.
constexpr unsigned kV5FirstProtocol = 8176, kV5LastProtocol = 8180;

size_t padded(size_t n) { return (n + 3) & ~size_t(3); }

void appendLe16(std::string& s, uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}
void appendLe32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}
void appendBe16(std::string& s, uint16_t v) {
  s += char(v >> 8);
  s += char(v & 0xFF);
}
void pad(std::string& s) { s.append(padded(s.size()) - s.size(), '\0'); }

// One option: code, length, value padded to 32 bits. Values longer than an
// option can hold are cut.
void appendOption(std::string& s, uint16_t code, std::string_view value) {
  if (value.size() > 0xFFF0) value = value.substr(0, 0xFFF0);
  appendLe16(s, code);
  appendLe16(s, uint16_t(value.size()));
  s.append(value);
  pad(s);
}

// A whole block: type, total length, body, total length again.
std::string block(uint32_t type, const std::string& body) {
  std::string s;
  const uint32_t total = uint32_t(12 + padded(body.size()));
  appendLe32(s, type);
  appendLe32(s, total);
  s += body;
  pad(s);
  appendLe32(s, total);
  return s;
}

// The message bytes of a frame (its length byte limited to 96).
std::string_view messageBytes(const MonitorFrame& frame) {
  size_t n = frame[monframe::kLength];
  if (n > kMonitorMessageBytes) n = kMonitorMessageBytes;
  return {reinterpret_cast<const char*>(frame.data() + monframe::kMessage), n};
}

std::string exportedPdu(std::string_view dissector, std::string_view payload) {
  std::string s;
  appendBe16(s, kPduDissectorName);
  appendBe16(s, uint16_t(padded(dissector.size())));
  s.append(dissector);
  pad(s);
  appendBe16(s, kPduEnd);
  appendBe16(s, 0);
  s.append(payload);
  return s;
}

// Decode text (lines apart at 0xFF) as UTF-8 lines apart at line feeds.
std::string commentText(const std::string& text, corvane::CodePage codePage) {
  std::string lines = text;
  for (char& c : lines) {
    if (c == kLineSeparator) c = '\n';
  }
  return corvane::toUtf8(lines, codePage);
}

// The V5.2 envelope frame: the frame inside the envelope, or the whole
// frame as LAPD when its envelope address is not valid.
void envelopePacket(std::string_view bytes, CapturePacket& p) {
  const uint8_t b0 = bytes.size() > 0 ? uint8_t(bytes[0]) : 0, b1 = bytes.size() > 1 ? uint8_t(bytes[1]) : 0;
  p.linkType = CaptureLinkType::Lapd;
  p.data = std::string(bytes);
  if (bytes.size() < 5 || (b0 & 0x01) || !(b1 & 0x01)) return;
  const unsigned address = unsigned(b0 >> 2) << 7 | unsigned(b1 >> 1);
  if (address >= kV5FirstProtocol && address <= kV5LastProtocol) {
    p.linkType = CaptureLinkType::UpperPdu;
    p.data = exportedPdu("v5dl", bytes.substr(2));
  } else if (address < kV5FirstProtocol && (b0 & 0x03) == 0) {
    p.data = std::string(bytes.substr(2));
  } else {
    return;
  }
  p.comment = "V5.2 envelope function address " + std::to_string(address);
}

}  // namespace

CapturePacket capturePacket(uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame, corvane::CodePage codePage) {
  const corvane::ByteReader in(frame);
  const unsigned type = in.le16(monframe::kType);
  const unsigned kind = type >> 8, sub = type & 0xFF;
  const std::string_view bytes = messageBytes(frame);
  CapturePacket p;
  const bool received = kind == 0xFD || kind == 0xF5;
  switch (kind) {
    case 0xFD:
    case 0xFC:
      p.direction = received ? CaptureDirection::Inbound : CaptureDirection::Outbound;
      if (sub == 0x26 || sub == 0x27) {
        envelopePacket(bytes, p);
      } else if (kind == 0xFC && sub == 0x25) {
        p.linkType = CaptureLinkType::Mtp2;
        p.data = std::string(bytes);
      } else {
        p.linkType = CaptureLinkType::Lapd;
        p.data = std::string(bytes);
      }
      return p;
    case 0xF5:
    case 0xF6:
      p.direction = received ? CaptureDirection::Inbound : CaptureDirection::Outbound;
      p.linkType = CaptureLinkType::Mtp2;
      p.data = std::string(bytes);
      return p;
    default: break;
  }
  p.linkType = CaptureLinkType::User;
  appendBe16(p.data, hpidx);
  p.data += char(ptyp);
  p.data.append(reinterpret_cast<const char*>(frame.data()), frame.size());
  DecodeOptions options;
  options.layer2 = true;
  p.comment = commentText(decodeMonitorRecord(buildMonitorRecord(frame, hpidx, ptyp), options), codePage);
  return p;
}

int64_t recordTimeMicros(const MonitorRecord& record) {
  std::tm tm{};
  tm.tm_year = record.tdate.year - 1900;
  tm.tm_mon = record.tdate.month - 1;
  tm.tm_mday = record.tdate.day;
  tm.tm_hour = record.tdate.hour;
  tm.tm_min = record.tdate.minute;
  tm.tm_sec = record.tdate.second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  int64_t millis = int64_t(record.dir & 0x3FF) * 2;
  if (millis > 999) millis = 999;
  return int64_t(t) * 1000000 + millis * 1000;
}

PcapngWriter::PcapngWriter(CaptureSink& sink, std::string_view application, corvane::CodePage codePage)
    : sink_(sink), codePage_(codePage) {
  std::string body;
  appendLe32(body, kByteOrderMagic);
  appendLe16(body, 1);  // version 1.0
  appendLe16(body, 0);
  appendLe32(body, 0xFFFFFFFF);  // section length not known
  appendLe32(body, 0xFFFFFFFF);
  appendOption(body, kShbUserApplication, application);
  appendOption(body, kOptEnd, {});
  put(block(kSectionHeader, body));
}

bool PcapngWriter::put(const std::string& bytes) {
  if (!ok_) return false;
  ok_ = sink_.write(bytes);
  return ok_;
}

uint32_t PcapngWriter::interfaceFor(const CaptureSource& source, CaptureLinkType type) {
  const auto key = std::make_tuple(source.exchange, source.accessCode, uint16_t(type));
  auto it = interfaces_.find(key);
  if (it != interfaces_.end()) return it->second;
  const uint32_t id = uint32_t(interfaces_.size());
  interfaces_.emplace(key, id);
  std::string name = source.exchange, description = "Corvane exchange " + source.exchange;
  if (!source.accessCode.empty()) {
    name += "-" + source.accessCode;
    description += ", access code " + source.accessCode;
  }
  std::string body;
  appendLe16(body, uint16_t(type));
  appendLe16(body, 0);
  appendLe32(body, 0);  // no snapshot limit
  appendOption(body, kIfName, name);
  appendOption(body, kIfDescription, description);
  appendOption(body, kOptEnd, {});
  put(block(kInterfaceDescription, body));
  return id;
}

bool PcapngWriter::write(const CaptureSource& source, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame,
                         int64_t micros) {
  if (!ok_) return false;
  const CapturePacket p = capturePacket(hpidx, ptyp, frame, codePage_);
  const uint32_t id = interfaceFor(source, p.linkType);
  const uint64_t stamp = micros < 0 ? 0 : uint64_t(micros);
  std::string body;
  appendLe32(body, id);
  appendLe32(body, uint32_t(stamp >> 32));
  appendLe32(body, uint32_t(stamp));
  appendLe32(body, uint32_t(p.data.size()));
  appendLe32(body, uint32_t(p.data.size()));
  body += p.data;
  pad(body);
  if (!p.comment.empty()) appendOption(body, kOptComment, p.comment);
  if (p.direction != CaptureDirection::Unknown) {
    std::string flags;
    appendLe32(flags, p.direction == CaptureDirection::Inbound ? kFlagInbound : kFlagOutbound);
    appendOption(body, kEpbFlags, flags);
  }
  appendOption(body, kOptEnd, {});
  if (!put(block(kEnhancedPacket, body))) return false;
  ++packets_;
  return true;
}

}  // namespace lumarc
