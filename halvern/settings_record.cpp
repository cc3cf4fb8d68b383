#include "halvern/settings_record.h"

#include "common/byte_io.h"
#include "common/files.h"
#include "common/nibble_codec.h"

#include <cassert>
#include <cstring>
#include <vector>

namespace halvern {

namespace sr = settingsrecord;

SettingsRecord SettingsRecord::defaults(std::uint16_t language, const AccountBlock& account) {
  SettingsRecord s;
  s.setLanguage(language);
  s.setAccount(account);
  return s;
}

std::uint16_t SettingsRecord::language() const { return corvane::ByteReader(bytes_).le16(sr::kLanguage); }

void SettingsRecord::setLanguage(std::uint16_t v) { corvane::ByteWriter(bytes_).putLe16(sr::kLanguage, v); }

namespace {
constexpr std::size_t tagOffset(std::size_t level, std::size_t key) {
  return sr::kTags + level * sr::kTagLevelSize + key * sr::kTagSize;
}
}  // namespace

std::string SettingsRecord::tag(std::size_t level, std::size_t key) const {
  assert(level < sr::kTagLevels && key < sr::kTagKeys);
  const auto* p = reinterpret_cast<const char*>(bytes_.data() + tagOffset(level, key));
  return std::string(p, strnlen(p, sr::kTagSize - 1));
}

void SettingsRecord::setTag(std::size_t level, std::size_t key, std::string_view text) {
  assert(level < sr::kTagLevels && key < sr::kTagKeys);
  std::uint8_t* p = bytes_.data() + tagOffset(level, key);
  std::memset(p, 0, sr::kTagSize);
  text = text.substr(0, std::min(text.find('\0'), sr::kTagSize - 1));
  std::memcpy(p, text.data(), text.size());
}

AccountBlock SettingsRecord::account() const {
  AccountBlock a;
  std::memcpy(a.bytes.data(), bytes_.data() + sr::kAccount, AccountBlock::kSize);
  return a;
}

void SettingsRecord::setAccount(const AccountBlock& a) {
  std::memcpy(bytes_.data() + sr::kAccount, a.bytes.data(), AccountBlock::kSize);
}

WindowRect SettingsRecord::rectangle() const {
  corvane::ByteReader r(bytes_);
  return {std::int32_t(r.le32(sr::kRectangle)), std::int32_t(r.le32(sr::kRectangle + 4)),
          std::int32_t(r.le32(sr::kRectangle + 8)), std::int32_t(r.le32(sr::kRectangle + 12))};
}

void SettingsRecord::setRectangle(const WindowRect& rect) {
  corvane::ByteWriter w(bytes_);
  w.putLe32(sr::kRectangle, std::uint32_t(rect.left));
  w.putLe32(sr::kRectangle + 4, std::uint32_t(rect.top));
  w.putLe32(sr::kRectangle + 8, std::uint32_t(rect.right));
  w.putLe32(sr::kRectangle + 12, std::uint32_t(rect.bottom));
}

bool SettingsRecord::decode(const std::string& image) {
  auto d = corvane::nibbleDecode(image, kSettingsRecordSize);
  if (!d || !d->checkMatches) return false;
  std::memcpy(bytes_.data(), d->record.data(), kSettingsRecordSize);
  return true;
}

std::string SettingsRecord::encode() const {
  return corvane::nibbleEncode(std::vector<std::uint8_t>(bytes_.begin(), bytes_.end()));
}

std::uint16_t languageFromLocale(std::string_view name) {
  auto startsWith = [&](const char* p) {
    if (name.size() < 2) return false;
    return (name[0] | 0x20) == p[0] && (name[1] | 0x20) == p[1];
  };
  if (startsWith("tr")) return 1;
  if (startsWith("pl")) return 2;
  if (startsWith("hu")) return 3;
  return 0;
}

bool loadSettingsRecord(SettingsRecord& s, const std::string& dir) {
  auto image = corvane::readFileBytes(corvane::joinPath(dir, kSettingsFileName));
  return image && s.decode(*image);
}

bool saveSettingsRecord(const SettingsRecord& s, const std::string& dir) {
  return corvane::writeFileAtomic(corvane::joinPath(dir, kSettingsFileName), s.encode(), 0600);
}

}  // namespace halvern
