// The CMDR link engine on a real loopback TCP connection through the Qt
// socket adapter, against an exchange played by a thread of this test.
#include "lumarc/links/net/stream_socket.h"

#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/link_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <thread>

namespace lumarc {
namespace {

using namespace lumarc::testing;

QCoreApplication& app() {
  static int argc = 1;
  static char name[] = "net_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication a(argc, argv);
  return a;
}

// A listening socket on 127.0.0.1 with an ephemeral port.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 4);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~Listener() { close(); }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int accept() {
    int c = ::accept(fd_, nullptr, nullptr);
    int one = 1;
    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return c;
  }
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

void sendAll(int fd, const std::string& s) {
  size_t off = 0;
  while (off < s.size()) {
    ssize_t n = ::send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += size_t(n);
  }
}

// Sends in pieces of `piece` bytes, pausing between them so that they
// arrive as separate segments.
void sendPieces(int fd, const std::string& s, size_t piece) {
  for (size_t off = 0; off < s.size(); off += piece) {
    sendAll(fd, s.substr(off, piece));
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
}

// Reads until n bytes of "X" arrived (or the peer closed).
std::string readAcks(int fd, size_t n) {
  std::string got;
  char c;
  while (got.size() < n && ::recv(fd, &c, 1, 0) == 1) got += c;
  return got;
}

std::string frameBytes(uint32_t n) {
  CmdrFrameFields s;
  s.kind = 0;
  s.firstPort = 0xFFFF1000 | (n % 100);
  s.crefA = n;
  s.time = {2024, 5, 6, 7, 8, int(n % 60)};
  CmdrFrame f = buildCmdrFrame(s);
  return std::string(reinterpret_cast<const char*>(f.data()), f.size());
}

// Runs the event loop until done() holds; gives up after a generous while so
// that a fault shows as a failed expectation instead of a hang.
bool runUntil(const std::function<bool()>& done) {
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    app().processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

struct Client {
  TempDir dir;
  FakeSink sink;
  FakeView view;
  LinkList list;
  Client() : list(LinkKind::Cmdr, env(), cmdrLinkFactory(net::qtStreamTransportFactory(), sink)) {}
  LinkEnvironment env() {
    LinkEnvironment e;
    e.workDir = dir.path();
    e.messageText = linkMessages(englishTexts());
    e.view = &view;
    return e;
  }
  CmdrLink* link() { return static_cast<CmdrLink*>(list.link(0)); }
};

TEST(CmdrOverTcp, SplitJoinedAndResentFramesArriveExactlyOnce) {
  app();
  Listener server;
  std::string acks1, acks2;
  std::thread exchange([&] {
    int c = server.accept();
    sendPieces(c, frameBytes(1) + frameBytes(2) + frameBytes(3), 50);  // split across segments
    acks1 = readAcks(c, 1);
    sendAll(c, frameBytes(4).substr(0, 100));  // half a frame, then the line drops
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::close(c);
    c = server.accept();
    sendAll(c, frameBytes(4) + frameBytes(5));  // resent, joined in one segment
    acks2 = readAcks(c, 1);
    ::close(c);
  });
  Client client;
  ASSERT_EQ(client.list.openLink("127.0.0.1:" + std::to_string(server.port())), 0);
  EXPECT_TRUE(runUntil([&] { return client.link()->state() == CmdrState::Closed; }));
  EXPECT_EQ(client.view.caption, "Socket closed unexpectedly!");
  EXPECT_EQ(client.sink.stored.size(), 3u);
  for (int i = 0; i < 3000; ++i) client.list.tick();  // 300 s later: reconnect
  EXPECT_TRUE(runUntil([&] { return client.link()->state() == CmdrState::Closed; }));
  exchange.join();
  std::vector<uint32_t> refs;
  for (auto& r : client.sink.stored) refs.push_back(r.crefa);
  EXPECT_EQ(refs, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_GE(acks1.size(), 1u);
  EXPECT_EQ(acks1.substr(0, 1), "X");
  EXPECT_EQ(acks2, "X");
  EXPECT_EQ(client.link()->ticks(), 0u);
}

TEST(CmdrOverTcp, ConnectRefusedSaysSocketOpeningFault) {
  app();
  uint16_t port;
  {
    Listener l;
    port = l.port();
  }
  Client client;
  ASSERT_EQ(client.list.openLink("127.0.0.1:" + std::to_string(port)), 0);
  EXPECT_TRUE(runUntil([&] { return client.link()->state() != CmdrState::Connecting; }));
  EXPECT_EQ(client.link()->state(), CmdrState::Closed);
  EXPECT_EQ(client.view.caption, "Socket opening fault!");
}

TEST(CmdrOverTcp, CorruptFrameClosesTheConnectionWithoutAcknowledgement) {
  app();
  Listener server;
  std::string acks;
  std::thread exchange([&] {
    int c = server.accept();
    std::string bad = frameBytes(2);
    bad[30] ^= 0x01;
    sendAll(c, frameBytes(1) + bad);
    acks = readAcks(c, 1);  // returns when the link closes
    ::close(c);
  });
  Client client;
  ASSERT_EQ(client.list.openLink("127.0.0.1:" + std::to_string(server.port())), 0);
  EXPECT_TRUE(runUntil([&] { return client.link()->state() == CmdrState::Failed; }));
  exchange.join();
  EXPECT_EQ(acks, "");
  EXPECT_EQ(client.view.caption, "Received data format faulty!");
  EXPECT_EQ(client.sink.stored.size(), 1u);
}

TEST(CmdrOverTcp, KeepAliveReachesTheExchange) {
  app();
  Listener server;
  std::string got;
  std::thread exchange([&] {
    int c = server.accept();
    got = readAcks(c, 2);
    ::close(c);
  });
  Client client;
  ASSERT_EQ(client.list.openLink("127.0.0.1:" + std::to_string(server.port())), 0);
  EXPECT_TRUE(runUntil([&] { return client.link()->state() == CmdrState::Connected; }));
  for (int i = 0; i < 100; ++i) client.list.tick();
  EXPECT_TRUE(runUntil([&] { return client.link()->state() == CmdrState::Closed; }));
  exchange.join();
  EXPECT_EQ(got, "XX");
}

}  // namespace
}  // namespace lumarc
