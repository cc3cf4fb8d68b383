// The management program's persistent settings: one 18284-byte block kept
// in memory in its file layout and stored nibble-encoded in "Lumarc.set".
#pragma once

#include "common/byte_io.h"
#include "lumarc/links/target.h"

#include <array>
#include <cstdint>
#include <string>

namespace lumarc {

constexpr size_t kSettingsSize = 18284;
constexpr size_t kSettingsFileSize = 36570;
constexpr size_t kHistorySlots = 20;
constexpr const char* kSettingsFileName = "Lumarc.set";

// Settings block offsets.
namespace settingsblock {
inline constexpr size_t kLanguage = 0;          // 4 bytes LE: language of the texts
inline constexpr size_t kAutoScroll = 4;        // 4 bytes LE: link windows follow new lines (0/1)
inline constexpr size_t kLayer2 = 8;            // 4 bytes LE: decode layer 2 monitor messages (0/1)
inline constexpr size_t kUsersSort = 12;        // 4 bytes LE: sort order of the users view
inline constexpr size_t kUsersFormat = 16;      // 4 bytes LE: number format of the users view
inline constexpr size_t kDefinitionsSort = 20;  // 4 bytes LE: sort order of the definitions view
inline constexpr size_t kMonitorHistory = 24;   // 20 connection targets of 300 bytes each
inline constexpr size_t kCmdrHistory = 6024;    // the same for CMDR links
inline constexpr size_t kVoiceHistory = 12024;  // the same for voice links
inline constexpr size_t kAdapter = 18024;       // 4 bytes LE: host-order IPv4 of the discovery adapter
inline constexpr size_t kReserved = 18028;      // 256 bytes, kept as read
inline constexpr size_t kReservedSize = 256;
}  // namespace settingsblock
static_assert(settingsblock::kReserved + settingsblock::kReservedSize == kSettingsSize);

// A most-recent-first list of 20 targets inside the settings block.
class ConnectionHistory {
 public:
  explicit ConnectionHistory(uint8_t* slots) : slots_(slots) {}
  ConnectionTarget slot(size_t i) const;
  void setSlot(size_t i, const ConnectionTarget& t);
  // A slot counts as used when it is not all zero and its host passes the
  // host check.
  bool used(size_t i) const;
  // Moves t to the front: an equal entry is taken out of its slot, the
  // entries before it move down one place; without one, slot 19 falls out.
  void add(const ConnectionTarget& t);

 private:
  uint8_t* slots_;
};

class SettingsBlock {
 public:
  SettingsBlock() { bytes_.fill(0); }

  uint32_t language() const { return get32(settingsblock::kLanguage); }
  void setLanguage(uint32_t v) { set32(settingsblock::kLanguage, v); }
  uint32_t autoScroll() const { return get32(settingsblock::kAutoScroll); }
  void setAutoScroll(uint32_t v) { set32(settingsblock::kAutoScroll, v); }
  uint32_t layer2() const { return get32(settingsblock::kLayer2); }
  void setLayer2(uint32_t v) { set32(settingsblock::kLayer2, v); }
  uint32_t usersSort() const { return get32(settingsblock::kUsersSort); }
  void setUsersSort(uint32_t v) { set32(settingsblock::kUsersSort, v); }
  uint32_t usersFormat() const { return get32(settingsblock::kUsersFormat); }
  void setUsersFormat(uint32_t v) { set32(settingsblock::kUsersFormat, v); }
  uint32_t definitionsSort() const { return get32(settingsblock::kDefinitionsSort); }
  void setDefinitionsSort(uint32_t v) { set32(settingsblock::kDefinitionsSort, v); }
  // Host-order IPv4 of the adapter chosen for discovery; 0 = none.
  uint32_t adapter() const { return get32(settingsblock::kAdapter); }
  void setAdapter(uint32_t v) { set32(settingsblock::kAdapter, v); }

  ConnectionHistory history(LinkKind kind);
  const ConnectionHistory history(LinkKind kind) const;

  const uint8_t* data() const { return bytes_.data(); }
  uint8_t* data() { return bytes_.data(); }

  // Decodes a settings file image; false (block unchanged) unless the image
  // is exactly 36570 bytes. The check word is read and not verified.
  bool decode(const std::string& image);
  // The file image: nibble characters and the 16-bit sum of the raw block.
  std::string encode() const;

 private:
  uint32_t get32(size_t off) const { return corvane::ByteReader(bytes_).le32(off); }
  void set32(size_t off, uint32_t v) { corvane::ByteWriter(bytes_).putLe32(off, v); }
  std::array<uint8_t, kSettingsSize> bytes_;
};

// Reads "Lumarc.set" from dir; defaults (block untouched) when it is
// missing, unreadable or of another size. Returns whether it was used.
bool loadSettings(SettingsBlock& s, const std::string& dir);
// Writes "Lumarc.set" atomically (mode 0600); false when it could not be
// written, in which case the old file stays.
bool saveSettings(const SettingsBlock& s, const std::string& dir);

}  // namespace lumarc
