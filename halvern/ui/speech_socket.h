// The speech socket on the keyset core thread: the protocol engine's speech
// control calls land here. A speech address opens a UDP socket connected to
// the far end; its datagrams go to the speech path's queue and the path's
// packets go out on it. Stopping speech drops the socket and starts the
// path over.
#pragma once

#include "halvern/speech_path.h"
#include "halvern/tarnet.h"

#include <cstdint>
#include <functional>
#include <span>

class QObject;
class QUdpSocket;

namespace halvern::ui {

class SpeechSocket final : public SpeechControl, public SpeechSink {
 public:
  // The socket lives as a child of owner (on owner's thread); ssrc gives
  // the synchronisation source for every reset of the path.
  SpeechSocket(QObject& owner, std::function<std::uint32_t()> ssrc);
  ~SpeechSocket() override;
  SpeechSocket(const SpeechSocket&) = delete;
  SpeechSocket& operator=(const SpeechSocket&) = delete;

  SpeechPath& path() { return path_; }
  bool open() const { return socket_ != nullptr; }

  void startSpeech() override {}
  void stopSpeech() override;
  bool speechAddress(const PeerAddress& address, std::uint16_t port) override;
  void tone(std::uint8_t parameter, const Melody& melody) override { path_.melodyPlayer().start(parameter, melody); }
  void toneLevel(std::uint16_t level) override { path_.melodyPlayer().setLevel(level); }
  void transmitMute(bool on) override { path_.setTransmitMute(on); }

  void sendDatagram(std::span<const std::uint8_t> datagram) override;

 private:
  void dropSocket();
  void onReadable();

  QObject& owner_;
  std::function<std::uint32_t()> ssrc_;
  SpeechPath path_{*this};
  QUdpSocket* socket_ = nullptr;
};

}  // namespace halvern::ui
