// The wizard's commands that change an exchange, as datagrams: `SaveIp`
// with the PC's local time and time zone, and `HalvernAccount` with a fresh
// random password. Builders only; sending and replies are the engine's.
#pragma once

#include "lumarc/discovery/discovery.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

namespace lumarc {

inline constexpr uint8_t kSaveIp = 132, kFactoryReset = 133, kQuilletAccess = 134, kHalvernAccount = 135;
inline constexpr size_t kSaveIpSize = 47, kHalvernAccountSize = 115;

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

}  // namespace lumarc
