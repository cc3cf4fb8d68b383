// The management program's persistent settings: one 18284-byte block kept
// in memory in its file layout and stored nibble-encoded in "Lumarc.set".
#pragma once

#include "lumarc/links/target.h"

#include <array>
#include <cstdint>
#include <string>

namespace lumarc {

constexpr size_t kSettingsSize = 18284;
constexpr size_t kSettingsFileSize = 36570;
constexpr size_t kHistorySlots = 20;
constexpr const char* kSettingsFileName = "Lumarc.set";

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

  uint32_t language() const { return get32(0); }
  void setLanguage(uint32_t v) { set32(0, v); }
  uint32_t autoScroll() const { return get32(4); }
  void setAutoScroll(uint32_t v) { set32(4, v); }
  uint32_t layer2() const { return get32(8); }
  void setLayer2(uint32_t v) { set32(8, v); }
  uint32_t usersSort() const { return get32(12); }
  void setUsersSort(uint32_t v) { set32(12, v); }
  uint32_t usersFormat() const { return get32(16); }
  void setUsersFormat(uint32_t v) { set32(16, v); }
  uint32_t definitionsSort() const { return get32(20); }
  void setDefinitionsSort(uint32_t v) { set32(20, v); }
  // Host-order IPv4 of the adapter chosen for discovery; 0 = none.
  uint32_t adapter() const { return get32(18024); }
  void setAdapter(uint32_t v) { set32(18024, v); }

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
  uint32_t get32(size_t off) const {
    return uint32_t(bytes_[off]) | uint32_t(bytes_[off + 1]) << 8 | uint32_t(bytes_[off + 2]) << 16 |
           uint32_t(bytes_[off + 3]) << 24;
  }
  void set32(size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[off + size_t(i)] = uint8_t(v >> (8 * i));
  }
  std::array<uint8_t, kSettingsSize> bytes_;
};

// Reads "Lumarc.set" from dir; defaults (block untouched) when it is
// missing, unreadable or of another size. Returns whether it was used.
bool loadSettings(SettingsBlock& s, const std::string& dir);
// Writes "Lumarc.set" atomically (mode 0600); false when it could not be
// written, in which case the old file stays.
bool saveSettings(const SettingsBlock& s, const std::string& dir);

}  // namespace lumarc
