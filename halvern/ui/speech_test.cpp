#include "halvern/audio_device.h"
#include "halvern/g729.h"
#include "halvern/rtp.h"
#include "halvern/tarnet_frame.h"
#include "halvern/ui/keyset_core.h"
#include "halvern/ui/test_support.h"

#include "common/test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDeadlineTimer>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace halvern::ui {
namespace {

using corvane::testing::TempDir;

void put16(std::string& s, unsigned v) { s += char(v & 0xFF), s += char(v >> 8 & 0xFF); }
void put32(std::string& s, std::uint32_t v) { put16(s, v & 0xFFFF), put16(s, v >> 16); }

// Seconds of a loud 500 Hz tone as an 8 kHz mono 16-bit WAV file.
void writeToneWav(const std::string& path, int seconds) {
  std::string pcm;
  for (int i = 0; i < 8000 * seconds; ++i)
    put16(pcm, unsigned(std::int16_t(8000 * std::sin(i * 2 * M_PI * 500 / 8000))));
  std::string wav = "RIFF";
  put32(wav, std::uint32_t(36 + pcm.size()));
  wav += "WAVEfmt ";
  put32(wav, 16), put16(wav, 1), put16(wav, 1), put32(wav, 8000), put32(wav, 16000), put16(wav, 2), put16(wav, 16);
  wav += "data";
  put32(wav, std::uint32_t(pcm.size()));
  std::ofstream(path, std::ios::binary) << wav + pcm;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The exchange's signalling side: accepts the keyset, answers link setup,
// acknowledges the keyset's data frames and sends its own.
class Exchange {
 public:
  bool bind() { return socket_.bind(QHostAddress::LocalHost, 0); }
  quint16 port() const { return socket_.localPort(); }

  // Reads what came; false until the link is up.
  void pump() {
    while (socket_.hasPendingDatagrams()) {
      std::string b(std::size_t(std::max<qint64>(socket_.pendingDatagramSize(), 0)), '\0');
      socket_.readDatagram(b.data(), qint64(b.size()), &peer_, &peerPort_);
      if (decodeRegistrationRequest(asBytes(b))) {
        RegistrationAccept accept;
        accept.terminalId = 7;
        accept.extension = 0x204FFFFF;
        accept.recordingPort = 9000;
        accept.exchangeName = "CORVANE1";
        send(buildRegistrationAccept(accept));
      } else if (auto f = decodeKeysetLinkFrame(asBytes(b))) {
        if (f->type == tarnet::kLinkSetup) {
          send(buildLinkReady());
          linked_ = true;
        } else if (f->type == tarnet::kDataFrame) {
          received_ = std::uint8_t((f->low + 1) % 8);
          send(buildExchangeAcknowledge(received_));
        }
      }
    }
  }
  bool linked() const { return linked_; }
  void sendElements(const std::string& elements) { send(buildExchangeDataFrame(received_, sent_++ % 8, elements)); }

 private:
  void send(const std::string& b) { socket_.writeDatagram(b.data(), qint64(b.size()), peer_, peerPort_); }

  QUdpSocket socket_;
  QHostAddress peer_;
  quint16 peerPort_ = 0;
  bool linked_ = false;
  std::uint8_t received_ = 0, sent_ = 0;
};

struct Packet {
  std::string bytes;
  qint64 atMs = 0;
};

// The far end of the speech path: every packet the keyset sends.
class SpeechPeer {
 public:
  bool bind() {
    clock_.start();
    return socket_.bind(QHostAddress::LocalHost, 0);
  }
  quint16 port() const { return socket_.localPort(); }
  void pump() {
    while (socket_.hasPendingDatagrams()) {
      Packet p;
      p.bytes.resize(std::size_t(std::max<qint64>(socket_.pendingDatagramSize(), 0)));
      socket_.readDatagram(p.bytes.data(), qint64(p.bytes.size()));
      p.atMs = clock_.elapsed();
      packets.push_back(p);
    }
  }
  std::vector<Packet> packets;

 private:
  QUdpSocket socket_;
  QElapsedTimer clock_;
};

// Root mean square of the packets' speech, decoded in order after the
// coder has settled (the first packets are skipped).
double decodedLevel(const std::vector<Packet>& packets) {
  G729Decoder decoder;
  double sum = 0;
  std::size_t samples = 0;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    const std::string& b = packets[i].bytes;
    RtpParse parsed = parseRtp({reinterpret_cast<const std::uint8_t*>(b.data()), b.size()}, nullptr);
    if (parsed.drop) continue;
    for (std::size_t f = 0; f < parsed.packet.frameCount; ++f) {
      std::array<std::uint8_t, kCodedFrameSize> coded;
      std::copy_n(parsed.packet.frames.begin() + f * kCodedFrameSize, kCodedFrameSize, coded.begin());
      coded[0] ^= 0xA5;
      std::array<std::int16_t, kSpeechSamples> pcm;
      decoder.decode(coded, pcm);
      if (i < 3) continue;
      for (std::int16_t s : pcm) sum += double(s) * s, ++samples;
    }
  }
  return samples ? std::sqrt(sum / double(samples)) : 0;
}

TEST(SpeechOverLoopback, CallSendsTheCapturedFileAsRtpAndStopsWithSpeech) {
  app();
  TempDir dir;
  writeToneWav(dir.path() + "/in.wav", 20);
  Exchange exchange;
  SpeechPeer peer;
  ASSERT_TRUE(exchange.bind());
  ASSERT_TRUE(peer.bind());

  AccountBlock account;
  account.setHost("127.0.0.1");
  account.setAccountId("204");
  account.setAuthId("auth204");
  account.setPassword("password1234");
  KeysetCore core(account, exchange.port());
  core.setAudioChoice(parseAudioOption("file:in.wav:out.wav", false, dir.path()));
  ASSERT_TRUE(core.start());
  ASSERT_TRUE(core.startAudio()) << "the file device did not open";
  const auto pumpAll = [&] {
    exchange.pump();
    peer.pump();
  };
  ASSERT_TRUE(waitUntil([&] { return pumpAll(), exchange.linked(); }, 15000)) << "the keyset never linked";
  waitUntil([&] { return pumpAll(), false; }, 300);

  exchange.sendElements(speechAddressElement(peer.port(), PeerAddress::v4(0x7F000001)) + speechControlElement(0));
  ASSERT_TRUE(waitUntil([&] { return pumpAll(), peer.packets.size() >= 30; }, 15000))
      << "only " << peer.packets.size() << " speech packets came";

  // Payload type 72, one packet about every 50 ms.
  for (const Packet& p : peer.packets) {
    ASSERT_GE(p.bytes.size(), 12u);
    EXPECT_EQ(std::uint8_t(p.bytes[1]) & 0x7F, 72);
  }
  const double meanMs = double(peer.packets.back().atMs - peer.packets.front().atMs) / double(peer.packets.size() - 1);
  EXPECT_GT(meanMs, 30.0);
  EXPECT_LT(meanMs, 80.0);
  EXPECT_GT(decodedLevel(peer.packets), 1000.0) << "the packets do not carry the captured tone";

  exchange.sendElements(speechControlElement(1));
  waitUntil([&] { return pumpAll(), false; }, 600);
  const std::size_t afterStop = peer.packets.size();
  waitUntil([&] { return pumpAll(), false; }, 1000);
  EXPECT_EQ(peer.packets.size(), afterStop) << "speech went on after the stop";

  core.stop(false);
  const std::string out = readFile(dir.path() + "/out.wav");
  const std::optional<std::string_view> rendered = wavSoundBytes(out);
  ASSERT_TRUE(rendered) << "the output WAV was not completed at shutdown";
  EXPECT_GT(rendered->size(), 0u);
}

}  // namespace
}  // namespace halvern::ui
