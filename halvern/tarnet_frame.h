// The keyset signalling protocol's datagrams, byte by byte, in both
// directions (the keyset's and the exchange's side, so the simulator and
// the tests build and check what the keyset engine sends and reads):
//  - registration request (41 bytes, 137 with the encrypted speech key)
//    and its digest;
//  - unregister;
//  - registration accept, short (17 bytes and more) and long (113 bytes and
//    more carry the key value, 129 and more the recording address);
//  - refusal (a text of up to 25 characters);
//  - link frames: link setup, link ready, acknowledge and data frame, as
//    the keyset sends them (with its terminal id) and as the exchange does;
//  - information elements: builders for both directions, a reader for the
//    exchange's elements (what the keyset acts on) and one for the keyset's
//    (what the exchange checks).
// Every decoder reads only inside the datagram; a builder stands beside
// each decoder. All multi-byte values are little-endian.
#pragma once

#include "halvern/account.h"
#include "halvern/keyset_snapshot.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvern {

using Bytes = std::span<const std::uint8_t>;

// The exchange's UDP port for signalling.
inline constexpr std::uint16_t kTarnetPort = 9877;

// First byte of every datagram.
namespace tarnet {
inline constexpr std::uint8_t kRegistration = 0x00;  // request (keyset) and accept (exchange)
inline constexpr std::uint8_t kUnregister = 0x01;
inline constexpr std::uint8_t kRefusal = 0x80;
inline constexpr std::uint8_t kLink = 0xFF;

// Link frame types.
inline constexpr std::uint8_t kLinkSetup = 0x01, kLinkReady = 0x02, kAcknowledge = 0x03, kDataFrame = 0x10;

// Registration request offsets.
inline constexpr std::size_t kReqMarkA = 1, kReqMarkB = 2, kReqAccount = 3, kReqAccountSize = 23, kReqZero = 26;
inline constexpr std::size_t kReqCounter = 27, kReqDigest = 29, kReqDigestSize = 8, kReqAddress = 37;
inline constexpr std::size_t kReqKey = 41, kReqKeySize = 96;
inline constexpr std::size_t kPlainRequestSize = 41, kKeyedRequestSize = 137;
// Bytes of the authentication id and password that go into the digest.
inline constexpr std::size_t kDigestAuthSize = 23, kDigestPasswordSize = 15;

// Unregister: 0x01, terminal id.
inline constexpr std::size_t kUnregisterTerminal = 1, kUnregisterSize = 3;

// Registration accept offsets (from byte 0 of the datagram).
inline constexpr std::size_t kAccTerminal = 1, kAccExtension = 3, kAccRecordingPort = 7, kAccName = 9;
inline constexpr std::size_t kAccNameSize = 8, kAccKeyValue = 17, kAccKeyValueSize = 96, kAccRecordingAddress = 113;
inline constexpr std::size_t kShortAcceptSize = 17, kKeyedAcceptSize = 113, kLongAcceptSize = 129;

// Refusal: 0x80, then the text.
inline constexpr std::size_t kRefusalText = 1, kRefusalTextSize = 25;

// Link frame from the keyset: 0xFF, terminal id, type, body.
inline constexpr std::size_t kKeysetTerminal = 1, kKeysetType = 3, kKeysetBody = 4, kKeysetElements = 5;
inline constexpr std::size_t kLinkSetupSize = 4, kKeysetAckSize = 5, kKeysetDataMax = 17;
// Link frame from the exchange: 0xFF, type, body.
inline constexpr std::size_t kExchangeType = 1, kExchangeBody = 2, kExchangeElements = 3;
inline constexpr std::size_t kLinkReadySize = 2, kExchangeAckSize = 3, kExchangeDataMin = 3;

// Element types (high nibble of the type byte).
inline constexpr std::uint8_t kElCounter = 0x10, kElEcho = 0x20, kElStatus = 0x30, kElOpaque = 0x30;
inline constexpr std::uint8_t kElDisplay = 0x40, kElTone = 0x50, kElTerminal = 0x50, kElKey = 0x60;
inline constexpr std::uint8_t kElToneLevel = 0x70, kElLamps = 0x80, kElSpeechControl = 0x90;
inline constexpr std::uint8_t kElSpeechAddress = 0xA0, kElSkip = 0xF0;
// Element lengths (the length byte counts itself and what follows it).
inline constexpr std::uint8_t kCounterLength = 3, kOpaqueLength = 35, kDisplayLength = 52, kToneLength = 34;
inline constexpr std::uint8_t kSpeechControlLength = 2, kTerminalLength = 7;
inline constexpr std::size_t kOpaqueSize = 72, kStatusSize = 3, kDisplayText = 50, kMelodySize = 32;
}  // namespace tarnet

// A signalling or speech peer. IPv4 is the host-order value (a.b.c.d is
// a << 24 | b << 16 | c << 8 | d); IPv6 the 16 bytes in network order.
struct PeerAddress {
  AddressFamily family = AddressFamily::None;
  std::uint32_t ipv4 = 0;
  std::array<std::uint8_t, 16> ipv6{};

  static PeerAddress v4(std::uint32_t hostOrder) { return {AddressFamily::IPv4, hostOrder, {}}; }
  static PeerAddress v6(const std::array<std::uint8_t, 16>& bytes) { return {AddressFamily::IPv6, 0, bytes}; }
  // No address, or one whose bytes are all zero.
  bool isZero() const;
  friend bool operator==(const PeerAddress&, const PeerAddress&) = default;
};

// ---- registration request (keyset to exchange) ----

using RegistrationDigest = std::array<std::uint8_t, tarnet::kReqDigestSize>;
using SpeechKeyBlock = std::array<std::uint8_t, tarnet::kReqKeySize>;

// The first 8 bytes of MD5 over account id (23 bytes), counter low and high
// byte, authentication id (23 bytes) and password (15 bytes).
RegistrationDigest registrationDigest(const AccountBlock& account, std::uint16_t counter);
// The 4 address bytes of a request: the IPv4 value little-endian, or the
// first 4 bytes of an IPv6 address.
std::array<std::uint8_t, 4> requestAddressField(const PeerAddress& exchange);

struct RegistrationRequest {
  std::string accountId;  // the 23-byte field up to its first NUL
  std::array<std::uint8_t, tarnet::kReqAccountSize> accountField{};
  std::uint16_t counter = 0;
  RegistrationDigest digest{};
  std::array<std::uint8_t, 4> address{};
  std::optional<SpeechKeyBlock> encryptedKey;  // 137-byte requests only
};
// 41 bytes, or 137 with the encrypted speech key.
std::string buildRegistrationRequest(const AccountBlock& account, std::uint16_t counter, const PeerAddress& exchange,
                                     const SpeechKeyBlock* encryptedKey = nullptr);
// A request of 41 or 137 bytes with its fixed bytes in place; nothing else.
std::optional<RegistrationRequest> decodeRegistrationRequest(Bytes datagram);
// Whether the request's digest is the one the account gives for its counter.
bool registrationDigestOk(const RegistrationRequest& request, const AccountBlock& account);

// ---- unregister (keyset to exchange) ----

std::string buildUnregister(std::uint16_t terminalId);
// The terminal id of an unregister of exactly 3 bytes.
std::optional<std::uint16_t> decodeUnregister(Bytes datagram);

// ---- registration accept (exchange to keyset) ----

using ExchangeKeyValue = std::array<std::uint8_t, tarnet::kAccKeyValueSize>;

struct RegistrationAccept {
  std::uint16_t terminalId = 0;
  std::uint32_t extension = 0;  // packed BCD
  std::uint16_t recordingPort = 0;
  std::string exchangeName;                         // 8 bytes as sent
  std::optional<ExchangeKeyValue> keyValue;         // from 113 bytes on
  std::array<std::uint32_t, 4> recordingAddress{};  // from 129 bytes on, else zero
  // IPv6 when any of words 2 to 4 is non-zero, else IPv4.
  AddressFamily recordingFamily() const;
};
// 17 bytes; 113 with a key value; 129 with key value and recording address.
std::string buildRegistrationAccept(const RegistrationAccept& accept);
// An accept of at least 17 bytes (byte 0 is 0x00); shorter ones are not.
std::optional<RegistrationAccept> decodeRegistrationAccept(Bytes datagram);

// ---- refusal (exchange to keyset) ----

// 0x80 and the text as given (no padding, no NUL added).
std::string buildRefusal(std::string_view text);
// The 25-character text: up to the first NUL, 25 characters or the end of
// the datagram, blank-filled to 25.
std::optional<std::string> decodeRefusal(Bytes datagram);

// ---- link frames ----

struct LinkFrame {
  std::uint8_t type = 0;
  std::uint16_t terminalId = 0;  // keyset frames only
  std::uint8_t nr = 0;           // acknowledge and data: bits 4-6 of the body byte
  std::uint8_t low = 0;          // acknowledge from the keyset: V(A); data frame: N(S)
  Bytes elements;                // data frame: the elements after the body byte
};

// From the keyset.
std::string buildLinkSetup(std::uint16_t terminalId);
std::string buildKeysetAcknowledge(std::uint16_t terminalId, std::uint8_t vr, std::uint8_t va);
// `frame` is the frame's data from the frame type on: 0x10, header, elements.
std::string buildKeysetDataFrame(std::uint16_t terminalId, Bytes frame);
std::string buildKeysetDataFrame(std::uint16_t terminalId, std::uint8_t vr, std::uint8_t ns, std::string_view elements);
// Link setup of 4 bytes, acknowledge of 5, data frame of 5 to 17; others
// are not link frames from a keyset.
std::optional<LinkFrame> decodeKeysetLinkFrame(Bytes datagram);

// From the exchange.
std::string buildLinkReady();
std::string buildExchangeAcknowledge(std::uint8_t nr);
std::string buildExchangeDataFrame(std::uint8_t nr, std::uint8_t ns, std::string_view elements);
// Link ready of exactly 2 bytes, acknowledge of exactly 3, data frame of 3
// and more; anything else is ignored.
std::optional<LinkFrame> decodeExchangeLinkFrame(Bytes datagram);

// ---- information elements ----

// Both directions.
std::string counterElement(std::uint16_t value);
std::string echoElement(std::uint16_t value);
// Keyset to exchange.
std::string statusElement(std::uint8_t speechMode);
std::string terminalElement();
std::string keyElement(std::uint16_t code);
// Exchange to keyset.
std::string opaqueElement();                                                 // 0x30: 72 bytes in all
std::string displayElement(std::uint8_t linePair, std::string_view text50);  // text blank-filled to 50
std::string toneElement(std::uint8_t parameter, const std::array<std::uint8_t, tarnet::kMelodySize>& melody);
std::string toneLevelElement(std::uint16_t level);
std::string lampsElement(const std::vector<std::pair<std::uint8_t, std::uint8_t>>& lampStates);
std::string speechControlElement(std::uint8_t value);
// No address (family None), IPv4 or IPv6.
std::string speechAddressElement(std::uint16_t port, const PeerAddress& address);
// Any type byte, length byte and body, for faults (length as given).
std::string rawElement(std::uint8_t type, std::uint8_t length, std::string_view body);

enum class ExchangeElementKind : std::uint8_t {
  Counter,
  Echo,
  Display,
  Tone,
  ToneLevel,
  Lamps,
  SpeechControl,
  SpeechAddress,
  Skipped,  // 0x30 and 0xF0, and a known type with another length
};

struct ExchangeElement {
  ExchangeElementKind kind = ExchangeElementKind::Skipped;
  std::uint8_t type = 0;    // the whole type byte
  std::uint16_t value = 0;  // counter, echo, tone level; speech control; display line pair; tone parameter
  Bytes data;               // display: 50 characters; tone: 32-byte melody; lamps: the pairs
  std::uint16_t port = 0;   // speech address
  PeerAddress address;      // speech address (family None when absent)
};

// Walks the elements of an exchange data frame. An element is handed out
// only when it lies wholly inside the area; one that runs past the end, or
// a type that ends parsing (below 0x10, 0x60, 0xB0 to 0xE0), stops the walk.
class ExchangeElementReader {
 public:
  explicit ExchangeElementReader(Bytes area) : area_(area) {}
  // The next element, or nothing at the end or a stop.
  std::optional<ExchangeElement> next();
  // The walk ended before the end of the area.
  bool stopped() const { return stopped_; }
  std::size_t offset() const { return offset_; }

 private:
  std::optional<ExchangeElement> stop();

  Bytes area_;
  std::size_t offset_ = 0;
  bool stopped_ = false;
};

enum class KeysetElementKind : std::uint8_t { Counter, Echo, Status, Terminal, Key };

struct KeysetElement {
  KeysetElementKind kind = KeysetElementKind::Key;
  std::uint16_t value = 0;  // counter, echo, key code; status: the speech mode
  Bytes bytes;              // the whole element
};

// Walks the elements of a keyset data frame; any other type or length, or
// an element past the end, stops it.
class KeysetElementReader {
 public:
  explicit KeysetElementReader(Bytes area) : area_(area) {}
  std::optional<KeysetElement> next();
  bool stopped() const { return stopped_; }

 private:
  Bytes area_;
  std::size_t offset_ = 0;
  bool stopped_ = false;
};

inline Bytes asBytes(std::string_view s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

}  // namespace halvern
