// Decoders of the variable-length call-control information elements.
#pragma once

#include "lumarc/decoder/context.h"

#include <cstddef>
#include <cstdint>

namespace lumarc {

// Appends the octet lines of element id whose length octet is at lenIndex
// and whose content is n octets (already known to lie inside the message).
// Elements without a decoder add nothing.
void decodeElementContent(DecodeContext& ctx, uint8_t id, size_t lenIndex, size_t n);

// Octets of one element, read in order; nothing beyond the element's last
// octet (nor beyond the message area) is ever read.
class ElementCursor {
 public:
  ElementCursor(DecodeContext& ctx, size_t firstIndex, size_t lastIndex)
      : ctx_(ctx), pos_(firstIndex), end_(lastIndex > kLastMessageIndex ? kLastMessageIndex : lastIndex) {}
  // True while an octet of the element is left.
  bool more() const { return pos_ <= end_; }
  // Octets left in the element.
  size_t left() const { return more() ? end_ - pos_ + 1 : 0; }
  // The next octet (call only when more()).
  uint8_t next() { return ctx_.at(pos_++); }
  // The next octet without consuming it (0 when none is left).
  uint8_t peek() const { return more() ? ctx_.at(pos_) : 0; }
  size_t pos() const { return pos_; }
  size_t end() const { return end_; }
  void skip(size_t n) { pos_ += n; }
  // Moves to message byte pos (never beyond the element: reads stay bounded).
  void seek(size_t pos) { pos_ = pos; }

 private:
  DecodeContext& ctx_;
  size_t pos_;
  size_t end_;
};

}  // namespace lumarc
