// The softphone's persistent settings: one 3996-byte record held in memory
// in its file layout for the whole run and stored nibble-encoded, with its
// 16-bit byte sum, in "Settings.bin" in the working directory.
#pragma once

#include "halvern/account.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvern {

constexpr std::size_t kSettingsRecordSize = 3996;
constexpr std::size_t kSettingsFileSize = 2 * kSettingsRecordSize + 2;
constexpr const char* kSettingsFileName = "Settings.bin";

// Record offsets.
namespace settingsrecord {
inline constexpr std::size_t kLanguage = 0;  // 2 bytes LE: 0 English, 1 Turkish, 2 Polish, 3 Hungarian
inline constexpr std::size_t kTags = 2;      // 4 shift levels x 30 keys x 32 bytes
inline constexpr std::size_t kTagLevels = 4, kTagKeys = 30, kTagSize = 32;
inline constexpr std::size_t kTagLevelSize = kTagKeys * kTagSize;  // 960
inline constexpr std::size_t kReserved = 3842;                     // 2 bytes, zero
inline constexpr std::size_t kAccount = 3844;                      // the 136-byte account block
inline constexpr std::size_t kRectangle = 3980;                    // left, top, right, bottom: signed 32-bit LE each
}  // namespace settingsrecord
static_assert(settingsrecord::kTags + settingsrecord::kTagLevels * settingsrecord::kTagLevelSize ==
              settingsrecord::kReserved);
static_assert(settingsrecord::kAccount + AccountBlock::kSize == settingsrecord::kRectangle);
static_assert(settingsrecord::kRectangle + 16 == kSettingsRecordSize);

// The voice recordings window's place on the screen.
struct WindowRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

class SettingsRecord {
 public:
  SettingsRecord() { bytes_.fill(0); }

  // The defaults: every byte zero but the language and the account block.
  static SettingsRecord defaults(std::uint16_t language, const AccountBlock& account);

  std::uint16_t language() const;
  void setLanguage(std::uint16_t v);

  // The tag text of programmable key `key` (0-29) at shift level `level`
  // (0-3): at most 31 bytes.
  std::string tag(std::size_t level, std::size_t key) const;
  // Stores a tag text, cut to 31 bytes and zero-filled behind.
  void setTag(std::size_t level, std::size_t key, std::string_view text);

  AccountBlock account() const;
  void setAccount(const AccountBlock& a);

  WindowRect rectangle() const;
  void setRectangle(const WindowRect& r);

  const std::uint8_t* data() const { return bytes_.data(); }
  std::uint8_t* data() { return bytes_.data(); }
  friend bool operator==(const SettingsRecord&, const SettingsRecord&) = default;

  // Takes a file image: only one of exactly 7994 bytes whose stored sum
  // matches the decoded bytes. Returns false (record unchanged) otherwise.
  bool decode(const std::string& image);
  // The file image: 7992 nibble characters and the 16-bit sum.
  std::string encode() const;

 private:
  std::array<std::uint8_t, kSettingsRecordSize> bytes_;
};

// The language a locale name gives: "tr..." 1, "pl..." 2, "hu..." 3, else 0
// (upper or lower case).
std::uint16_t languageFromLocale(std::string_view localeName);

// Reads "Settings.bin" from dir into s. When the file is missing, unreadable,
// of another size or its sum does not match, s is left as it was (the
// caller's defaults) and false is returned.
bool loadSettingsRecord(SettingsRecord& s, const std::string& dir);
// Writes "Settings.bin" atomically with mode 0600; false when it could not
// be written, in which case the old file stays.
bool saveSettingsRecord(const SettingsRecord& s, const std::string& dir);

}  // namespace halvern
