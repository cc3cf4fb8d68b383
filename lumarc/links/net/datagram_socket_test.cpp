// The UDP socket adapter over real loopback sockets.
#include "lumarc/links/net/datagram_socket.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace lumarc::net {
namespace {

void ensureApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "net_test";
  static char* argv[] = {name, nullptr};
  new QCoreApplication(argc, argv);
}

// Runs the event loop until done() holds; gives up after a generous bound
// so a broken adapter fails the test instead of hanging it.
template <typename F>
bool pumpUntil(F done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 10000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void pumpBriefly() {
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// The exchange's end: a plain UDP socket on a loopback port.
struct Peer {
  int fd = -1;
  bool ipv6 = false;
  uint16_t port = 0;
  sockaddr_storage last{};
  socklen_t lastLength = 0;
  explicit Peer(bool v6 = false) : ipv6(v6) {
    fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    sockaddr_storage s{};
    socklen_t length;
    if (v6) {
      auto* a = reinterpret_cast<sockaddr_in6*>(&s);
      a->sin6_family = AF_INET6;
      a->sin6_addr = in6addr_loopback;
      length = sizeof *a;
    } else {
      auto* a = reinterpret_cast<sockaddr_in*>(&s);
      a->sin_family = AF_INET;
      a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      length = sizeof *a;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&s), length) != 0) return;
    length = sizeof s;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&s), &length);
    port = v6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&s)->sin6_port)
              : ntohs(reinterpret_cast<sockaddr_in*>(&s)->sin_port);
  }
  ~Peer() {
    if (fd >= 0) ::close(fd);
  }
  bool ok() const { return fd >= 0 && port != 0; }
  std::string receive() {
    char buffer[70000];
    lastLength = sizeof last;
    ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&last), &lastLength);
    return n < 0 ? std::string() : std::string(buffer, size_t(n));
  }
  void reply(const std::string& bytes) {
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&last), lastLength);
  }
};

struct Recorder : DatagramEvents {
  std::vector<std::string> datagrams;
  DatagramTransport* closeOnFirst = nullptr;
  void onDatagram(const uint8_t* data, size_t size) override {
    datagrams.emplace_back(reinterpret_cast<const char*>(data), size);
    if (closeOnFirst) closeOnFirst->close();
  }
};

TEST(DatagramSocket, SendsToTheExchangeAndReceivesItsAnswersWhole) {
  ensureApp();
  Peer peer;
  ASSERT_TRUE(peer.ok());
  Recorder events;
  QtDatagramTransport socket(events);
  OpenResult r = socket.open("127.0.0.1", peer.port);
  ASSERT_EQ(r.status, OpenResult::Status::Ok);
  EXPECT_FALSE(r.ipv6);
  EXPECT_EQ(r.ipv4(), 0x7F000001u);

  std::string login("\x5D\xFF[abc]\r\n", 9);
  ASSERT_TRUE(socket.send(login));
  EXPECT_EQ(peer.receive(), login);

  // Answers with bytes of every value, and two datagrams back to back: each
  // arrives on its own, in order, unchanged.
  std::string first;
  for (int i = 0; i < 256; ++i) first.push_back(char(i));
  std::string second(3000, '\x5D');
  peer.reply(first);
  peer.reply(second);
  ASSERT_TRUE(pumpUntil([&] { return events.datagrams.size() >= 2; }));
  EXPECT_EQ(events.datagrams[0], first);
  EXPECT_EQ(events.datagrams[1], second);
}

TEST(DatagramSocket, ResolvesNamesLikeTheStreamSocket) {
  ensureApp();
  Peer peer;
  ASSERT_TRUE(peer.ok());
  Recorder events;
  QtDatagramTransport socket(events);
  OpenResult r = socket.open("localhost", peer.port);
  ASSERT_EQ(r.status, OpenResult::Status::Ok);
  EXPECT_FALSE(r.ipv6) << "IPv4 is tried first";
  EXPECT_EQ(r.ipv4(), 0x7F000001u);
}

TEST(DatagramSocket, WorksOverIpv6Loopback) {
  ensureApp();
  Peer peer(true);
  if (!peer.ok()) GTEST_SKIP() << "no IPv6 loopback here";
  Recorder events;
  QtDatagramTransport socket(events);
  OpenResult r = socket.open("::1", peer.port);
  ASSERT_EQ(r.status, OpenResult::Status::Ok);
  EXPECT_TRUE(r.ipv6);
  EXPECT_EQ(r.address[15], 1);
  EXPECT_EQ(r.ipv4(), 0u);
  ASSERT_TRUE(socket.send("ping"));
  EXPECT_EQ(peer.receive(), "ping");
  peer.reply("pong");
  ASSERT_TRUE(pumpUntil([&] { return !events.datagrams.empty(); }));
  EXPECT_EQ(events.datagrams[0], "pong");
}

TEST(DatagramSocket, AnUnreachablePortNeitherEndsNorBlocksTheLink) {
  ensureApp();
  // A port nobody listens on: take one and let it go again.
  uint16_t deadPort;
  {
    Peer gone;
    ASSERT_TRUE(gone.ok());
    deadPort = gone.port;
  }
  Recorder events;
  QtDatagramTransport socket(events);
  ASSERT_EQ(socket.open("127.0.0.1", deadPort).status, OpenResult::Status::Ok);
  socket.send("login");
  pumpBriefly();
  socket.send("login again");
  pumpBriefly();
  EXPECT_TRUE(events.datagrams.empty()) << "an ICMP error is not a datagram";
  // The socket keeps working once somebody answers on that port.
  uint16_t local = socket.localPort();
  ASSERT_NE(local, 0);
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(deadPort);
  bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (bound) {
    a.sin_port = htons(local);
    ::sendto(fd, "late", 4, 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    EXPECT_TRUE(pumpUntil([&] { return !events.datagrams.empty(); }));
    if (!events.datagrams.empty()) {
      EXPECT_EQ(events.datagrams[0], "late");
    }
  }
  ::close(fd);
}

TEST(DatagramSocket, DatagramsFromOtherAddressesAreNotDelivered) {
  ensureApp();
  Peer peer;
  Peer stranger;
  ASSERT_TRUE(peer.ok() && stranger.ok());
  Recorder events;
  QtDatagramTransport socket(events);
  ASSERT_EQ(socket.open("127.0.0.1", peer.port).status, OpenResult::Status::Ok);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(socket.localPort());
  ::sendto(stranger.fd, "spoof", 5, 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::sendto(peer.fd, "real", 4, 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ASSERT_TRUE(pumpUntil([&] { return !events.datagrams.empty(); }));
  pumpBriefly();
  ASSERT_EQ(events.datagrams.size(), 1u);
  EXPECT_EQ(events.datagrams[0], "real");
}

TEST(DatagramSocket, ClosingFromInsideAnEventStopsFurtherEvents) {
  ensureApp();
  Peer peer;
  ASSERT_TRUE(peer.ok());
  Recorder events;
  QtDatagramTransport socket(events);
  events.closeOnFirst = &socket;
  ASSERT_EQ(socket.open("127.0.0.1", peer.port).status, OpenResult::Status::Ok);
  socket.send("hello");
  peer.receive();
  peer.reply("one");
  peer.reply("two");
  ASSERT_TRUE(pumpUntil([&] { return !events.datagrams.empty(); }));
  pumpBriefly();
  EXPECT_EQ(events.datagrams.size(), 1u);
  EXPECT_FALSE(socket.send("after close"));
  EXPECT_EQ(socket.localPort(), 0);
}

TEST(DatagramSocket, ReopeningReplacesTheOldSocket) {
  ensureApp();
  Peer first;
  Peer second;
  ASSERT_TRUE(first.ok() && second.ok());
  Recorder events;
  QtDatagramTransport socket(events);
  ASSERT_EQ(socket.open("127.0.0.1", first.port).status, OpenResult::Status::Ok);
  ASSERT_EQ(socket.open("127.0.0.1", second.port).status, OpenResult::Status::Ok);
  ASSERT_TRUE(socket.send("x"));
  EXPECT_EQ(second.receive(), "x");
}

TEST(DatagramSocket, FactoryMakesIndependentSockets) {
  ensureApp();
  Peer peer;
  ASSERT_TRUE(peer.ok());
  Recorder a, b;
  DatagramTransportFactory make = qtDatagramTransportFactory();
  auto sa = make(a);
  auto sb = make(b);
  ASSERT_EQ(sa->open("127.0.0.1", peer.port).status, OpenResult::Status::Ok);
  ASSERT_EQ(sb->open("127.0.0.1", peer.port).status, OpenResult::Status::Ok);
  sb->send("from b");
  EXPECT_EQ(peer.receive(), "from b");
  peer.reply("to b");
  ASSERT_TRUE(pumpUntil([&] { return !b.datagrams.empty(); }));
  EXPECT_TRUE(a.datagrams.empty());
}

}  // namespace
}  // namespace lumarc::net
