#include "lumarc/app/settings.h"

#include "common/files.h"
#include "common/nibble_codec.h"

#include <vector>

namespace lumarc {

namespace {
constexpr size_t historyOffset(LinkKind kind) {
  switch (kind) {
    case LinkKind::Monitor: return settingsblock::kMonitorHistory;
    case LinkKind::Cmdr: return settingsblock::kCmdrHistory;
    case LinkKind::Voice: return settingsblock::kVoiceHistory;
  }
  return settingsblock::kMonitorHistory;
}
constexpr size_t kSlotSize = sizeof(ConnectionTarget);
static_assert(settingsblock::kCmdrHistory == settingsblock::kMonitorHistory + kHistorySlots * kSlotSize);
static_assert(settingsblock::kVoiceHistory == settingsblock::kCmdrHistory + kHistorySlots * kSlotSize);
static_assert(settingsblock::kAdapter == settingsblock::kVoiceHistory + kHistorySlots * kSlotSize);
}  // namespace

ConnectionTarget ConnectionHistory::slot(size_t i) const {
  ConnectionTarget t;
  std::memcpy(&t, slots_ + i * kSlotSize, kSlotSize);
  return t;
}

void ConnectionHistory::setSlot(size_t i, const ConnectionTarget& t) {
  std::memcpy(slots_ + i * kSlotSize, &t, kSlotSize);
}

bool ConnectionHistory::used(size_t i) const {
  ConnectionTarget t = slot(i);
  if (t.isZero()) return false;
  return checkHost(t.hostText(), nullptr) != HostKind::Invalid;
}

void ConnectionHistory::add(const ConnectionTarget& t) {
  size_t m = kHistorySlots - 1;  // without an equal entry, slot 19 falls out
  for (size_t j = 0; j < kHistorySlots; ++j) {
    if (std::memcmp(slots_ + j * kSlotSize, &t, kSlotSize) == 0) {
      m = j;
      break;
    }
  }
  std::memmove(slots_ + kSlotSize, slots_, m * kSlotSize);
  setSlot(0, t);
}

ConnectionHistory SettingsBlock::history(LinkKind kind) {
  return ConnectionHistory(bytes_.data() + historyOffset(kind));
}

const ConnectionHistory SettingsBlock::history(LinkKind kind) const {
  return ConnectionHistory(const_cast<uint8_t*>(bytes_.data()) + historyOffset(kind));
}

bool SettingsBlock::decode(const std::string& image) {
  if (image.size() != kSettingsFileSize) return false;
  auto d = corvane::nibbleDecode(image, kSettingsSize);
  if (!d) return false;
  std::memcpy(bytes_.data(), d->record.data(), kSettingsSize);
  // A stored host is always NUL-terminated, whatever the file held.
  for (LinkKind k : {LinkKind::Monitor, LinkKind::Cmdr, LinkKind::Voice})
    for (size_t i = 0; i < kHistorySlots; ++i) bytes_[historyOffset(k) + i * kSlotSize + 255] = 0;
  return true;
}

std::string SettingsBlock::encode() const {
  return corvane::nibbleEncode(std::vector<uint8_t>(bytes_.begin(), bytes_.end()));
}

bool loadSettings(SettingsBlock& s, const std::string& dir) {
  auto image = corvane::readFileBytes(corvane::joinPath(dir, kSettingsFileName));
  return image && s.decode(*image);
}

bool saveSettings(const SettingsBlock& s, const std::string& dir) {
  return corvane::writeFileAtomic(corvane::joinPath(dir, kSettingsFileName), s.encode(), 0600);
}

}  // namespace lumarc
