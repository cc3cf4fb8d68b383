// 8-bit program text <-> the database's Unicode, through one code page.
#pragma once

#include "common/codepage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumarc::store {

class TextCodec {
 public:
  explicit TextCodec(corvane::CodePage cp = corvane::CodePage::Cp1252);
  corvane::CodePage codePage() const { return cp_; }
  // Appends the UTF-8 form of bytes.
  void toUtf8(std::string_view bytes, std::string& out) const;
  // Writes the UTF-16 form of bytes (one unit per byte) and returns the count.
  size_t toUtf16(std::string_view bytes, uint16_t* out) const;
  std::string fromUtf8(std::string_view utf8) const;
  std::string fromUtf16(const uint16_t* units, size_t n) const;

 private:
  corvane::CodePage cp_;
  uint16_t unit_[256];
  std::string utf8_[256];
};

}  // namespace lumarc::store
