#include "lumarc/links/link.h"

#include "common/format.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/link_test_support.h"

#include <gtest/gtest.h>

#include <regex>

namespace lumarc {
namespace {

using namespace lumarc::testing;

struct Pane {
  TempDir dir;
  FakeNet net;
  FakeSink sink;
  FakeView view;
  std::vector<ConnectionTarget> history;
  int scrollFlips = 0;
  LinkList list;
  explicit Pane(LinkKind kind = LinkKind::Cmdr) : list(kind, env(), cmdrLinkFactory(fakeSockets(net), sink)) {}
  LinkEnvironment env() {
    LinkEnvironment e;
    e.workDir = dir.path();
    e.messageText = linkMessages(englishTexts());
    e.view = &view;
    e.addToHistory = [this](const ConnectionTarget& t) { history.push_back(t); };
    e.flipAutoScroll = [this] { ++scrollFlips; };
    e.now = [] { return std::time_t(1700000000); };
    return e;
  }
};

TEST(LinkNames, LogFilesAreNamedByKindAndSlot) {
  EXPECT_EQ(logFileName(LinkKind::Cmdr, 0), "logC00.txt");
  EXPECT_EQ(logFileName(LinkKind::Monitor, 1), "logM01.txt");
  EXPECT_EQ(logFileName(LinkKind::Voice, 3), "logV03.txt");
  EXPECT_EQ(slotCount(LinkKind::Cmdr), 4);
  EXPECT_EQ(slotCount(LinkKind::Monitor), 2);
  EXPECT_EQ(slotCount(LinkKind::Voice), 4);
}

TEST(LinkLines, ListKeepsTheNewest10000Lines) {
  LineList l;
  for (int i = 0; i < 10000; ++i) EXPECT_FALSE(l.append(std::to_string(i)));
  EXPECT_TRUE(l.append("10000"));
  EXPECT_EQ(l.size(), 10000u);
  EXPECT_EQ(l.at(0), "1");
  EXPECT_EQ(l.last(), "10000");
}

TEST(LinkOpen, OpenShowsATabWithTheConnectingIcon) {
  Pane p;
  EXPECT_EQ(p.list.openLink("192.168.1.20"), 0);
  EXPECT_EQ(p.view.tabs[0], "192.168.1.20");
  EXPECT_EQ(p.view.icons[0], kIconConnecting);
  EXPECT_EQ(p.net.host, "192.168.1.20");
  EXPECT_EQ(p.net.port, 9876);
}

TEST(LinkOpen, PortOfTheAddressTextIsUsed) {
  struct Case {
    const char* text;
    const char* host;
    uint16_t port;
  } cases[] = {{"192.168.1.20:5001", "192.168.1.20", 5001},
               {"192.168.1.20:50a01", "192.168.1.20", 5001},
               {"[fe80::1]:9000", "fe80::1", 9000},
               {"pbx.example.com", "pbx.example.com", 9876}};
  for (const Case& c : cases) {
    Pane p;
    EXPECT_EQ(p.list.openLink(c.text), 0) << c.text;
    EXPECT_EQ(p.net.host, c.host);
    EXPECT_EQ(p.net.port, c.port);
  }
}

TEST(LinkOpen, FifthOpenShowsConnectionLimitExceeded) {
  Pane p;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(p.list.openLink("192.168.1.20"), i);
  EXPECT_EQ(p.list.openLink("192.168.1.21"), -1);
  EXPECT_EQ(p.view.caption, "Connection limit exceeded");
  EXPECT_EQ(p.net.opens, 4);
}

TEST(LinkOpen, RejectedHostOpensNothingAndSaysNothing) {
  for (const char* text : {"localhost", "1.2.3", "fe80::1:9876", "", "10.0.0.1:70000", "256.1.1.1"}) {
    Pane p;
    EXPECT_EQ(p.list.openLink(text), -1) << text;
    EXPECT_EQ(p.net.opens, 0) << text;
    EXPECT_TRUE(p.view.tabs.empty());
    EXPECT_EQ(p.view.caption, "");
  }
}

TEST(LinkOpen, FailedOpenLeavesTheSlotFreeAndTheErrorInTheMessageBar) {
  struct Case {
    OpenResult::Status status;
    const char* text;
  } cases[] = {{OpenResult::Status::ResolveFailed, "Socket opening fault!"},
               {OpenResult::Status::ConnectFailed, "Socket opening fault!"},
               {OpenResult::Status::CreateFailed, "Socket creation fault!"}};
  for (const Case& c : cases) {
    Pane p;
    p.net.next.status = c.status;
    EXPECT_EQ(p.list.openLink("192.168.1.20"), -1);
    EXPECT_EQ(p.view.caption, c.text);
    EXPECT_TRUE(p.view.tabs.empty());
    EXPECT_EQ(p.list.openCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(p.dir.path() + "/logC00.txt"));
    p.net.next.status = OpenResult::Status::Ok;
    EXPECT_EQ(p.list.openLink("192.168.1.20"), 0);
    EXPECT_EQ(p.view.caption, "");
  }
}

TEST(LinkOpen, LogFileGetsItsHeaderWithTheEffectivePort) {
  Pane p;
  p.list.openLink("192.168.1.20");
  p.list.openLink("192.168.1.20:5001");
  std::string log0 = readAll(p.dir.path() + "/logC00.txt");
  std::string log1 = readAll(p.dir.path() + "/logC01.txt");
  std::regex header(R"((.*) (\d{4}/\d\d/\d\d \d\d:\d\d:\d\d) (.*)\r\n)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(log0, m, header)) << log0;
  EXPECT_EQ(m[1].str(), p.dir.path() + "/logC00.txt");
  EXPECT_EQ(m[2].str(), corvane::formatDateTime(std::time_t(1700000000)));
  EXPECT_EQ(m[3].str(), "192.168.1.20:9876");
  ASSERT_TRUE(std::regex_match(log1, m, header)) << log1;
  EXPECT_EQ(m[3].str(), "192.168.1.20:5001");
}

TEST(LinkOpen, OldLogIsReplacedWhenTheSlotIsOpenedAgain) {
  Pane p;
  p.list.openLink("192.168.1.20");
  p.list.link(0)->appendLine("old line");
  p.list.closeLink(0);
  p.list.openLink("192.168.1.20");
  EXPECT_EQ(readAll(p.dir.path() + "/logC00.txt").find("old line"), std::string::npos);
}

TEST(LinkClose, CloseRemovesTheTabAndFreesTheSlot) {
  Pane p;
  p.list.openLink("192.168.1.20");
  p.list.openLink("192.168.1.21");
  p.view.setCaptionMessage("something");
  p.list.closeLink(0);
  EXPECT_EQ(p.view.caption, "");
  EXPECT_EQ(p.view.tabs.count(0), 0u);
  EXPECT_EQ(p.view.tabs.count(1), 1u);
  EXPECT_EQ(p.net.closes, 1);
  EXPECT_EQ(p.list.openLink("192.168.1.22"), 0);
}

TEST(LinkLines, AppendedLinesGoToListViewAndLogWithCrLf) {
  Pane p;
  p.list.openLink("192.168.1.20");
  Link* l = p.list.link(0);
  l->appendLine("first \xe7 line");
  l->appendLine("second");
  EXPECT_EQ(p.view.lines[0], (std::vector<std::string>{"first \xe7 line", "second"}));
  std::string log = readAll(p.dir.path() + "/logC00.txt");
  EXPECT_NE(log.find("\r\nfirst \xe7 line\r\nsecond\r\n"), std::string::npos);
}

TEST(LinkLines, ScrollTogglesTheSharedSetting) {
  Pane p;
  p.list.toggleScroll();
  p.list.toggleScroll();
  EXPECT_EQ(p.scrollFlips, 2);
}

}  // namespace
}  // namespace lumarc
