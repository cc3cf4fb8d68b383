// The account block: where the keyset registers and with which credentials.
// 136 bytes, kept byte for byte as it sits in "Settings.bin" (offset 3844);
// texts are NUL-terminated 8-bit text, zero-filled behind.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace halvern {

struct AccountBlock {
  static constexpr std::size_t kSize = 136;
  // Field offsets and sizes inside the block.
  static constexpr std::size_t kHost = 8, kHostSize = 64;
  static constexpr std::size_t kAccountId = 72, kAccountIdSize = 24;
  static constexpr std::size_t kAuthId = 96, kAuthIdSize = 24;
  static constexpr std::size_t kPassword = 120, kPasswordSize = 16;

  std::array<std::uint8_t, kSize> bytes{};

  std::string host() const { return text(kHost, kHostSize); }
  std::string accountId() const { return text(kAccountId, kAccountIdSize); }
  std::string authId() const { return text(kAuthId, kAuthIdSize); }
  std::string password() const { return text(kPassword, kPasswordSize); }

  // Each setter refuses (false, field unchanged) a text that does not fit
  // with its terminating NUL.
  bool setHost(std::string_view v) { return setText(kHost, kHostSize, v); }
  bool setAccountId(std::string_view v) { return setText(kAccountId, kAccountIdSize, v); }
  bool setAuthId(std::string_view v) { return setText(kAuthId, kAuthIdSize, v); }
  bool setPassword(std::string_view v) { return setText(kPassword, kPasswordSize, v); }

  // The raw field bytes (zero-filled text), e.g. for the registration digest.
  const std::uint8_t* field(std::size_t offset) const { return bytes.data() + offset; }

  friend bool operator==(const AccountBlock&, const AccountBlock&) = default;

 private:
  std::string text(std::size_t at, std::size_t size) const {
    const auto* b = reinterpret_cast<const char*>(bytes.data() + at);
    return std::string(b, strnlen(b, size));
  }
  bool setText(std::size_t at, std::size_t size, std::string_view v) {
    if (v.size() >= size || v.find('\0') != std::string_view::npos) return false;
    std::fill_n(bytes.begin() + at, size, 0);
    std::copy(v.begin(), v.end(), bytes.begin() + at);
    return true;
  }
};

}  // namespace halvern
