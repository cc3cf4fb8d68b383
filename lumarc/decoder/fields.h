// The two building blocks of every protocol decoder's octet lines:
// code-to-text tables with their one lookup, and bit fields of an octet
// (a bit range named once, shown as a field line or as a part of a joined
// octet line, and read as a value).
// Bits are numbered 7..0 here (bit 0 = 0x01), whatever a decoder's own
// comments call them.
#pragma once

#include "common/format.h"
#include "lumarc/decoder/context.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace lumarc {

// One entry of a code-to-text table.
struct CodeText {
  unsigned code;
  std::string_view text;
};

// The text of code in table, or otherwise when the table has no entry for
// it. Entries may come in any order; a table numbered from 0 (see
// numbered()) is found directly.
constexpr std::string_view lookup(std::span<const CodeText> table, unsigned code, std::string_view otherwise) {
  if (code < table.size() && table[code].code == code) return table[code].text;
  for (const CodeText& e : table) {
    if (e.code == code) return e.text;
  }
  return otherwise;
}

// A table whose codes are 0, 1, 2, ... in the order of the texts.
template <typename... Texts>
constexpr std::array<CodeText, sizeof...(Texts)> numbered(Texts... texts) {
  std::array<CodeText, sizeof...(Texts)> table{};
  unsigned code = 0;
  ((table[code] = CodeText{code, std::string_view(texts)}, ++code), ...);
  return table;
}

// Bits hi..lo of an octet (7 >= hi >= lo >= 0).
struct Bits {
  int hi;
  int lo;
  // The value of these bits of octet o, shifted down to bit 0.
  constexpr unsigned of(uint8_t o) const { return (unsigned(o) >> lo) & ((1u << (hi - lo + 1)) - 1); }
};

// The one-bit range of bit b.
constexpr Bits bit(int b) { return Bits{b, b}; }

// True when bit b of o is set.
constexpr bool isSet(uint8_t o, int b) { return bit(b).of(o) != 0; }

// For octet lines that join their fields' texts (see joinParts): the text
// of the value of bits b of o in table (otherwise when the table has none),
// and the text for 1 or the text for 0 of bit b of o.
constexpr std::string_view valueText(uint8_t o, Bits b, std::span<const CodeText> table, std::string_view otherwise) {
  return lookup(table, b.of(o), otherwise);
}
constexpr std::string_view flagText(uint8_t o, int b, std::string_view one, std::string_view zero) {
  return isSet(o, b) ? one : zero;
}

// Field line of bits b of o (their bits shown, "-" elsewhere), then caption
// and text.
inline void field(DecodeContext& ctx, uint8_t o, Bits b, std::string_view caption, std::string_view text = {}) {
  ctx.fieldLine(o, b.hi, b.lo);
  ctx.append(caption);
  ctx.append(text);
}

// Field line of bits b of o, caption, then the text of the field's value in
// table (otherwise when the table has none).
inline void field(DecodeContext& ctx, uint8_t o, Bits b, std::string_view caption, std::span<const CodeText> table,
                  std::string_view otherwise) {
  field(ctx, o, b, caption, lookup(table, b.of(o), otherwise));
}

// Field line of bits b of o, caption, then the field's value as two
// hexadecimal digits.
inline void fieldHex(DecodeContext& ctx, uint8_t o, Bits b, std::string_view caption) {
  field(ctx, o, b, caption, corvane::hex2(uint8_t(b.of(o))));
}

// Field line of one bit with the text for 1 and the text for 0.
inline void flag(DecodeContext& ctx, uint8_t o, int b, std::string_view caption, std::string_view one,
                 std::string_view zero) {
  field(ctx, o, bit(b), caption, bit(b).of(o) ? one : zero);
}

}  // namespace lumarc
