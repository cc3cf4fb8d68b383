#include "lumarc/decoder/context.h"

namespace lumarc {

DecodeContext::DecodeContext(const MonitorRecord& record, DecodeOptions options) : rec_(record), options_(options) {
  // Every body sees at most 8 characters of each port (the decode's own copy).
  if (rec_.cport.size() > 8) rec_.cport.resize(8);
  if (rec_.pport.size() > 8) rec_.pport.resize(8);
  std::string datb = record.datb;
  if (datb.size() < 128) datb.append(128 - datb.size(), char(0x40));
  size_t n = datb.size() / 2;
  if (n > kMonitorMessageBytes) n = kMonitorMessageBytes;
  for (size_t i = 0; i < n; ++i) {
    buf_[i] = uint8_t((uint8_t(datb[2 * i + 1]) << 4) | (uint8_t(datb[2 * i]) & 0x0F));
  }
  int32_t d = record.datl;
  datl_ = d < 0 ? 0 : (d > int32_t(kMonitorMessageBytes) ? kMonitorMessageBytes : size_t(d));
  text_.reserve(512);
}

void DecodeContext::newLine() {
  text_.push_back(kLineSeparator);
  text_.append(nested_ ? 12 : 8, ' ');
}

void DecodeContext::newLineCont() {
  newLine();
  text_.append(9, ' ');
}

void DecodeContext::newLineDigits() {
  newLine();
  text_.append("Digits   ");
}

void DecodeContext::newLineStars() {
  newLine();
  text_.append("******** ");
}

void DecodeContext::bitsLine(uint8_t octet) {
  newLine();
  for (int b = 7; b >= 0; --b) text_.push_back((octet >> b) & 1 ? '1' : '0');
  text_.push_back(' ');
}

void DecodeContext::fieldLine(uint8_t octet, int hi, int lo) {
  newLine();
  for (int b = 7; b >= 0; --b) {
    if (b >= lo && b <= hi)
      text_.push_back((octet >> b) & 1 ? '1' : '0');
    else
      text_.push_back('-');
  }
  text_.push_back(' ');
}

void DecodeContext::nibbleBits(uint8_t value) {
  for (int b = 3; b >= 0; --b) text_.push_back((value >> b) & 1 ? '1' : '0');
}

void DecodeContext::rawChar(uint8_t b) { text_.push_back(rawCharOf(b)); }

void DecodeContext::charRow(size_t first, size_t last, bool wrap) {
  if (last > kLastMessageIndex) last = kLastMessageIndex;
  size_t count = 0;
  for (size_t i = first; i <= last; ++i) {
    if (wrap && count > 0 && count % 51 == 0) newLineCont();
    rawChar(at(i));
    ++count;
  }
}

void DecodeContext::hexDump() {
  text_.push_back(kLineSeparator);
  text_.append("        Hex Dump ");
  for (size_t i = 0; i < datl_; ++i) {
    if (i != 0 && i % 16 == 0) {
      text_.push_back(kLineSeparator);
      text_.append(17, ' ');
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    const uint8_t b = at(i);
    const char cell[3] = {kHex[b >> 4], kHex[b & 0x0F], ' '};
    text_.append(cell, 3);
  }
}

void DecodeContext::shiftView(size_t offset) {
  saved_ = buf_;
  savedDatl_ = datl_;
  for (size_t i = 0; i < kMessageBufferSize; ++i) {
    buf_[i] = (i + offset < kMessageBufferSize && i + offset <= kLastMessageIndex) ? saved_[i + offset] : 0;
  }
  datl_ = datl_ > offset ? datl_ - offset : 0;
  viewOffset_ = offset;
}

void DecodeContext::restoreView() {
  buf_ = saved_;
  datl_ = savedDatl_;
  viewOffset_ = 0;
}

}  // namespace lumarc
