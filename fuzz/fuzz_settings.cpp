// Settings files of any content and size.
#include "common/nibble_codec.h"
#include "lumarc/app/settings.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string image(reinterpret_cast<const char*>(data), size);
  // Short inputs are widened to the settings file size so the decoder runs.
  if (size > 0 && size < lumarc::kSettingsFileSize) {
    std::string wide = image;
    while (wide.size() < lumarc::kSettingsFileSize) wide += image;
    wide.resize(lumarc::kSettingsFileSize);
    image = wide;
  }
  lumarc::SettingsBlock s;
  if (s.decode(image)) {
    for (auto kind : {lumarc::LinkKind::Cmdr, lumarc::LinkKind::Monitor, lumarc::LinkKind::Voice}) {
      lumarc::ConnectionHistory h = s.history(kind);
      for (size_t i = 0; i < lumarc::kHistorySlots; ++i) {
        if (h.slot(i).host[255] != 0) std::abort();
        (void)h.used(i);
      }
      h.add(lumarc::parseAddressText("10.0.0.1:1"));
    }
    lumarc::SettingsBlock again;
    if (!again.decode(s.encode()) || std::memcmp(again.data(), s.data(), lumarc::kSettingsSize) != 0) std::abort();
  }
  // The softphone's record size through the same codec.
  auto d = corvane::nibbleDecode(image.substr(0, 7994), 3996);
  if (d && corvane::nibbleEncode(d->record).size() != 7994) std::abort();
  return 0;
}
