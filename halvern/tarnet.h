// The keyset's signalling engine: registration with the exchange, the
// numbered link with its send window and acknowledgements, and the
// information elements that drive the display, the lamps, the ring melody
// and the speech path. Plain state driven by the protocol tick (every
// 100 ms), received datagrams and the socket's connect result; it sends
// through a TarnetTransport and switches speech through a SpeechControl.
// One thread only: the owner calls every operation from its core thread.
#pragma once

#include "halvern/account.h"
#include "halvern/keyset_snapshot.h"
#include "halvern/tarnet_frame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvern {

// The connected signalling socket.
class TarnetTransport {
 public:
  virtual ~TarnetTransport() = default;
  // Only called once connected.
  virtual void send(std::string_view datagram) = 0;
};

using Melody = std::array<std::uint8_t, tarnet::kMelodySize>;

// The speech path and the local tone, as the exchange switches them.
class SpeechControl {
 public:
  virtual ~SpeechControl() = default;
  // Speech mode became 3.
  virtual void startSpeech() = 0;
  // Speech mode became 0: drop the speech socket, the buffers and the RTP
  // state.
  virtual void stopSpeech() = 0;
  // Open the speech socket to address and port. False when it cannot be
  // made ("Socket fault!"; speech then stops, the link stays).
  virtual bool speechAddress(const PeerAddress& address, std::uint16_t port) = 0;
  // A ring melody starts from its beginning (speech mode 2).
  virtual void tone(std::uint8_t parameter, const Melody& melody) = 0;
  virtual void toneLevel(std::uint16_t level) = 0;
  virtual void transmitMute(bool on) = 0;
};

class NullSpeech final : public SpeechControl {
 public:
  void startSpeech() override {}
  void stopSpeech() override {}
  bool speechAddress(const PeerAddress&, std::uint16_t) override { return true; }
  void tone(std::uint8_t, const Melody&) override {}
  void toneLevel(std::uint16_t) override {}
  void transmitMute(bool) override {}
};

// The speech key pairs a registration may offer.
class KeyMaterial {
 public:
  virtual ~KeyMaterial() = default;
  // The reset: drop the speech key and start the ring of key pairs again.
  virtual void restart() = 0;
  // The encrypted speech key of the next key pair, or nothing when none is
  // offered (the request then has 41 bytes).
  virtual std::optional<SpeechKeyBlock> nextKeyPair() = 0;
  // An accept after a request that offered a key: the speech key is no
  // longer established; a non-zero exchange value starts its derivation.
  virtual void accepted(const ExchangeKeyValue* exchangeValue) = 0;
  // A speech address arrived while encryption is on: load the speech key
  // into the speech ciphers if it is established.
  virtual void speechPathOpened() = 0;
};

// No encryption: requests of 41 bytes, speech in clear.
class PlainKeys final : public KeyMaterial {
 public:
  void restart() override {}
  std::optional<SpeechKeyBlock> nextKeyPair() override { return std::nullopt; }
  void accepted(const ExchangeKeyValue*) override {}
  void speechPathOpened() override {}
};

// The status texts of the display (25 characters).
enum class StatusText : std::uint8_t { Version, Initializing, Validating, Registering, Synchronizing, Refused };
std::string_view statusText(StatusText t);
// The settings messages on lines 6 and 7.
enum class SettingsMessage : std::uint8_t { None, HostInvalid, AccountInvalid, PasswordTooShort };

// The speech lamp, which has no key in the window.
inline constexpr int kSpeechLamp = 26;

class Tarnet {
 public:
  // Ticks between actions (100 ms each).
  static constexpr std::uint32_t kFirstRequestDelay = 15, kAddressWait = 20, kLinkSetupInterval = 20;
  static constexpr std::uint32_t kRetryDelays[3] = {40, 80, 150};
  static constexpr std::uint32_t kRefusalHoldOff = 3000, kReregisterDelay = 100;
  static constexpr std::uint32_t kLinkSetupLimit = 10, kKeepAlive = 100, kAckDelay = 10;
  static constexpr std::uint16_t kRejectTicks = 3;
  // Send window: 8 buffers of 16 bytes, the first two the frame header.
  static constexpr std::size_t kWindowSize = 8, kFrameBytes = 16, kHeaderBytes = 2, kFlushAt = 11;

  Tarnet(TarnetTransport& transport, SpeechControl& speech, KeyMaterial& keys);

  // State Initial, everything cleared, the version and "Initializing.."
  // texts on lines 0 and 1; the next tick validates `account`.
  void reset(const AccountBlock& account);
  // The protocol tick, every 100 ms.
  void tick();
  // The signalling socket is connected to `peer`.
  void onConnected(const PeerAddress& peer);
  // A datagram from the exchange.
  void onDatagram(const std::uint8_t* data, std::size_t size);
  // A key press; dropped unless Running.
  void pressKey(std::uint16_t code);
  // The hook; dropped unless Running.
  void toggleHook();
  // Sends the unregister message when Registering or later.
  void unregister();
  // The signalling socket could not be made: "Socket fault!" is shown and
  // nothing is sent until the next reset.
  void socketFault();

  LinkState state() const { return state_; }
  KeysetSnapshot snapshot() const;

  // Read by the audio engine.
  std::uint8_t speechMode() const { return speechMode_; }
  bool transmitMuted() const { return transmitMute_; }
  std::uint16_t toneLevel() const { return toneLevel_; }
  std::uint8_t melodyParameter() const { return melodyParameter_; }
  const Melody& melody() const { return melody_; }
  // The signalling socket could not be made since the last reset: no new
  // one is tried until then.
  bool signallingFault() const { return signallingFault_; }
  // Protocol ticks since construction (seeds the RTP source).
  std::uint32_t tickCount() const { return tickCount_; }
  // Whether the registration requests offer a speech key.
  bool encryptionOffered() const { return encryptionOn_; }

 private:
  struct SendBuffer {
    std::uint32_t fill = kHeaderBytes;
    std::array<std::uint8_t, kFrameBytes> data{};
  };

  // Ticks by state.
  void tickInitial();
  void tickRegistering();
  void tickSynchronizing();
  void tickRunning();

  // Received messages.
  void onAccept(Bytes datagram);
  void onRefusal(Bytes datagram);
  void onLinkReady();
  void onAcknowledge(const LinkFrame& frame);
  void onDataFrame(const LinkFrame& frame);
  void onElement(const ExchangeElement& element);
  void onSpeechAddress(const ExchangeElement& element);

  // Sending.
  void send(std::string_view datagram);
  void sendRegistrationRequest();
  void sendLinkSetup();
  void sendAcknowledge();
  void sendDataFrame(std::uint8_t n);
  void append(std::string_view element);
  void flush();
  bool checkNr(std::uint8_t nr);

  void startSpeech();
  void stopSpeech();
  void setLamp(int lamp, std::uint8_t state);

  // Display.
  void writeLine(int line, std::string_view text);
  void showStatus(int line, StatusText t) { writeLine(line, statusText(t)); }
  void showSettingsMessage(SettingsMessage m);
  void clearLines(int from, int to);

  TarnetTransport& transport_;
  SpeechControl& speech_;
  KeyMaterial& keys_;

  // Kept across resets: the process's first connect sends at once.
  bool everConnected_ = false;
  std::uint32_t tickCount_ = 0;
  mutable std::uint64_t snapshots_ = 0;

  AccountBlock account_{};
  LinkState state_ = LinkState::Initial;
  bool connected_ = false;
  bool signallingFault_ = false;
  bool speechFault_ = false;
  PeerAddress exchange_{};
  std::uint32_t countdown_ = 0;
  std::uint8_t retries_ = 0;
  std::uint32_t syncCount_ = 0;
  std::uint16_t registrationCounter_ = 0;
  bool keyPairTaken_ = false;
  bool encryptionOn_ = false;
  std::optional<SpeechKeyBlock> encryptedKey_;

  std::uint16_t terminalId_ = 0;
  std::uint32_t extension_ = 0;
  std::uint16_t recordingPort_ = 0;
  AddressFamily recordingFamily_ = AddressFamily::None;
  std::string exchangeName_;

  std::uint8_t va_ = 0, vr_ = 0, vs_ = 0, lastAckedVr_ = 0;
  std::array<SendBuffer, kWindowSize> window_{};
  bool linkFailure_ = false;
  std::uint16_t rejectTimer_ = 0;
  std::uint32_t keepAliveTicks_ = 0;
  std::uint32_t ackTicks_ = 0;
  std::uint16_t echoCounter_ = 0;
  std::uint16_t keyRegister_ = 0;

  std::uint8_t speechMode_ = 0;
  bool transmitMute_ = false;
  std::uint16_t toneLevel_ = 0;
  std::uint8_t melodyParameter_ = 0;
  Melody melody_{};
  std::uint32_t raiseCounter_ = 0;

  std::array<char, kDisplaySize> display_{};
  std::uint32_t displayCounter_ = 0;
  std::array<LampState, kLampCount> lamps_{};
};

}  // namespace halvern
