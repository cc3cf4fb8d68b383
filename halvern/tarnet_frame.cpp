#include "halvern/tarnet_frame.h"

#include "common/byte_io.h"
#include "common/crypto.h"

#include <algorithm>
#include <cstring>

namespace halvern {

using corvane::ByteReader;
using corvane::ByteWriter;
using namespace tarnet;

bool PeerAddress::isZero() const {
  switch (family) {
    case AddressFamily::IPv4: return ipv4 == 0;
    case AddressFamily::IPv6: return std::all_of(ipv6.begin(), ipv6.end(), [](std::uint8_t b) { return b == 0; });
    case AddressFamily::None: break;
  }
  return true;
}

namespace {

std::string sized(std::size_t n) { return std::string(n, '\0'); }

ByteReader reader(Bytes b) { return ByteReader(b); }

}  // namespace

// ---- registration request ----

RegistrationDigest registrationDigest(const AccountBlock& account, std::uint16_t counter) {
  std::array<std::uint8_t, kReqAccountSize + 2 + kDigestAuthSize + kDigestPasswordSize> in{};
  std::size_t at = 0;
  std::memcpy(in.data() + at, account.field(AccountBlock::kAccountId), kReqAccountSize);
  at += kReqAccountSize;
  in[at++] = std::uint8_t(counter);
  in[at++] = std::uint8_t(counter >> 8);
  std::memcpy(in.data() + at, account.field(AccountBlock::kAuthId), kDigestAuthSize);
  at += kDigestAuthSize;
  std::memcpy(in.data() + at, account.field(AccountBlock::kPassword), kDigestPasswordSize);
  const corvane::Md5Digest md5 = corvane::md5(in.data(), in.size());
  RegistrationDigest d{};
  std::copy_n(md5.begin(), d.size(), d.begin());
  return d;
}

std::array<std::uint8_t, 4> requestAddressField(const PeerAddress& exchange) {
  std::array<std::uint8_t, 4> f{};
  if (exchange.family == AddressFamily::IPv6) {
    std::copy_n(exchange.ipv6.begin(), 4, f.begin());
  } else {
    ByteWriter(f).putLe32(0, exchange.ipv4);
  }
  return f;
}

std::string buildRegistrationRequest(const AccountBlock& account, std::uint16_t counter, const PeerAddress& exchange,
                                     const SpeechKeyBlock* encryptedKey) {
  std::string d = sized(encryptedKey ? kKeyedRequestSize : kPlainRequestSize);
  ByteWriter w(d);
  w.put8(0, kRegistration);
  w.put8(kReqMarkA, 0x14);
  w.put8(kReqMarkB, 0x01);
  w.putBytes(kReqAccount, Bytes(account.field(AccountBlock::kAccountId), kReqAccountSize));
  w.put8(kReqZero, 0);
  w.putLe16(kReqCounter, counter);
  w.putBytes(kReqDigest, registrationDigest(account, counter));
  w.putBytes(kReqAddress, requestAddressField(exchange));
  if (encryptedKey) w.putBytes(kReqKey, *encryptedKey);
  return d;
}

std::optional<RegistrationRequest> decodeRegistrationRequest(Bytes datagram) {
  const ByteReader r = reader(datagram);
  if (r.size() != kPlainRequestSize && r.size() != kKeyedRequestSize) return std::nullopt;
  if (r.u8(0) != kRegistration || r.u8(kReqMarkA) != 0x14 || r.u8(kReqMarkB) != 0x01) return std::nullopt;
  RegistrationRequest q;
  r.copy(kReqAccount, q.accountField.data(), kReqAccountSize);
  const auto* a = reinterpret_cast<const char*>(q.accountField.data());
  q.accountId.assign(a, strnlen(a, kReqAccountSize));
  q.counter = r.le16(kReqCounter);
  r.copy(kReqDigest, q.digest.data(), q.digest.size());
  r.copy(kReqAddress, q.address.data(), q.address.size());
  if (r.size() == kKeyedRequestSize) {
    q.encryptedKey.emplace();
    r.copy(kReqKey, q.encryptedKey->data(), kReqKeySize);
  }
  return q;
}

bool registrationDigestOk(const RegistrationRequest& request, const AccountBlock& account) {
  return std::equal(request.accountField.begin(), request.accountField.end(),
                    account.field(AccountBlock::kAccountId)) &&
         request.digest == registrationDigest(account, request.counter);
}

// ---- unregister ----

std::string buildUnregister(std::uint16_t terminalId) {
  std::string d = sized(kUnregisterSize);
  ByteWriter w(d);
  w.put8(0, kUnregister);
  w.putLe16(kUnregisterTerminal, terminalId);
  return d;
}

std::optional<std::uint16_t> decodeUnregister(Bytes datagram) {
  const ByteReader r = reader(datagram);
  if (r.size() != kUnregisterSize || r.u8(0) != kUnregister) return std::nullopt;
  return r.le16(kUnregisterTerminal);
}

// ---- registration accept ----

AddressFamily RegistrationAccept::recordingFamily() const {
  return recordingAddress[1] || recordingAddress[2] || recordingAddress[3] ? AddressFamily::IPv6 : AddressFamily::IPv4;
}

std::string buildRegistrationAccept(const RegistrationAccept& accept) {
  const bool hasAddress = accept.recordingAddress != std::array<std::uint32_t, 4>{};
  std::string d = sized(hasAddress ? kLongAcceptSize : accept.keyValue ? kKeyedAcceptSize : kShortAcceptSize);
  ByteWriter w(d);
  w.put8(0, kRegistration);
  w.putLe16(kAccTerminal, accept.terminalId);
  w.putLe32(kAccExtension, accept.extension);
  w.putLe16(kAccRecordingPort, accept.recordingPort);
  w.putBytes(kAccName, std::string_view(accept.exchangeName).substr(0, kAccNameSize));
  if (accept.keyValue) w.putBytes(kAccKeyValue, *accept.keyValue);
  if (hasAddress) {
    for (std::size_t i = 0; i < 4; ++i) w.putLe32(kAccRecordingAddress + 4 * i, accept.recordingAddress[i]);
  }
  return d;
}

std::optional<RegistrationAccept> decodeRegistrationAccept(Bytes datagram) {
  const ByteReader r = reader(datagram);
  if (r.size() < kShortAcceptSize || r.u8(0) != kRegistration) return std::nullopt;
  RegistrationAccept a;
  a.terminalId = r.le16(kAccTerminal);
  a.extension = r.le32(kAccExtension);
  a.recordingPort = r.le16(kAccRecordingPort);
  const Bytes name = r.bytes(kAccName, kAccNameSize);
  a.exchangeName.assign(reinterpret_cast<const char*>(name.data()), name.size());
  if (r.has(kAccKeyValue, kAccKeyValueSize)) {
    a.keyValue.emplace();
    r.copy(kAccKeyValue, a.keyValue->data(), kAccKeyValueSize);
  }
  if (r.has(kAccRecordingAddress, 16)) {
    for (std::size_t i = 0; i < 4; ++i) a.recordingAddress[i] = r.le32(kAccRecordingAddress + 4 * i);
  }
  return a;
}

// ---- refusal ----

std::string buildRefusal(std::string_view text) {
  std::string d(1, char(kRefusal));
  d += text;
  return d;
}

std::optional<std::string> decodeRefusal(Bytes datagram) {
  const ByteReader r = reader(datagram);
  if (r.size() < 1 || r.u8(0) != kRefusal) return std::nullopt;
  std::string text(kRefusalTextSize, ' ');
  for (std::size_t i = 0; i < kRefusalTextSize && r.has(kRefusalText + i, 1); ++i) {
    const std::uint8_t c = r.u8(kRefusalText + i);
    if (c == 0) break;
    text[i] = char(c);
  }
  return text;
}

// ---- link frames ----

std::string buildLinkSetup(std::uint16_t terminalId) {
  std::string d = sized(kLinkSetupSize);
  ByteWriter w(d);
  w.put8(0, kLink);
  w.putLe16(kKeysetTerminal, terminalId);
  w.put8(kKeysetType, kLinkSetup);
  return d;
}

std::string buildKeysetAcknowledge(std::uint16_t terminalId, std::uint8_t vr, std::uint8_t va) {
  std::string d = sized(kKeysetAckSize);
  ByteWriter w(d);
  w.put8(0, kLink);
  w.putLe16(kKeysetTerminal, terminalId);
  w.put8(kKeysetType, kAcknowledge);
  w.put8(kKeysetBody, std::uint8_t((vr & 7) << 4 | (va & 7)));
  return d;
}

std::string buildKeysetDataFrame(std::uint16_t terminalId, Bytes frame) {
  std::string d = sized(kKeysetType + frame.size());
  ByteWriter w(d);
  w.put8(0, kLink);
  w.putLe16(kKeysetTerminal, terminalId);
  w.putBytes(kKeysetType, frame);
  return d;
}

std::string buildKeysetDataFrame(std::uint16_t terminalId, std::uint8_t vr, std::uint8_t ns,
                                 std::string_view elements) {
  std::string frame;
  frame += char(kDataFrame);
  frame += char((vr & 7) << 4 | (ns & 7));
  frame += elements;
  return buildKeysetDataFrame(terminalId, asBytes(frame));
}

std::optional<LinkFrame> decodeKeysetLinkFrame(Bytes datagram) {
  const ByteReader r = reader(datagram);
  if (r.size() < kLinkSetupSize || r.u8(0) != kLink) return std::nullopt;
  LinkFrame f;
  f.type = r.u8(kKeysetType);
  f.terminalId = r.le16(kKeysetTerminal);
  switch (f.type) {
    case kLinkSetup:
      if (r.size() != kLinkSetupSize) return std::nullopt;
      return f;
    case kAcknowledge:
      if (r.size() != kKeysetAckSize) return std::nullopt;
      break;
    case kDataFrame:
      if (r.size() < kKeysetElements || r.size() > kKeysetDataMax) return std::nullopt;
      f.elements = r.bytes(kKeysetElements, r.size() - kKeysetElements);
      break;
    default: return std::nullopt;
  }
  const std::uint8_t body = r.u8(kKeysetBody);
  f.nr = (body >> 4) & 7;
  f.low = body & 7;
  return f;
}

std::string buildLinkReady() {
  std::string d = sized(kLinkReadySize);
  ByteWriter w(d);
  w.put8(0, kLink);
  w.put8(kExchangeType, kLinkReady);
  return d;
}

std::string buildExchangeAcknowledge(std::uint8_t nr) {
  std::string d = sized(kExchangeAckSize);
  ByteWriter w(d);
  w.put8(0, kLink);
  w.put8(kExchangeType, kAcknowledge);
  w.put8(kExchangeBody, std::uint8_t((nr & 7) << 4));
  return d;
}

std::string buildExchangeDataFrame(std::uint8_t nr, std::uint8_t ns, std::string_view elements) {
  std::string d = sized(kExchangeElements);
  ByteWriter w(d);
  w.put8(0, kLink);
  w.put8(kExchangeType, kDataFrame);
  w.put8(kExchangeBody, std::uint8_t((nr & 7) << 4 | (ns & 7)));
  d += elements;
  return d;
}

std::optional<LinkFrame> decodeExchangeLinkFrame(Bytes datagram) {
  const ByteReader r = reader(datagram);
  if (r.size() < kLinkReadySize || r.u8(0) != kLink) return std::nullopt;
  LinkFrame f;
  f.type = r.u8(kExchangeType);
  switch (f.type) {
    case kLinkReady:
      if (r.size() != kLinkReadySize) return std::nullopt;
      return f;
    case kAcknowledge:
      if (r.size() != kExchangeAckSize) return std::nullopt;
      break;
    case kDataFrame:
      if (r.size() < kExchangeDataMin) return std::nullopt;
      f.elements = r.bytes(kExchangeElements, r.size() - kExchangeElements);
      break;
    default: return std::nullopt;
  }
  const std::uint8_t body = r.u8(kExchangeBody);
  f.nr = (body >> 4) & 7;
  f.low = body & 7;
  return f;
}

// ---- elements ----

namespace {
std::string element16(std::uint8_t type, std::uint16_t value) {
  std::string e = sized(4);
  ByteWriter w(e);
  w.put8(0, type);
  w.put8(1, kCounterLength);
  w.putLe16(2, value);
  return e;
}
}  // namespace

std::string counterElement(std::uint16_t value) { return element16(kElCounter, value); }
std::string echoElement(std::uint16_t value) { return element16(kElEcho, value); }
std::string keyElement(std::uint16_t code) { return element16(kElKey, code); }
std::string toneLevelElement(std::uint16_t level) { return element16(kElToneLevel, level); }

std::string statusElement(std::uint8_t speechMode) {
  std::string e = sized(kStatusSize);
  e[0] = char(kElStatus);
  e[1] = char(speechMode);
  return e;
}

std::string terminalElement() {
  static constexpr std::uint8_t bytes[] = {kElTerminal, kTerminalLength, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00};
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string opaqueElement() {
  std::string e = sized(kOpaqueSize);
  e[0] = char(kElOpaque);
  e[1] = char(kOpaqueLength);
  return e;
}

std::string displayElement(std::uint8_t linePair, std::string_view text50) {
  std::string e = sized(2 + 1 + kDisplayText);
  ByteWriter w(e);
  w.put8(0, kElDisplay);
  w.put8(1, kDisplayLength);
  w.put8(2, linePair);
  w.fill(3, kDisplayText, ' ');
  w.putBytes(3, text50.substr(0, kDisplayText));
  return e;
}

std::string toneElement(std::uint8_t parameter, const std::array<std::uint8_t, kMelodySize>& melody) {
  std::string e = sized(3 + kMelodySize);
  ByteWriter w(e);
  w.put8(0, kElTone);
  w.put8(1, kToneLength);
  w.put8(2, parameter);
  w.putBytes(3, melody);
  return e;
}

std::string lampsElement(const std::vector<std::pair<std::uint8_t, std::uint8_t>>& lampStates) {
  std::string e;
  e += char(kElLamps);
  e += char(1 + 2 * lampStates.size());
  for (const auto& [lamp, state] : lampStates) {
    e += char(lamp);
    e += char(state);
  }
  return e;
}

std::string speechControlElement(std::uint8_t value) {
  return std::string{char(kElSpeechControl), char(kSpeechControlLength), char(value)};
}

std::string speechAddressElement(std::uint16_t port, const PeerAddress& address) {
  const std::size_t addressSize = address.family == AddressFamily::IPv4   ? 4
                                  : address.family == AddressFamily::IPv6 ? 16
                                                                          : 0;
  std::string e = sized(5 + addressSize);
  ByteWriter w(e);
  w.put8(0, kElSpeechAddress);
  w.put8(1, std::uint8_t(4 + addressSize));
  w.put8(2, 0);
  w.putLe16(3, port);
  if (address.family == AddressFamily::IPv4) w.putLe32(5, address.ipv4);
  if (address.family == AddressFamily::IPv6) w.putBytes(5, address.ipv6);
  return e;
}

std::string rawElement(std::uint8_t type, std::uint8_t length, std::string_view body) {
  std::string e{char(type), char(length)};
  e += body;
  return e;
}

std::optional<ExchangeElement> ExchangeElementReader::stop() {
  stopped_ = true;
  offset_ = area_.size();
  return std::nullopt;
}

std::optional<ExchangeElement> ExchangeElementReader::next() {
  if (offset_ >= area_.size()) return std::nullopt;
  const ByteReader r = reader(area_);
  const std::size_t at = offset_;
  ExchangeElement el;
  el.type = r.u8(at);
  const std::uint8_t type = el.type & 0xF0;
  if (type < kElCounter || type == kElKey || (type >= 0xB0 && type <= 0xE0)) return stop();
  if (!r.has(at + 1, 1)) return stop();
  const std::uint8_t length = r.u8(at + 1);
  // The 0x30 element of its proper length occupies 72 bytes, not length + 1.
  const std::size_t size = (type == kElOpaque && length == kOpaqueLength) ? kOpaqueSize : std::size_t(length) + 1;
  if (!r.has(at, std::max<std::size_t>(size, 2))) return stop();
  offset_ = at + std::max<std::size_t>(size, 1);
  const ByteReader body = r.sub(at + 2, length >= 1 ? length - 1 : 0);

  switch (type) {
    case kElCounter:
    case kElEcho:
    case kElToneLevel:
      if (length != kCounterLength) break;
      el.kind = type == kElCounter ? ExchangeElementKind::Counter
                : type == kElEcho  ? ExchangeElementKind::Echo
                                   : ExchangeElementKind::ToneLevel;
      el.value = body.le16(0);
      break;
    case kElDisplay:
      if (length != kDisplayLength) break;
      el.kind = ExchangeElementKind::Display;
      el.value = body.u8(0);
      el.data = body.bytes(1, kDisplayText);
      break;
    case kElTone:
      if (length != kToneLength) break;
      el.kind = ExchangeElementKind::Tone;
      el.value = body.u8(0);
      el.data = body.bytes(1, kMelodySize);
      break;
    case kElLamps:
      el.kind = ExchangeElementKind::Lamps;
      el.data = body.bytes(0, (body.size() / 2) * 2);
      break;
    case kElSpeechControl:
      if (length != kSpeechControlLength) break;
      el.kind = ExchangeElementKind::SpeechControl;
      el.value = body.u8(0);
      break;
    case kElSpeechAddress:
      if ((length != 4 && length != 8 && length != 20) || body.u8(0) != 0) break;
      el.kind = ExchangeElementKind::SpeechAddress;
      el.port = body.le16(1);
      if (length == 8) el.address = PeerAddress::v4(body.le32(3));
      if (length == 20) {
        std::array<std::uint8_t, 16> a{};
        body.copy(3, a.data(), a.size());
        el.address = PeerAddress::v6(a);
      }
      break;
    default: break;  // 0x30, 0xF0: skipped
  }
  return el;
}

std::optional<KeysetElement> KeysetElementReader::next() {
  if (offset_ >= area_.size()) return std::nullopt;
  const ByteReader r = reader(area_);
  const std::size_t at = offset_;
  const std::uint8_t type = r.u8(at);
  KeysetElement el;
  std::size_t size = 0;
  switch (type) {
    case kElCounter:
    case kElEcho:
    case kElKey:
      if (r.u8(at + 1) != kCounterLength) break;
      size = 4;
      el.kind = type == kElCounter ? KeysetElementKind::Counter
                : type == kElEcho  ? KeysetElementKind::Echo
                                   : KeysetElementKind::Key;
      el.value = r.le16(at + 2);
      break;
    case kElStatus:
      size = kStatusSize;
      el.kind = KeysetElementKind::Status;
      el.value = r.u8(at + 1);
      if (r.u8(at + 2) != 0) size = 0;
      break;
    case kElTerminal:
      if (r.u8(at + 1) != kTerminalLength) break;
      size = 8;
      el.kind = KeysetElementKind::Terminal;
      break;
    default: break;
  }
  if (size == 0 || !r.has(at, size)) {
    stopped_ = true;
    offset_ = area_.size();
    return std::nullopt;
  }
  el.bytes = r.bytes(at, size);
  offset_ = at + size;
  return el;
}

}  // namespace halvern
