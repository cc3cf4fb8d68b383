#include "lumarc/discovery/wizard_commands.h"

#include "common/byte_io.h"

#include <openssl/rand.h>

#include <cassert>

namespace lumarc {

uint8_t saveIpLanguage(uint32_t languageSetting) {
  switch (languageSetting) {
    case 1: return 1;
    case 2: return 4;
    case 3: return 2;
    default: return 255;
  }
}

std::string buildSaveIp(uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence, uint32_t languageSetting,
                        uint32_t ip, uint32_t mask, uint32_t gateway, const std::tm& local) {
  std::string d = buildWizardCommand(kSaveIp, adapter, to, sequence, kSaveIpSize - dscv::kHeaderSize);
  corvane::ByteWriter w(d);
  w.put8(25, saveIpLanguage(languageSetting));
  w.putLe32(26, ip);
  w.putLe32(30, mask);
  w.putLe32(34, gateway);
  w.put8(38, uint8_t(local.tm_year - 100));
  w.put8(39, uint8_t(local.tm_mon + 1));
  w.put8(40, uint8_t(local.tm_mday));
  w.put8(41, uint8_t(local.tm_hour));
  w.put8(42, uint8_t(local.tm_min));
  w.put8(43, uint8_t(local.tm_sec));
  w.put8(44, 0);
  // The standard offset: daylight saving is taken out and sent apart.
  const long standardEast = local.tm_gmtoff - (local.tm_isdst > 0 ? 3600 : 0);
  w.put8(45, uint8_t(int8_t(-standardEast / 3600)));
  w.put8(46, local.tm_isdst > 0 ? 1 : 0);
  return d;
}

std::string passwordFromRandom(const std::array<uint8_t, 12>& random) {
  std::string p;
  for (uint8_t r : random) {
    const int v = r & 0x1F;
    p += char(v < 10 ? '0' + v : 'A' + (v - 10));
  }
  return p;
}

std::string halvernPassword() {
  std::array<uint8_t, 12> random{};
  if (RAND_bytes(random.data(), int(random.size())) != 1) return {};
  return passwordFromRandom(random);
}

std::string buildHalvernAccount(uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence,
                                const std::string& password) {
  assert(password.size() == 12);
  std::string d = buildWizardCommand(kHalvernAccount, adapter, to, sequence, kHalvernAccountSize - dscv::kHeaderSize);
  corvane::ByteWriter w(d);
  w.putBytes(27, "Halvern");
  w.putBytes(63, "Halvern");
  w.putBytes(99, password.substr(0, 12));
  return d;
}

}  // namespace lumarc
