// The "Cmdr download" pane offscreen: a link opened from the address box
// against an exchange played on 127.0.0.1, its lines, tab, history and limits.
#include "lumarc/window/link_pane.h"

#include "common/test_support.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/net/stream_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFontInfo>
#include <QListWidget>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

namespace lumarc::ui {
namespace {

class PaneTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testApplication(); }
};

struct Sink : CmdrRecordSink {
  std::vector<CmdrRecord> stored;
  StoreOutcome store(const CmdrRecord& r) override {
    stored.push_back(r);
    StoreOutcome o;
    o.status = StoreOutcome::Status::Stored;
    return o;
  }
};

template <typename Pred>
bool waitFor(Pred pred) {
  QDeadlineTimer deadline(20000);
  while (!pred()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

struct Fixture {
  corvane::testing::TempDir tmp{"pane"};
  std::string dir = tmp.path();
  SettingsBlock settings;
  Sink sink;
  std::vector<std::string> captions;
  int toolbarRefreshes = 0;
  std::unique_ptr<LinkPane> pane;
  Fixture() {
    pane = std::make_unique<LinkPane>(
        LinkKind::Cmdr, settings, englishTexts(), [this](const std::string& t) { captions.push_back(t); },
        [this] { ++toolbarRefreshes; }, dir, cmdrLinkFactory(net::qtStreamTransportFactory(), sink));
  }
  ~Fixture() { pane.reset(); }
};

// An exchange on 127.0.0.1 that sends frames and waits for the "X".
struct Exchange {
  int listenFd = -1;
  uint16_t port = 0;
  std::thread thread;
  std::atomic<int> acks{0};
  explicit Exchange(int frames) {
    listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listenFd, 1);
    socklen_t len = sizeof a;
    ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    thread = std::thread([this, frames] {
      int c = ::accept(listenFd, nullptr, nullptr);
      std::string bytes;
      for (int i = 0; i < frames; ++i) {
        CmdrFrameFields s;
        s.kind = uint32_t(i % 5);
        s.crefA = uint32_t(i + 1);
        s.firstPort = 0xFFFF1234;
        CmdrFrame f = buildCmdrFrame(s);
        bytes.append(reinterpret_cast<const char*>(f.data()), f.size());
      }
      ::send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      char x;
      if (::recv(c, &x, 1, 0) == 1 && x == 'X') ++acks;
      char buf[16];
      while (::recv(c, buf, sizeof buf, 0) > 0) {
      }
      ::close(c);
    });
  }
  ~Exchange() {
    ::shutdown(listenFd, SHUT_RDWR);
    if (thread.joinable()) thread.join();
    ::close(listenFd);
  }
};

TEST_F(PaneTest, LinkOpenedFromTheAddressBoxShowsItsRecordLines) {
  Exchange exchange(5);  // outlives the pane, which closes the connection first
  Fixture f;
  std::string address = "127.0.0.1:" + std::to_string(exchange.port);
  f.pane->addressBox()->setEditText(QString::fromStdString(address));
  f.pane->openAction()->trigger();
  ASSERT_EQ(f.pane->tabs()->count(), 1);
  EXPECT_EQ(f.pane->tabs()->tabText(0), "127.0.0.1");
  QListWidget* list = f.pane->listOf(0);
  ASSERT_NE(list, nullptr);
  ASSERT_TRUE(waitFor([&] { return list->count() == 5; }));
  EXPECT_EQ(list->item(0)->text().toStdString(), cmdrLineText(f.sink.stored[0]));
  EXPECT_EQ(list->item(3)->text().left(12), "D Malicious ");
  EXPECT_TRUE(list->font().fixedPitch());
  EXPECT_EQ(list->font().styleHint(), QFont::Monospace);
  // Connected: the target is in the history, the address box refilled.
  EXPECT_EQ(f.pane->addressBox()->count(), 1);
  EXPECT_EQ(f.pane->addressBox()->itemText(0).toStdString(), address);
  EXPECT_EQ(f.toolbarRefreshes, 1);
  EXPECT_EQ(f.settings.history(LinkKind::Cmdr).slot(0), parseAddressText(address));
  ASSERT_TRUE(waitFor([&] { return exchange.acks.load() == 1; }));
}

TEST_F(PaneTest, AddressBoxExplainsItsSyntaxAndCommandsHaveTheirTexts) {
  Fixture f;
  EXPECT_EQ(f.pane->addressBox()->toolTip().toStdString(),
            "<Corvane URL> : <port number> to open CMDR download connection to Corvane");
  EXPECT_EQ(f.pane->openAction()->toolTip().toStdString(), "Open a new connection to Corvane");
  EXPECT_EQ(f.pane->closeAction()->toolTip().toStdString(), "Close Corvane connection");
  EXPECT_EQ(f.pane->scrollAction()->toolTip().toStdString(), "Toggle scroll");
}

TEST_F(PaneTest, FifthLinkIsRefusedAndCloseRemovesTheActiveTab) {
  Fixture f;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(f.pane->openLink("127.0.0.1:1"), i);
  EXPECT_EQ(f.pane->openLink("127.0.0.1:1"), -1);
  EXPECT_EQ(f.captions.back(), "Connection limit exceeded");
  EXPECT_EQ(f.pane->tabs()->count(), 4);
  f.pane->tabs()->setCurrentIndex(2);
  f.pane->closeAction()->trigger();
  EXPECT_EQ(f.captions.back(), "");
  EXPECT_EQ(f.pane->tabs()->count(), 3);
  EXPECT_EQ(f.pane->listOf(2), nullptr);
  EXPECT_EQ(f.pane->openLink("127.0.0.1:1"), 2);
}

TEST_F(PaneTest, ListKeepsTheNewest10000LinesAndScrollFlipsTheSetting) {
  Fixture f;
  ASSERT_EQ(f.pane->openLink("127.0.0.1:1"), 0);
  Link* link = f.pane->links().link(0);
  for (int i = 0; i < 10005; ++i) link->appendLine("line " + std::to_string(i));
  QListWidget* list = f.pane->listOf(0);
  EXPECT_EQ(list->count(), 10000);
  EXPECT_EQ(list->item(0)->text(), "line 5");
  EXPECT_EQ(f.settings.autoScroll(), 0u);
  f.pane->scrollAction()->trigger();
  EXPECT_EQ(f.settings.autoScroll(), 1u);
}

}  // namespace
}  // namespace lumarc::ui
