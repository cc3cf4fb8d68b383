#include "common/recording_name.h"

#include "common/byte_io.h"
#include "common/files.h"
#include "common/format.h"

#include <cstdio>
#include <cstring>

namespace corvane {
namespace {

bool isAlnum(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

uint32_t twoDigitNibbles(uint32_t v) {
  v %= 100;
  return (v / 10) << 4 | (v % 10);
}

// Six digits -> nibbles; false when one is not a digit.
bool digitNibbles(std::string_view s, uint32_t& out) {
  out = 0;
  for (char c : s) {
    if (!isDigit(c)) return false;
    out = out << 4 | uint32_t(c - '0');
  }
  return true;
}

// Seconds in size bytes at rate bytes a second, rounded at half.
uint32_t roundedSeconds(uint64_t size, uint64_t rate) {
  uint64_t s = size / rate + ((size % rate) > rate / 2 ? 1 : 0);
  return uint32_t(s);
}

uint32_t wavByteRate(const std::string& path) {
  uint32_t rate = 0;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t h[44];
    if (std::fread(h, 1, sizeof h, f) == sizeof h) rate = ByteReader(h, sizeof h).le32(28);
    std::fclose(f);
  }
  return rate < 3 ? 16000 : rate;
}

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string descriptionDigits(const uint8_t* field, size_t max) {
  std::string s;
  for (size_t i = 0; i < max && isAlnum(field[i]); ++i) {
    char c = char(field[i]);
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    s += c;
  }
  return s;
}

uint32_t packedDateNibbles(uint32_t w) {
  const uint32_t day = (w >> 17) & 0x1F, month = (w >> 22) & 0x0F, year = (w >> 26) & 0x3F;
  return twoDigitNibbles(year) << 16 | twoDigitNibbles(month) << 8 | twoDigitNibbles(day);
}

uint32_t packedTimeNibbles(uint32_t w) {
  const uint32_t sec = w & 0x3F, min = (w >> 6) & 0x3F, hour = (w >> 12) & 0x1F;
  return twoDigitNibbles(hour) << 16 | twoDigitNibbles(min) << 8 | twoDigitNibbles(sec);
}

uint32_t apcDuration(uint64_t size) { return roundedSeconds(size, 4000); }

Recording voiceRecordFromDescription(const uint8_t (&d)[kVoiceDescriptionSize], const std::string& wavDir,
                                     uint32_t exchangeIpv4) {
  using namespace voicedesc;
  const ByteReader in(d, kVoiceDescriptionSize);
  Recording r;
  const uint32_t dateWord = in.le32(kDateWord);
  r.rcdport = formatPort(in.le32(kPort));
  r.rcddate = packedDateNibbles(dateWord);
  r.rcdtime = packedTimeNibbles(dateWord);
  const unsigned char type = in.u8(kType);
  r.rcdtype = std::string(1, char(type < 0x20 || type == 0x7F ? ' ' : type));
  r.duration = apcDuration(in.le32(kSize));
  r.rcddsq = descriptionDigits(d + kDialled, kDialledSize);
  r.rcdrcv = descriptionDigits(d + kReceiving, kReceivingSize);
  r.rcdcni = descriptionDigits(d + kCalling, kCallingSize);
  const uint32_t cref = in.le32(kCallReference);
  r.cref = cref == 0x20202020u ? 0 : cref;
  r.Drog = in.u8(kDirection) == 'O';
  r.Wavu = false;
  r.ipadr = exchangeIpv4;
  r.rcdfx = "apc";
  r.rcdfn = joinPath(wavDir, recordingTitle(r));
  return r;
}

std::string recordingTitle(const Recording& r) {
  std::string port(trimBlanks(r.rcdport));
  // A port text may hold inner blanks (unused nibbles); they never reach a name.
  for (char& c : port)
    if (!isAlnum(static_cast<unsigned char>(c))) c = '_';
  if (port.size() < 8) port.append(8 - port.size(), '_');
  const unsigned char type = r.rcdtype.empty() ? ' ' : static_cast<unsigned char>(r.rcdtype[0]);
  std::string t;
  t += port;
  t += '_';
  t += hex6(r.rcddate);
  t += '_';
  t += hex6(r.rcdtime);
  t += '_';
  t += isAlnum(type) ? char(type) : '_';
  t += r.Drog ? 'O' : 'I';
  t += '_';
  t += r.rcddsq;
  t += '_';
  t += r.rcdrcv;
  t += '_';
  t += r.rcdcni;
  t += '_';
  if (r.cref != 0) t += hex8(r.cref);
  t += '_';
  t += hex8(r.ipadr);
  return t;
}

std::optional<Recording> parseVoiceFileName(const std::string& path, uint64_t fileSize) {
  const size_t slash = path.find_last_of('/');
  const std::string title = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t lastDot = title.find_last_of('.');
  if (lastDot == std::string::npos) return std::nullopt;
  const std::string ext = title.substr(lastDot + 1);
  uint64_t divisor = 0;
  if (equalsNoCase(ext, "wav"))
    divisor = wavByteRate(path);
  else if (equalsNoCase(ext, "mp3"))
    divisor = 1000;
  else if (equalsNoCase(ext, "apc"))
    divisor = 4000;
  else
    return std::nullopt;

  const size_t firstDot = title.find('.');
  const std::string stem = title.substr(0, firstDot);
  if (stem.size() < 25) return std::nullopt;
  Recording r;
  if (!digitNibbles(std::string_view(stem).substr(9, 6), r.rcddate)) return std::nullopt;
  if (!digitNibbles(std::string_view(stem).substr(16, 6), r.rcdtime)) return std::nullopt;
  r.rcdport = portText8(std::string_view(stem).substr(0, 8));
  r.rcdtype = std::string(1, stem[23]);
  r.Drog = stem[24] == 'O';
  r.Wavu = title.size() >= firstDot + 4 && equalsNoCase(std::string_view(title).substr(firstDot + 1, 3), "cfl");
  r.duration = roundedSeconds(fileSize, divisor);

  // "_"-separated fields from position 26: dialled, receiving, calling,
  // call reference, exchange address.
  std::string fields[5];
  if (stem.size() > 26) {
    size_t pos = 26, i = 0;
    while (i < 5) {
      size_t us = stem.find('_', pos);
      fields[i++] = stem.substr(pos, us == std::string::npos ? std::string::npos : us - pos);
      if (us == std::string::npos) break;
      pos = us + 1;
    }
  }
  for (int i = 0; i < 3; ++i)
    if (fields[i].size() > 16) fields[i].resize(16);
  r.rcddsq = fields[0];
  r.rcdrcv = fields[1];
  r.rcdcni = fields[2];
  r.cref = parseHex(fields[3]);
  r.ipadr = parseHex(fields[4]);
  r.rcdfn = path.substr(0, path.size() - ext.size() - 1);
  r.rcdfx = ext;
  return r;
}

}  // namespace corvane
