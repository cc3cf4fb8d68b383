// The working state of one decode: the bounded message buffer, the record
// being decoded, the decode text being built, and the line primitives every
// protocol decoder appends with.
//
// Reading rule: decoders read message bytes only through at(). The buffer
// holds 97 bytes (0-95 the frame's message bytes, including those beyond
// datl, 96 always 0); an index above 96 reads 0 and never touches memory.
// A length or pointer that needs an octet beyond kLastMessageIndex (95) ends
// that message or loop after what was already appended.
//
// Malformed mark: a record whose decode asks for a byte at or beyond datl,
// or whose length or pointer needs octets beyond its message, is marked
// malformed. The first malformation found is kept with the offset of the
// octet it needed (counted in the record's own message bytes) and a short
// reason. The mark is out of band: the decode text stays as it is.
#pragma once

#include "lumarc/decoder/monitor_record.h"

#include <array>
#include <initializer_list>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumarc {

// The first malformation of a decode: the octet it needed and why
// (reason is empty while the record is well formed).
struct Malformation {
  size_t offset = 0;
  std::string_view reason;
};

// Options the caller passes into a decode (never read from a global).
struct DecodeOptions {
  bool layer2 = false;  // "Decoding of Layer 2 messages in monitor windows"
};

constexpr size_t kMessageBufferSize = 97;
constexpr size_t kLastMessageIndex = 95;
constexpr char kLineSeparator = char(0xFF);

class DecodeContext {
 public:
  // Prepares the buffer from the record's datb, cuts the port texts of its
  // own copy of the record to 8 characters and resets all flags.
  DecodeContext(const MonitorRecord& record, DecodeOptions options);

  // Message byte i; 0 for any index above 96 (no memory is touched). A byte
  // at or beyond datl is past the message's end and marks it malformed.
  uint8_t at(size_t i) const {
    if (i >= datl_) markMalformed(i, "octet past the end");
    return i < kMessageBufferSize ? buf_[i] : 0;
  }
  // True when message byte i exists in the 96-byte message area.
  static bool inMessage(size_t i) { return i <= kLastMessageIndex; }
  // Number of message bytes of the record (0-96).
  size_t datl() const { return datl_; }

  // The record being decoded (ports already cut to 8 characters).
  const MonitorRecord& record() const { return rec_; }
  // The caller's options (layer 2 decoding).
  const DecodeOptions& options() const { return options_; }

  // Decode text being built (lines separated by 0xFF).
  std::string& text() { return text_; }
  const std::string& text() const { return text_; }
  // Appends text / one character / n blanks to the current line.
  void append(std::string_view s) { text_.append(s); }
  void append(char c) { text_.push_back(c); }
  void spaces(size_t n) { text_.append(n, ' '); }

  // The message lacks octet i, which the decode needs for reason (a short
  // text that lives as long as the program); the first mark is kept.
  void markMalformed(size_t i, std::string_view reason) const {
    if (malformed_) return;
    malformed_ = true;
    malformation_ = {i + viewOffset_, reason};
  }
  // A length or pointer covers message bytes up to i: marks the record
  // malformed when i lies at or beyond datl; true when i lies in the
  // 96-byte message area (the decode may read it).
  bool needs(size_t i) {
    if (i >= datl_) markMalformed(i, "length past the end");
    return inMessage(i);
  }
  // True once the decode asked for anything past the message's end.
  bool malformed() const { return malformed_; }
  // The first malformation (empty reason while not malformed).
  const Malformation& malformation() const { return malformation_; }

  // The record shows no line at all (suppressed, or layer 2 decoding off).
  void dropRecord() { suppress_ = true; }
  bool dropped() const { return suppress_; }

  // While set, every newLine adds 4 extra spaces (nested call-control
  // elements inside a facility component).
  bool nested() const { return nested_; }
  void setNested(bool on) { nested_ = on; }

  // 0xFF, 8 spaces, plus 4 while nested.
  void newLine();
  // newLine, then 9 spaces.
  void newLineCont();
  // newLine, then "Digits   ".
  void newLineDigits();
  // newLine, then "********" and one space.
  void newLineStars();
  // 0xFF alone: a break without the standard indentation.
  void bareBreak() { text_.push_back(kLineSeparator); }
  // newLine, the octet's bits 7..0 as "0"/"1", one space.
  void bitsLine(uint8_t octet);
  // newLine, bits 7..0 as "0"/"1" inside lo..hi and "-" outside, one space.
  void fieldLine(uint8_t octet, int hi, int lo);
  // Bits 3..0 of value as "0"/"1", no line break.
  void nibbleBits(uint8_t value);
  // Appends one message byte as a raw character: 0x00-0x1F, 0x7F and 0xFF
  // become ".", everything else is copied.
  void rawChar(uint8_t b);
  // Raw characters of message bytes first..last (inclusive, clipped to the
  // message area); with wrap, newLineCont before characters 52, 103, ...
  void charRow(size_t first, size_t last, bool wrap = true);
  // The hex dump of message bytes 0..datl-1, 16 per line.
  void hexDump();

  // Replaces the message view by bytes from offset onward followed by zeros
  // and shortens datl by offset (relay of an enveloped frame); restoreView
  // brings the record's own bytes back.
  void shiftView(size_t offset);
  void restoreView();

  // Working values of the facility component decoder (object identifier).
  uint32_t oidRecommendation = 0;
  uint32_t oidModule = 0;

 private:
  std::array<uint8_t, kMessageBufferSize> buf_{};
  std::array<uint8_t, kMessageBufferSize> saved_{};
  size_t datl_ = 0;
  size_t savedDatl_ = 0;
  MonitorRecord rec_;
  DecodeOptions options_;
  std::string text_;
  bool suppress_ = false;
  bool nested_ = false;
  size_t viewOffset_ = 0;
  mutable bool malformed_ = false;
  mutable Malformation malformation_;
};

// Appends the parts of one octet's line joined by "," (no blanks); a part
// that itself begins with "," gets no extra comma.
inline void joinParts(DecodeContext& ctx, std::initializer_list<std::string_view> parts) {
  bool first = true;
  for (std::string_view p : parts) {
    if (!first && (p.empty() || p.front() != ',')) ctx.append(',');
    ctx.append(p);
    first = false;
  }
}

// "Not Continued" when the extension bit 0x80 is set, else "Continued".
inline std::string_view extText(uint8_t octet) { return (octet & 0x80) ? "Not Continued" : "Continued"; }

// The raw-character form of one byte ('.' for control bytes, 0x7F and 0xFF).
inline char rawCharOf(uint8_t b) { return (b < 0x20 || b == 0x7F || b == 0xFF) ? '.' : char(b); }

}  // namespace lumarc
