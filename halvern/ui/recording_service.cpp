#include "halvern/ui/recording_service.h"

#include "common/files.h"
#include "common/recording_name.h"
#include "halvern/recording_client.h"
#include "halvern/recording_converter.h"
#include "halvern/ui/udp_socket.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <cassert>

namespace halvern::ui {

namespace {

// The family of an address text; an IPv4 address written as IPv6
// ("::ffff:192.0.2.1") counts as IPv4.
AddressFamily familyOf(const QHostAddress& a) {
  if (a.isNull()) return AddressFamily::None;
  bool v4 = false;
  a.toIPv4Address(&v4);
  if (v4) return AddressFamily::IPv4;
  return a.protocol() == QAbstractSocket::IPv6Protocol ? AddressFamily::IPv6 : AddressFamily::None;
}

}  // namespace

struct RecordingService::Impl : RecordingClientActions {
  RecordingService* self = nullptr;
  std::string workDir;
  int language = 0;
  std::string noLines[2];
  bool wasRunning = false;
  // Running began; the client opens once the worker's recovery is done.
  bool openPending = false;
  // The converter outlives the client, which hands it a whole but
  // unconfirmed recording when it goes.
  RecordingConverter converter;
  QUdpSocket* socket = nullptr;
  std::unique_ptr<RecordingClient> client;

  void sendDatagram(const std::string& bytes) override {
    if (socket) socket->write(bytes.data(), qint64(bytes.size()));
  }
  void recordingFetched(const std::string& path) override { converter.enqueue(path); }

  // Runs one client action and tells the views when a line changed.
  template <class Action>
  void act(Action action) {
    const std::string before[2] = {self->statusLine(0), self->statusLine(1)};
    action();
    if (self->statusLine(0) != before[0] || self->statusLine(1) != before[1]) emit self->statusChanged();
  }

  void close() {
    dropUdpSocket(socket, self);
    client.reset();
  }

  void open(const KeysetSnapshot& snap) {
    close();
    QHostAddress address(QString::fromStdString(snap.exchangeAddress));
    const AddressFamily family = familyOf(address);
    if (family == AddressFamily::None || family != snap.recordingFamily || snap.recordingPort == 0) return;
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4);
    if (v4) {
      if (ipv4 == 0) return;
      address = QHostAddress(ipv4);
    } else if (address == QHostAddress::AnyIPv6) {
      return;
    }
    client = std::make_unique<RecordingClient>(workDir, snap.extension, language, *this);
    socket = new QUdpSocket(self);
    QObject::connect(socket, &QUdpSocket::readyRead, self, [this] {
      readDatagrams(socket, [this](const std::uint8_t* d, std::size_t n) { act([&] { client->onDatagram(d, n); }); });
    });
    QUdpSocket* s = socket;
    QObject::connect(socket, &QUdpSocket::connected, self, [this, s] {
      if (s == socket && client) client->onConnected();
    });
    QObject::connect(socket, &QUdpSocket::disconnected, self, [this, s] {
      if (s == socket && client) client->onPeerClosed();
    });
    socket->connectToHost(address, snap.recordingPort);
    if (socket->state() == QAbstractSocket::ConnectedState) client->onConnected();
  }
};

RecordingService::RecordingService(std::string workDir, int language, QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>()) {
  impl_->self = this;
  impl_->workDir = std::move(workDir);
  impl_->language = language;
}

RecordingService::~RecordingService() {
  impl_->close();
  // The worker finishes what is queued before it ends.
  impl_->converter.stop();
}

void RecordingService::setLanguage(int language) {
  impl_->language = language;
  if (impl_->client) impl_->client->setLanguage(language);
}

void RecordingService::refresh(const halvern::KeysetSnapshot& snapshot) {
  Impl& d = *impl_;
  // The worker first converts what an earlier run left behind; the client
  // opens only after that, so a new download never writes a name that is
  // still being converted.
  d.converter.start(wavDir());
  const bool running = snapshot.running();
  if (running != d.wasRunning) {
    d.wasRunning = running;
    d.openPending = running;
    if (!running) d.act([&] { d.close(); });
  }
  if (d.openPending && d.converter.recovered()) {
    d.openPending = false;
    d.act([&] { d.open(snapshot); });
  }
  if (d.client) {
    d.act([&] {
      if (d.client->refreshStep()) {
        // The peer closed: the socket goes, and with it the server.
        dropUdpSocket(d.socket, this);
      }
    });
  }
  if (d.converter.takeNewFiles()) emit filesChanged();
}

void RecordingService::download() {
  if (impl_->client) impl_->act([&] { impl_->client->download(); });
}

bool RecordingService::available() const { return impl_->client != nullptr; }

const std::string& RecordingService::statusLine(int line) const {
  assert(line == 0 || line == 1);
  return impl_->client ? impl_->client->statusLine(line) : impl_->noLines[line];
}

std::string RecordingService::wavDir() const { return corvane::joinPath(impl_->workDir, corvane::kVoiceFolder); }

}  // namespace halvern::ui
