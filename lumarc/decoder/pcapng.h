// Monitor records as a pcapng capture, so that a session opens in Wireshark
// and its own dissectors decode the frames. Each record becomes one packet
// stamped with its time:
//
// - ISDN layer 2 frames (kinds 0xFD and 0xFC but their V5.2 and MTP2
//   subtypes): LAPD link type, the frame from its address field on;
// - SS7 signal units (0xF5, 0xF6, 0xFC25): MTP2 link type, from the level 2
//   header on (every unit the exchange reports carries it);
// - V5.2 envelope frames (0xFD26/27, 0xFC26/27): no pcap link type carries
//   the envelope itself, so the envelope address goes into the packet
//   comment and the frame inside it is written as what it is: a relayed
//   ISDN frame with the LAPD link type, a V5.2 protocol frame as an
//   exported PDU for Wireshark's V5 data link dissector; a frame without a
//   valid envelope address is written whole as LAPD;
// - every other record (the exchange's own events, SIP lines, unknown
//   kinds): the user link type 147, carrying hpidx (2 bytes, most
//   significant first), ptyp and the 120-byte monitor frame, with the
//   decoded text in the packet comment, so nothing is dropped.
//
// Received frames are marked inbound and transmitted ones outbound. One
// interface is described per monitor link and link type, named after the
// exchange and the access code. The bytes go to a CaptureSink, so the
// writer needs no file. Plain C++.
#pragma once

#include "common/codepage.h"
#include "lumarc/decoder/monitor_record.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

namespace lumarc {

// The link types used (pcap LINKTYPE_ numbers).
enum class CaptureLinkType : uint16_t {
  Mtp2 = 140,      // SS7 signal unit without pseudo-header
  User = 147,      // LINKTYPE_USER0: hpidx, ptyp, monitor frame
  Lapd = 203,      // LAPD frame from its address field, without pseudo-header
  UpperPdu = 252,  // Wireshark's exported PDU, naming the dissector
};

enum class CaptureDirection : uint8_t { Unknown, Inbound, Outbound };

// What one monitor record becomes in the capture.
struct CapturePacket {
  CaptureLinkType linkType = CaptureLinkType::User;
  CaptureDirection direction = CaptureDirection::Unknown;
  std::string data;     // the packet bytes
  std::string comment;  // UTF-8; empty: no comment
};

// The packet of one monitor frame. Comments are converted from the code
// page the decoder's text is in.
CapturePacket capturePacket(uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame,
                            corvane::CodePage codePage = corvane::CodePage::Cp1252);

// The time written in a record (its date and time read as local time, the
// fraction the decode header shows), in microseconds since 1970 UTC: the
// packet time of a saved session, which keeps no arrival time.
int64_t recordTimeMicros(const MonitorRecord& record);

// Where the capture's bytes go. False: they could not be written.
class CaptureSink {
 public:
  virtual ~CaptureSink() = default;
  virtual bool write(std::string_view bytes) = 0;
};

// The monitor link records come from.
struct CaptureSource {
  std::string exchange;    // the exchange's host text
  std::string accessCode;  // the access code without its leading blanks; may be empty
};

class PcapngWriter {
 public:
  // Writes the section header, naming the writing program (application).
  PcapngWriter(CaptureSink& sink, std::string_view application, corvane::CodePage codePage = corvane::CodePage::Cp1252);

  // Writes one record of source as a packet stamped micros (microseconds
  // since 1970 UTC), preceded by the interface description it needs when
  // it is the first of its source and link type. False when the bytes could
  // not be written; after the first failure nothing more is written.
  bool write(const CaptureSource& source, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame, int64_t micros);

  // Whether every write so far succeeded.
  bool ok() const { return ok_; }
  // Packets written.
  uint64_t packets() const { return packets_; }

 private:
  bool put(const std::string& block);
  uint32_t interfaceFor(const CaptureSource& source, CaptureLinkType type);

  CaptureSink& sink_;
  corvane::CodePage codePage_;
  bool ok_ = true;
  uint64_t packets_ = 0;
  std::map<std::tuple<std::string, std::string, uint16_t>, uint32_t> interfaces_;
};

}  // namespace lumarc
