// The wizard's commands that change an exchange, as datagrams: `SaveIp`
// with the PC's local time and time zone, `HalvernAccount` with a fresh
// random password, `QuilletAccess` and the upload of a system parameter
// file in 1024-byte blocks; and the check of such a file. Builders only;
// sending and replies are the engine's.
#pragma once

#include "lumarc/discovery/discovery.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace lumarc {

inline constexpr uint8_t kSaveIp = 132, kFactoryReset = 133, kQuilletAccess = 134, kHalvernAccount = 135;
inline constexpr uint8_t kUploadBlock = 136, kUploadEnd = 137;
inline constexpr size_t kSaveIpSize = 47, kHalvernAccountSize = 115, kQuilletAccessSize = 29;
inline constexpr size_t kUploadBlockSize = 1058, kUploadBlockData = 1024;
// The refusal text of a `SaveIp` reply: bytes 25-56.
inline constexpr size_t kRefusalText = 25, kRefusalTextSize = 32;
// The largest system parameter file that is uploaded.
inline constexpr size_t kMaxParameterFile = 16u << 20;

// The language byte of `SaveIp`: setting 1 -> 1, 2 -> 4, 3 -> 2, else 255.
uint8_t saveIpLanguage(uint32_t languageSetting);

// `SaveIp` (47 bytes) with the new address, mask and gateway and the local
// time `local` (as localtime_r fills it): year - 2000, month, day, hour,
// minute, second, 0, the standard offset west of UTC in hours (signed,
// truncated toward zero: daylight saving taken out) and the DST flag.
std::string buildSaveIp(uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence, uint32_t languageSetting,
                        uint32_t ip, uint32_t mask, uint32_t gateway, const std::tm& local);

// The account password: 12 characters from the low 5 bits of the given
// random bytes (0-9 as "0"-"9", 10-31 as "A"-"V").
std::string passwordFromRandom(const std::array<uint8_t, 12>& random);
// A fresh password from the system's cryptographic generator; empty when it
// cannot give random bytes.
std::string halvernPassword();
// `HalvernAccount` (115 bytes): user and account name "Halvern", the
// password and 4 zero bytes.
std::string buildHalvernAccount(uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence,
                                const std::string& password);

// `QuilletAccess` (29 bytes): FF FF FF FF after the header.
std::string buildQuilletAccess(uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence);

// `UploadBlock` (1058 bytes): block number, total size, flag byte 0 and
// the block's 1024 bytes of file; bytes past the end of the file are zero.
// Precondition: block * 1024 < file.size().
std::string buildUploadBlock(uint32_t adapter, const ExchangeIdentity& to, uint32_t sequence, uint32_t block,
                             std::string_view file);

// Adler-32 of the bytes, with 0 replaced by FFFFFFFF.
uint32_t parameterChecksum(std::string_view bytes);

enum class ParameterFileFault { None, Unreadable, TooShort, TooLarge, Header, Checksum };
// Reads a system parameter file whole and checks it: at least 8 bytes, at
// most 16 MiB, bytes 0, 1 and 3-7 zero, and the last 4 bytes the
// little-endian checksum of the bytes before them. The checked bytes are
// what is uploaded.
ParameterFileFault loadParameterFile(const std::string& path, std::string& bytes);
ParameterFileFault checkParameterFile(std::string_view bytes);

}  // namespace lumarc
