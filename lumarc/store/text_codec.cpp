#include "lumarc/store/text_codec.h"

namespace lumarc::store {

TextCodec::TextCodec(corvane::CodePage cp) : cp_(cp) {
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    utf8_[b] = corvane::toUtf8(one, cp);
    // Decode the single code point (all of them lie in the BMP).
    const auto* u = reinterpret_cast<const unsigned char*>(utf8_[b].data());
    uint32_t cpv = 0;
    if (u[0] < 0x80)
      cpv = u[0];
    else if ((u[0] & 0xE0) == 0xC0)
      cpv = ((u[0] & 0x1Fu) << 6) | (u[1] & 0x3Fu);
    else
      cpv = ((u[0] & 0x0Fu) << 12) | ((u[1] & 0x3Fu) << 6) | (u[2] & 0x3Fu);
    unit_[b] = static_cast<uint16_t>(cpv);
  }
}

void TextCodec::toUtf8(std::string_view bytes, std::string& out) const {
  for (unsigned char c : bytes) {
    if (c < 0x80)
      out += static_cast<char>(c);
    else
      out += utf8_[c];
  }
}

size_t TextCodec::toUtf16(std::string_view bytes, uint16_t* out) const {
  for (size_t i = 0; i < bytes.size(); ++i) out[i] = unit_[static_cast<unsigned char>(bytes[i])];
  return bytes.size();
}

std::string TextCodec::fromUtf8(std::string_view utf8) const {
  for (unsigned char c : utf8)
    if (c >= 0x80) return corvane::fromUtf8(utf8, cp_);
  return std::string(utf8);
}

std::string TextCodec::fromUtf16(const uint16_t* units, size_t n) const {
  std::string utf8;
  utf8.reserve(n);
  bool ascii = true;
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
      continue;
    }
    ascii = false;
    if (c < 0x800) {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (c >> 12));
      utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (c >> 18));
      utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    utf8 += static_cast<char>(0x80 | (c & 0x3F));
  }
  return ascii ? utf8 : corvane::fromUtf8(utf8, cp_);
}

}  // namespace lumarc::store
