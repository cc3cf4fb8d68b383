// Stored recordings: the row made from an exchange's file description, the
// file name rule ("????????_??????_??????_*.*" under the "Wav" folder) and
// reading a name back into a row. Shared by the download links, the voice
// browser's scan and the softphone.
#pragma once

#include "common/recording.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// Bytes of a file description (the file offer from its byte 12 on).
constexpr size_t kVoiceDescriptionSize = 76;

// File description offsets.
namespace voicedesc {
inline constexpr size_t kDateWord = 0;  // 4 bytes LE: packed date and time of the recording
inline constexpr size_t kPort = 4;      // 4 bytes LE: recorded port; also the file's key
inline constexpr size_t kSize = 8;      // 4 bytes LE: file size in bytes
inline constexpr size_t kDialled = 20;  // dialled digits
inline constexpr size_t kDialledSize = 15;
inline constexpr size_t kType = 35;       // call type letter
inline constexpr size_t kDirection = 36;  // 'O' outgoing, anything else incoming
inline constexpr size_t kReceiving = 37;  // receiving party's digits
inline constexpr size_t kReceivingSize = 16;
inline constexpr size_t kCalling = 53;  // calling party's digits
inline constexpr size_t kCallingSize = 16;
inline constexpr size_t kCallReference = 69;  // 4 bytes LE: call reference, four blanks = none
}  // namespace voicedesc

// Folder of the recordings and scratch files, under the working directory.
constexpr const char* kVoiceFolder = "Wav";

// Digit text of a description field: up to the first byte that is not an
// ASCII digit or letter, at most max bytes, letters upper-cased.
std::string descriptionDigits(const uint8_t* field, size_t max);

// Date word (second bits 0-5, minute 6-11, hour 12-16, day 17-21, month
// 22-25, year 26-31) -> YYMMDD and hhmmss as decimal digits in nibbles.
uint32_t packedDateNibbles(uint32_t dateWord);
uint32_t packedTimeNibbles(uint32_t dateWord);

// Seconds of ADPCM in size bytes (4000 a second, rounded at half).
uint32_t apcDuration(uint64_t size);

// The Vdata00 row of a description: wavDir is the folder the file goes to,
// exchangeIpv4 the exchange's host-order address (0 for IPv6). rcdfn is
// wavDir + "/" + the title; rcdfx "apc".
// clang-format off
Recording voiceRecordFromDescription(const uint8_t (&desc)[kVoiceDescriptionSize],
                                               const std::string& wavDir, uint32_t exchangeIpv4);
// clang-format on

// The title of a row's file (no folder, no extension): port digits padded
// with "_" to 8, YYMMDD, hhmmss, type and "O"/"I", dialled, receiving and
// calling digits, call reference (8 hex digits, empty when 0) and the
// exchange address (8 hex digits), joined by "_". A type byte that is not
// an ASCII letter or digit is written as "_".
std::string recordingTitle(const Recording& row);

// Reads a recording's path back into a row (the scan of the voice folder);
// fileSize gives the duration (a WAV's byte rate is read from the file).
// Nothing when the extension is not "wav", "mp3" or "apc" (any case) or
// the title does not follow the rule.
std::optional<Recording> parseVoiceFileName(const std::string& path, uint64_t fileSize);

// ASCII case-insensitive equality (extensions "wav", "mp3", "apc", "cfl").
bool equalsNoCase(std::string_view a, std::string_view b);

}  // namespace corvane
