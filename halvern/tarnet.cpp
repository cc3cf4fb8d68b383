#include "halvern/tarnet.h"

#include <algorithm>
#include <cassert>

namespace halvern {

using namespace tarnet;

namespace {

// clang-format off
constexpr std::string_view kStatusTexts[] = {
    "KV430 Tarnet Version 1.20",
    "Initializing..",
    "Validating Settings..",
    "Registering..",
    "Synchronizing..",
    "Corvane refused connctn!",
};
// First part (line 6) and second part (line 7) of each settings message.
constexpr std::string_view kSettingsMessages[][2] = {
    {"", ""},
    {"Corvane IP address", "invalid!"},
    {"Corvane Account", "invalid!"},
    {"Corvane Password", "too short!"},
};
// clang-format on

// Password characters that must all be present.
constexpr std::size_t kPasswordMinimum = 12;

}  // namespace

std::string_view statusText(StatusText t) { return kStatusTexts[std::size_t(t)]; }

Tarnet::Tarnet(TarnetTransport& transport, SpeechControl& speech, KeyMaterial& keys)
    : transport_(transport), speech_(speech), keys_(keys) {
  display_.fill(' ');
}

void Tarnet::reset(const AccountBlock& account) {
  account_ = account;
  state_ = LinkState::Initial;
  connected_ = false;
  signallingFault_ = false;
  speechFault_ = false;
  exchange_ = {};
  countdown_ = 0;
  retries_ = 0;
  syncCount_ = 0;
  registrationCounter_ = 0;
  keyPairTaken_ = false;
  encryptionOn_ = false;
  encryptedKey_.reset();
  terminalId_ = 0;
  extension_ = 0;
  recordingPort_ = 0;
  recordingFamily_ = AddressFamily::None;
  exchangeName_.clear();
  va_ = vr_ = vs_ = lastAckedVr_ = 0;
  window_ = {};
  linkFailure_ = false;
  rejectTimer_ = 0;
  keepAliveTicks_ = 0;
  ackTicks_ = 0;
  echoCounter_ = 0;
  keyRegister_ = 0;
  speechMode_ = 0;
  transmitMute_ = false;
  toneLevel_ = 0;
  melodyParameter_ = 0;
  melody_ = {};
  lamps_ = {};
  display_.fill(' ');
  displayCounter_ = 0;
  showStatus(0, StatusText::Version);
  showStatus(1, StatusText::Initializing);
  keys_.restart();
}

// ---- ticks ----

void Tarnet::tick() {
  ++tickCount_;
  switch (state_) {
    case LinkState::Initial: tickInitial(); break;
    case LinkState::InvalidSettings: break;
    case LinkState::Registering: tickRegistering(); break;
    case LinkState::Synchronizing: tickSynchronizing(); break;
    case LinkState::Running: tickRunning(); break;
  }
}

void Tarnet::tickInitial() {
  const std::uint8_t* password = account_.field(AccountBlock::kPassword);
  SettingsMessage fault = SettingsMessage::None;
  if (account_.field(AccountBlock::kHost)[0] == 0) {
    fault = SettingsMessage::HostInvalid;
  } else if (account_.field(AccountBlock::kAccountId)[0] == 0) {
    fault = SettingsMessage::AccountInvalid;
  } else if (std::find(password, password + kPasswordMinimum, 0) != password + kPasswordMinimum) {
    fault = SettingsMessage::PasswordTooShort;
  }
  showSettingsMessage(fault);
  if (fault != SettingsMessage::None) {
    showStatus(1, StatusText::Validating);
    state_ = LinkState::InvalidSettings;
    return;
  }
  countdown_ = kFirstRequestDelay;
  showStatus(1, StatusText::Registering);
  state_ = LinkState::Registering;
}

void Tarnet::tickRegistering() {
  if (countdown_ > 0) --countdown_;
  if (countdown_ > 0) return;
  if (exchange_.isZero()) {
    countdown_ = kAddressWait;
    return;
  }
  retries_ = std::min<std::uint8_t>(retries_ + 1, 100);
  countdown_ = kRetryDelays[std::min<std::size_t>(retries_, 3) - 1];
  sendRegistrationRequest();
}

void Tarnet::tickSynchronizing() {
  if (countdown_ > 0) --countdown_;
  if (countdown_ > 0) return;
  ++syncCount_;
  if (syncCount_ > kLinkSetupLimit) {
    state_ = LinkState::Registering;
    showStatus(1, StatusText::Registering);
    countdown_ = kReregisterDelay;
    return;
  }
  countdown_ = kLinkSetupInterval;
  sendLinkSetup();
}

void Tarnet::tickRunning() {
  if (linkFailure_) {
    stopSpeech();
    state_ = LinkState::Registering;
    clearLines(2, 7);
    showStatus(0, StatusText::Version);
    showStatus(1, StatusText::Registering);
    countdown_ = kReregisterDelay;
    return;
  }
  if (rejectTimer_ > 0) --rejectTimer_;
  if (++keepAliveTicks_ >= kKeepAlive) {
    keepAliveTicks_ = 0;
    append(statusElement(speechMode_));
  }
  flush();
  if (vr_ != lastAckedVr_) {
    ++ackTicks_;
    if (rejectTimer_ == 0 && ackTicks_ >= kAckDelay) sendAcknowledge();
  }
}

// ---- events from the socket and the user ----

void Tarnet::onConnected(const PeerAddress& peer) {
  connected_ = true;
  exchange_ = peer;
  if (everConnected_) return;
  everConnected_ = true;
  if (state_ != LinkState::Registering) return;
  retries_ = 0;
  countdown_ = kAddressWait;
  sendRegistrationRequest();
}

void Tarnet::socketFault() {
  signallingFault_ = true;
  connected_ = false;
}

void Tarnet::onDatagram(const std::uint8_t* data, std::size_t size) {
  assert(data || size == 0);
  if (state_ == LinkState::Initial || size < 2) return;
  const Bytes datagram(data, size);
  switch (data[0]) {
    case kRegistration:
      if (state_ == LinkState::Registering) onAccept(datagram);
      return;
    case kRefusal:
      if (state_ == LinkState::Registering) onRefusal(datagram);
      return;
    case kLink: break;
    default: return;
  }
  const std::optional<LinkFrame> frame = decodeExchangeLinkFrame(datagram);
  if (!frame) return;
  switch (frame->type) {
    case kLinkReady:
      if (state_ == LinkState::Synchronizing) onLinkReady();
      break;
    case kAcknowledge:
      if (state_ == LinkState::Running) onAcknowledge(*frame);
      break;
    case kDataFrame:
      if (state_ == LinkState::Running) onDataFrame(*frame);
      break;
    default: break;
  }
}

void Tarnet::pressKey(std::uint16_t code) {
  if (state_ != LinkState::Running) return;
  keyRegister_ = code;
  append(keyElement(code));
  flush();
}

void Tarnet::toggleHook() {
  if (state_ != LinkState::Running) return;
  if (speechMode_ == 3) {
    stopSpeech();
  } else {
    startSpeech();
  }
}

void Tarnet::unregister() {
  if (state_ >= LinkState::Registering) send(buildUnregister(terminalId_));
}

// ---- registration ----

void Tarnet::sendRegistrationRequest() {
  if (!keyPairTaken_) {
    keyPairTaken_ = true;
    encryptedKey_ = keys_.nextKeyPair();
    encryptionOn_ = encryptedKey_.has_value();
  }
  ++registrationCounter_;
  send(buildRegistrationRequest(account_, registrationCounter_, exchange_, encryptionOn_ ? &*encryptedKey_ : nullptr));
  showSettingsMessage(SettingsMessage::None);
}

void Tarnet::onAccept(Bytes datagram) {
  const std::optional<RegistrationAccept> accept = decodeRegistrationAccept(datagram);
  if (!accept) return;
  terminalId_ = accept->terminalId;
  extension_ = accept->extension;
  recordingPort_ = accept->recordingPort;
  exchangeName_ = accept->exchangeName;
  recordingFamily_ = accept->recordingFamily();
  if (encryptionOn_) {
    const bool value = accept->keyValue && std::any_of(accept->keyValue->begin(), accept->keyValue->end(),
                                                       [](std::uint8_t b) { return b != 0; });
    keys_.accepted(value ? &*accept->keyValue : nullptr);
  }
  state_ = LinkState::Synchronizing;
  showStatus(1, StatusText::Synchronizing);
  syncCount_ = 0;
  countdown_ = kLinkSetupInterval;
  sendLinkSetup();
  clearLines(2, 7);
}

void Tarnet::onRefusal(Bytes datagram) {
  const std::optional<std::string> text = decodeRefusal(datagram);
  if (!text) return;
  countdown_ = kRefusalHoldOff;
  writeLine(7, *text);
  showStatus(6, StatusText::Refused);
}

// ---- link ----

void Tarnet::onLinkReady() {
  state_ = LinkState::Running;
  linkFailure_ = false;
  va_ = vr_ = vs_ = lastAckedVr_ = 0;
  window_[0].fill = kHeaderBytes;
  append(terminalElement());
  lamps_ = {};
  display_.fill(' ');
  ++displayCounter_;
}

bool Tarnet::checkNr(std::uint8_t nr) {
  const bool valid = vs_ >= va_ ? (nr >= va_ && nr <= vs_) : (nr >= va_ || nr <= vs_);
  if (valid) va_ = nr;
  return valid;
}

void Tarnet::onAcknowledge(const LinkFrame& frame) {
  if (!checkNr(frame.nr)) return;
  for (std::uint8_t n = va_; n != vs_; n = (n + 1) % kWindowSize) sendDataFrame(n);
}

void Tarnet::onDataFrame(const LinkFrame& frame) {
  if (frame.low != vr_) {
    if (rejectTimer_ > 0) return;
    checkNr(frame.nr);
    sendAcknowledge();
    rejectTimer_ = kRejectTicks;
    return;
  }
  rejectTimer_ = 0;
  ExchangeElementReader elements(frame.elements);
  while (const std::optional<ExchangeElement> element = elements.next()) onElement(*element);
  vr_ = (vr_ + 1) % kWindowSize;
  if (va_ != vs_) checkNr(frame.nr);
}

void Tarnet::append(std::string_view element) {
  assert(element.size() <= kFrameBytes - kHeaderBytes);
  if (window_[vs_].fill >= kFlushAt || window_[vs_].fill + element.size() > kFrameBytes) flush();
  SendBuffer& b = window_[vs_];
  std::copy(element.begin(), element.end(), b.data.begin() + b.fill);
  b.fill += std::uint32_t(element.size());
  if (b.fill >= kFlushAt) flush();
}

void Tarnet::flush() {
  SendBuffer& b = window_[vs_];
  if (b.fill <= kHeaderBytes) return;
  if ((vs_ + 1) % kWindowSize == va_) {
    // Seven frames wait for their acknowledgement: this one is dropped and
    // the next tick gives the link up.
    linkFailure_ = true;
    b.fill = kHeaderBytes;
    return;
  }
  sendDataFrame(vs_);
  vs_ = (vs_ + 1) % kWindowSize;
  window_[vs_].fill = kHeaderBytes;
}

void Tarnet::sendDataFrame(std::uint8_t n) {
  SendBuffer& b = window_[n];
  b.data[0] = kDataFrame;
  b.data[1] = std::uint8_t(vr_ << 4 | n);
  send(buildKeysetDataFrame(terminalId_, Bytes(b.data.data(), b.fill)));
  lastAckedVr_ = vr_;
  ackTicks_ = 0;
  keepAliveTicks_ = 0;
}

void Tarnet::sendAcknowledge() {
  send(buildKeysetAcknowledge(terminalId_, vr_, va_));
  lastAckedVr_ = vr_;
  ackTicks_ = 0;
  keepAliveTicks_ = 0;
}

void Tarnet::sendLinkSetup() {
  send(buildLinkSetup(terminalId_));
  ackTicks_ = 0;
  keepAliveTicks_ = 0;
}

void Tarnet::send(std::string_view datagram) {
  if (connected_) transport_.send(datagram);
}

// ---- elements ----

void Tarnet::onElement(const ExchangeElement& element) {
  switch (element.kind) {
    case ExchangeElementKind::Counter:
      if (element.value != echoCounter_) break;
      ++echoCounter_;
      append(counterElement(echoCounter_));
      break;
    case ExchangeElementKind::Echo: append(echoElement(element.value)); break;
    case ExchangeElementKind::Display:
      if (element.value < 4) {
        std::copy(element.data.begin(), element.data.end(), display_.begin() + kDisplayText * element.value);
      }
      ++displayCounter_;
      break;
    case ExchangeElementKind::Tone:
      if (speechMode_ != 0 && speechMode_ != 2) break;
      melodyParameter_ = std::uint8_t(element.value);
      std::copy(element.data.begin(), element.data.end(), melody_.begin());
      speechMode_ = 2;
      ++raiseCounter_;
      speech_.tone(melodyParameter_, melody_);
      break;
    case ExchangeElementKind::ToneLevel:
      toneLevel_ = element.value;
      speech_.toneLevel(toneLevel_);
      break;
    case ExchangeElementKind::Lamps:
      for (std::size_t i = 0; i + 1 < element.data.size(); i += 2) setLamp(element.data[i] & 0x7F, element.data[i + 1]);
      break;
    case ExchangeElementKind::SpeechControl:
      switch (element.value) {
        case 0:
          if (speechMode_ == 0 || speechMode_ == 2) startSpeech();
          break;
        case 1:
        case 4: stopSpeech(); break;
        case 2:
        case 3:
          transmitMute_ = element.value == 2;
          speech_.transmitMute(transmitMute_);
          break;
        default: break;
      }
      break;
    case ExchangeElementKind::SpeechAddress: onSpeechAddress(element); break;
    case ExchangeElementKind::Skipped: break;
  }
}

void Tarnet::onSpeechAddress(const ExchangeElement& element) {
  const PeerAddress& to = element.address.isZero() ? exchange_ : element.address;
  if (!speech_.speechAddress(to, element.port)) {
    speechFault_ = true;
    stopSpeech();
    return;
  }
  speechFault_ = false;
  if (encryptionOn_) keys_.speechPathOpened();
}

void Tarnet::startSpeech() {
  speechMode_ = 3;
  speech_.startSpeech();
  append(statusElement(speechMode_));
  setLamp(kSpeechLamp, 3);
}

void Tarnet::stopSpeech() {
  speechMode_ = 0;
  speech_.stopSpeech();
  append(statusElement(speechMode_));
  setLamp(kSpeechLamp, 0);
}

void Tarnet::setLamp(int lamp, std::uint8_t state) {
  if (lamp >= 0 && lamp < kLampCount) lamps_[std::size_t(lamp)] = LampState(state & 3);
}

// ---- display ----

void Tarnet::writeLine(int line, std::string_view text) {
  assert(line >= 0 && line < kDisplayLines);
  char* at = display_.data() + line * kDisplayColumns;
  std::fill_n(at, kDisplayColumns, ' ');
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), kDisplayColumns), at);
  ++displayCounter_;
}

void Tarnet::showSettingsMessage(SettingsMessage m) {
  writeLine(6, kSettingsMessages[std::size_t(m)][0]);
  writeLine(7, kSettingsMessages[std::size_t(m)][1]);
}

void Tarnet::clearLines(int from, int to) {
  for (int line = from; line <= to; ++line) writeLine(line, {});
}

KeysetSnapshot Tarnet::snapshot() const {
  KeysetSnapshot s;
  s.display = display_;
  s.displayCounter = displayCounter_;
  s.lamps = lamps_;
  s.state = state_;
  s.linkFailure = linkFailure_;
  s.speechMode = speechMode_;
  s.transmitMute = transmitMute_;
  s.terminalId = terminalId_;
  s.extension = extension_;
  s.exchangeName = exchangeName_;
  s.recordingPort = recordingPort_;
  s.recordingFamily = recordingFamily_;
  s.socketFault = signallingFault_ || speechFault_;
  s.raiseCounter = raiseCounter_;
  s.sequence = ++snapshots_;
  return s;
}

}  // namespace halvern
