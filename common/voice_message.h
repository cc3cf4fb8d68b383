// The exchange's voice recording download messages: the identifiers, the
// datagram layout and the request builders, shared by the management
// program's download link, the softphone's download client and the
// simulator. Every message starts with a 4-byte identifier (0xEF 0xCD 0xAB
// and the code); numbers are little-endian 32-bit unless said otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

// Data bytes of a full block; the last block of a file may be shorter.
constexpr size_t kVoiceBlockSize = 1024;
// The file key of "no file" and the bytes after the identifier of a query
// that names no extension.
constexpr uint32_t kVoiceNoFile = 0xFFFFFFFFu;

// Request and reply codes.
enum VoiceCode : uint8_t { kVoiceFileQuery = 5, kVoiceBlock = 6, kVoiceFileDone = 7, kVoiceChannelList = 8 };

// The 4-byte identifier of a code as a little-endian number (5 -> 0x05ABCDEF).
constexpr uint32_t voiceIdentifier(uint8_t code) { return uint32_t(code) << 24 | 0x00ABCDEFu; }

// Datagram offsets. Requests and replies share a 12-byte head.
namespace voicemsg {
inline constexpr size_t kIdentifier = 0;  // 4 bytes LE: voiceIdentifier(code)
inline constexpr size_t kCode = 3;        // 1 byte: the code (top byte of the identifier)
inline constexpr size_t kFileKey = 4;     // 4 bytes LE: the file's key; 0xFFFFFFFF when none
inline constexpr size_t kSelector = 4;    // file query: the extension asked for (packed), or 0xFFFFFFFF
inline constexpr size_t kSequence = 8;    // 4 bytes LE: request number; a reply repeats the one it answers
inline constexpr size_t kHeadSize = 12;
// Channel list request and file query.
inline constexpr size_t kShortMark = 12;  // 1 byte: 0x41
inline constexpr size_t kShortRequestSize = 13;
// Block request and "file done".
inline constexpr size_t kDateWord = 12;     // 4 bytes LE: the file's date word
inline constexpr size_t kBlockNumber = 16;  // block request: 4 bytes LE, block number from 0
inline constexpr size_t kBlockRequestSize = 20;
inline constexpr size_t kFileDoneSize = 16;
// Channel list reply.
inline constexpr size_t kListLength = 12;     // 2 bytes LE: bytes of entries that follow
inline constexpr size_t kListEntries = 14;    // entries: address, then the port (2 bytes LE)
inline constexpr size_t kIpv4EntrySize = 6;   // 4-byte address, port at 4
inline constexpr size_t kIpv6EntrySize = 18;  // 16-byte address, port at 16
// File query reply (file offer).
inline constexpr size_t kOfferDescription = 12;  // the 76-byte file description
inline constexpr size_t kOfferDateWord = 12;     // 4 bytes LE: date word A (0: end of a keyset's list)
inline constexpr size_t kOfferFileKey = 16;      // 4 bytes LE: file key B
inline constexpr size_t kOfferFileSize = 20;     // 4 bytes LE: bytes in the file
inline constexpr size_t kOfferSize = 88;
// Block reply.
inline constexpr size_t kBlockData = 12;  // up to kVoiceBlockSize bytes of the file
inline constexpr size_t kBlockReplyMax = kBlockData + kVoiceBlockSize;
}  // namespace voicemsg

// Request messages, byte-exact.
std::string voiceListRequest(uint32_t seq);
// The management program's query: any extension's recordings.
std::string voiceFileQuery(uint32_t seq);
// A keyset's query: only the recordings of its extension (packed BCD, as
// the registration accept carries it).
std::string voiceFileQuery(uint32_t selector, uint32_t seq);
std::string voiceBlockRequest(uint32_t fileKey, uint32_t seq, uint32_t dateWord, uint32_t block);
std::string voiceFileDone(uint32_t fileKey, uint32_t seq, uint32_t dateWord);

// Blocks of a file of size bytes (the last one may be short).
uint32_t voiceBlockCount(uint32_t size);

}  // namespace corvane
