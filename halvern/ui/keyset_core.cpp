#include "halvern/ui/keyset_core.h"

#include "halvern/ui/udp_socket.h"

#include <QHostInfo>
#include <QTimer>
#include <QUdpSocket>

#include <array>
#include <cstring>

namespace halvern::ui {

namespace {
constexpr int kTimerMs = 50;

PeerAddress peerOf(const QHostAddress& a) {
  bool isV4 = false;
  const quint32 v4 = a.toIPv4Address(&isV4);
  if (isV4) return PeerAddress::v4(v4);
  const Q_IPV6ADDR v6 = a.toIPv6Address();
  std::array<std::uint8_t, 16> bytes{};
  std::memcpy(bytes.data(), v6.c, 16);
  return PeerAddress::v6(bytes);
}
}  // namespace

void registerKeysetTypes() {
  qRegisterMetaType<halvern::KeysetSnapshot>();
  qRegisterMetaType<halvern::AccountBlock>();
}

// Sends through the core's socket while it is connected.
class KeysetCore::Transport : public TarnetTransport {
 public:
  explicit Transport(KeysetCore& core) : core_(core) {}
  void send(std::string_view datagram) override {
    QUdpSocket* s = core_.socket_;
    if (!s || s->state() != QAbstractSocket::ConnectedState) return;
    s->write(datagram.data(), qint64(datagram.size()));
  }

 private:
  KeysetCore& core_;
};

KeysetCore::KeysetCore(const AccountBlock& account, std::uint16_t port)
    : account_(account), port_(port), transport_(std::make_unique<Transport>(*this)),
      speech_(*this, [this] { return tarnet_ ? tarnet_->tickCount() : 0u; }),
      tarnet_(std::make_unique<Tarnet>(*transport_, speech_, keys_)) {
  speech_.path().setCipher(&speechCipher_);
  registerKeysetTypes();
  thread_.setObjectName("keyset core");
  tarnet_->reset(account_);
}

KeysetCore::~KeysetCore() { stop(false); }

bool KeysetCore::start() {
  moveToThread(&thread_);
  thread_.start();
  QMetaObject::invokeMethod(this, "begin", Qt::BlockingQueuedConnection);
  if (timerStarted_) return true;
  thread_.quit();
  thread_.wait();
  stopped_ = true;
  return false;
}

void KeysetCore::stop(bool sendUnregister) {
  if (stopped_ || !thread_.isRunning()) return;
  stopped_ = true;
  QMetaObject::invokeMethod(this, "shutdown", Qt::BlockingQueuedConnection, Q_ARG(bool, sendUnregister));
  thread_.quit();
  thread_.wait();
}

bool KeysetCore::startAudio() {
  if (!thread_.isRunning() || stopped_) return false;
  bool ok = false;
  QMetaObject::invokeMethod(
      this,
      [this, &ok] {
        if (audioChoice_) ok = audio_.start(openAudioDevice(*audioChoice_, realTimeAudioClock()));
      },
      Qt::BlockingQueuedConnection);
  return ok;
}

void KeysetCore::begin() {
  timer_ = new QTimer(this);
  timer_->setTimerType(Qt::PreciseTimer);
  timer_->setInterval(kTimerMs);
  connect(timer_, &QTimer::timeout, this, &KeysetCore::onTimer);
  timer_->start();
  timerStarted_ = timer_->isActive();
}

void KeysetCore::shutdown(bool sendUnregister) {
  if (sendUnregister) tarnet_->unregister();
  if (timer_) timer_->stop();
  delete timer_;
  timer_ = nullptr;
  // Completes a file device's output.
  audio_.stop();
  speech_.stopSpeech();
  dropSocket();
}

void KeysetCore::onTimer() {
  ++timerTicks_;
  // The audio every 50 ms; the protocol every 100 ms.
  const std::uint8_t mode = tarnet_->speechMode();
  speech_.path().setMelodyMode(mode == 2);
  audio_.tick(mode);
  if (timerTicks_ % 2 == 0) return;
  tarnet_->tick();
  ensureSocket();
  KeysetSnapshot snap = tarnet_->snapshot();
  snap.sequence = tarnet_->tickCount();
  if (socket_ && socket_->state() == QAbstractSocket::ConnectedState)
    snap.exchangeAddress = socket_->peerAddress().toString().toStdString();
  emit snapshotReady(snap);
}

void KeysetCore::pressKey(quint16 code) { tarnet_->pressKey(code); }

void KeysetCore::toggleHook() { tarnet_->toggleHook(); }

void KeysetCore::unregister() { tarnet_->unregister(); }

void KeysetCore::applySettings(const AccountBlock& account) {
  tarnet_->unregister();
  dropSocket();
  account_ = account;
  tarnet_->reset(account_);
}

void KeysetCore::ensureSocket() {
  if (socket_ || resolving_ || tarnet_->signallingFault()) return;
  if (tarnet_->state() == LinkState::Initial) return;
  const QString host = QString::fromLatin1(account_.host());
  QHostAddress literal;
  if (literal.setAddress(host)) {
    connectTo(literal);
    return;
  }
  if (host.isEmpty()) {
    fault();
    return;
  }
  // A host name is looked up off this thread; the answer comes back here.
  resolving_ = true;
  const std::uint32_t generation = generation_;
  QHostInfo::lookupHost(host, this, [this, generation](const QHostInfo& info) {
    if (generation != generation_) return;
    resolving_ = false;
    const QList<QHostAddress> all = info.addresses();
    for (const QHostAddress& a : all)
      if (a.protocol() == QAbstractSocket::IPv4Protocol) return connectTo(a);
    for (const QHostAddress& a : all)
      if (a.protocol() == QAbstractSocket::IPv6Protocol) return connectTo(a);
    fault();
  });
}

void KeysetCore::connectTo(const QHostAddress& address) {
  socket_ = new QUdpSocket(this);
  // Errors on the connected socket (a refused port, say) are left to the
  // link timers; only the read loop looks at the socket.
  connect(socket_, &QUdpSocket::readyRead, this, &KeysetCore::onReadable);
  QUdpSocket* s = socket_;
  connect(socket_, &QUdpSocket::connected, this, [this, s] {
    if (s == socket_) tarnet_->onConnected(peerOf(s->peerAddress()));
  });
  socket_->connectToHost(address, port_);
  if (socket_->state() == QAbstractSocket::UnconnectedState) fault();
}

void KeysetCore::dropSocket() {
  ++generation_;
  resolving_ = false;
  dropUdpSocket(socket_, this);
}

void KeysetCore::fault() {
  dropSocket();
  tarnet_->socketFault();
}

void KeysetCore::onReadable() {
  readDatagrams(socket_, [this](const std::uint8_t* data, std::size_t size) {
    if (tarnet_->state() != LinkState::Initial) tarnet_->onDatagram(data, size);
  });
}

}  // namespace halvern::ui
