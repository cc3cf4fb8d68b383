#include "lumarc/discovery/wizard_commands.h"

#include "common/byte_io.h"

#include <openssl/rand.h>

#include <algorithm>
#include <cassert>
#include <fstream>

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

std::string buildQuilletAccess(uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence) {
  std::string d = buildWizardCommand(kQuilletAccess, adapter, to, sequence, kQuilletAccessSize - dscv::kHeaderSize);
  corvane::ByteWriter(d).fill(25, 4, 0xFF);
  return d;
}

std::string buildUploadBlock(uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence, uint32_t block,
                             std::string_view file) {
  const size_t start = size_t(block) * kUploadBlockData;
  assert(start < file.size());
  std::string d = buildWizardCommand(kUploadBlock, adapter, to, sequence, kUploadBlockSize - dscv::kHeaderSize);
  corvane::ByteWriter w(d);
  w.putLe32(25, block);
  w.putLe32(29, uint32_t(file.size()));
  w.put8(33, 0);
  w.putBytes(34, file.substr(start, kUploadBlockData));
  return d;
}

uint32_t parameterChecksum(std::string_view bytes) {
  constexpr uint32_t kMod = 65521;
  uint32_t a = 1, b = 0;
  size_t i = 0;
  while (i < bytes.size()) {
    // 5552 bytes keep the sums inside 32 bits between reductions.
    const size_t end = std::min(bytes.size(), i + 5552);
    for (; i < end; ++i) {
      a += uint8_t(bytes[i]);
      b += a;
    }
    a %= kMod;
    b %= kMod;
  }
  const uint32_t sum = b << 16 | a;
  return sum == 0 ? 0xFFFFFFFF : sum;
}

ParameterFileFault checkParameterFile(std::string_view bytes) {
  if (bytes.size() < 8) return ParameterFileFault::TooShort;
  if (bytes.size() > kMaxParameterFile) return ParameterFileFault::TooLarge;
  for (size_t i : {0, 1, 3, 4, 5, 6, 7})
    if (bytes[i] != 0) return ParameterFileFault::Header;
  const corvane::ByteReader r(bytes);
  if (r.le32(bytes.size() - 4) != parameterChecksum(bytes.substr(0, bytes.size() - 4)))
    return ParameterFileFault::Checksum;
  return ParameterFileFault::None;
}

ParameterFileFault loadParameterFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return ParameterFileFault::Unreadable;
  const std::streamoff size = in.tellg();
  if (size < 0) return ParameterFileFault::Unreadable;
  if (size_t(size) > kMaxParameterFile) return ParameterFileFault::TooLarge;
  std::string data(size_t(size), '\0');
  in.seekg(0);
  if (!in.read(data.data(), size)) return ParameterFileFault::Unreadable;
  const ParameterFileFault f = checkParameterFile(data);
  if (f == ParameterFileFault::None) bytes = std::move(data);
  return f;
}

}  // namespace lumarc
