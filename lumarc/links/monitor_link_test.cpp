// The monitor link engine on a fake UDP socket and virtual 100 ms ticks:
// login, access code, records, polls, time-outs, closing and "Mail".
#include "lumarc/links/monitor_link.h"

#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/links/bracket_frame.h"
#include "lumarc/links/link_test_support.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <new>
#include <optional>

namespace lumarc {
namespace {

using namespace lumarc::testing;

// 2011-03-14 09:30:55 UTC.
constexpr std::time_t kNow = 1300095055;

struct FakeUdp {
  OpenResult next;
  int opens = 0;
  int closes = 0;
  std::string host;
  uint16_t port = 0;
  std::vector<std::string> sent;  // one entry per send call
  DatagramEvents* events = nullptr;
  FakeUdp() {
    next.status = OpenResult::Status::Ok;
    uint32_t a = 0xC0A80114;
    std::memcpy(next.address, &a, 4);
  }
};

class FakeUdpSocket : public DatagramTransport {
 public:
  FakeUdpSocket(FakeUdp& net, DatagramEvents& e) : net_(net) { net_.events = &e; }
  OpenResult open(const std::string& host, uint16_t port) override {
    ++net_.opens;
    net_.host = host;
    net_.port = port;
    return net_.next;
  }
  bool send(std::string_view b) override {
    net_.sent.emplace_back(b);
    return true;
  }
  void close() override { ++net_.closes; }

 private:
  FakeUdp& net_;
};

// A record frame the decoder turns into several lines: a received LAPD
// I frame with a call-control SETUP.
MonitorFrame recordFrame(uint8_t second = 9) {
  MonitorFrame f{};
  f[0] = 0x34;
  f[1] = 0x12;
  f[2] = 0xFF;
  f[3] = 0xFF;
  f[8] = 24;
  f[9] = 5;
  f[10] = 6;
  f[11] = 7;
  f[12] = 8;
  f[13] = second;
  f[19] = 0xFD;
  const uint8_t msg[] = {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3};
  f[22] = sizeof msg;
  std::memcpy(&f[23], msg, sizeof msg);
  return f;
}

struct Fixture {
  TempDir dir;
  FakeUdp net;
  FakeView view;
  std::vector<ConnectionTarget> history;
  int optionReads = 0;
  bool layer2 = false;
  bool outOfMemory = false;
  LinkList list;
  Fixture() : list(LinkKind::Monitor, env(), monitorLinkFactory(setup())) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  LinkEnvironment env() {
    LinkEnvironment e;
    e.workDir = dir.path();
    e.messageText = linkMessages(englishTexts());
    e.view = &view;
    e.addToHistory = [this](const ConnectionTarget& t) { history.push_back(t); };
    e.now = [] { return kNow; };
    return e;
  }
  MonitorLinkSetup setup() {
    MonitorLinkSetup s;
    s.makeSocket = [this](DatagramEvents& e) -> std::unique_ptr<DatagramTransport> {
      return std::make_unique<FakeUdpSocket>(net, e);
    };
    s.decodeOptions = [this] {
      ++optionReads;
      if (outOfMemory) throw std::bad_alloc();
      DecodeOptions o;
      o.layer2 = layer2;
      return o;
    };
    return s;
  }
  MonitorLink& link(int slot = 0) { return *static_cast<MonitorLink*>(list.link(slot)); }
  void open(const char* address = "192.168.1.20:5001,secret12-12AB") { ASSERT_EQ(list.openLink(address), 0); }
  void datagram(const std::string& d) { net.events->onDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size()); }
  void frame(const std::string& payload) { datagram(encodeBracketFrame(payload)); }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) list.tick();
  }
  // The payloads of everything sent since the last call.
  std::vector<std::string> takeSent() {
    std::vector<std::string> out;
    for (const std::string& d : net.sent) {
      auto p = parseBracketDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size());
      EXPECT_EQ(p.size(), 1u) << "one frame per datagram";
      EXPECT_EQ(d.substr(0, 2), std::string("\x5D\xFF", 2));
      EXPECT_EQ(d.substr(d.size() - 2), "\r\n");
      out.insert(out.end(), p.begin(), p.end());
    }
    net.sent.clear();
    return out;
  }
  void monitoring(uint16_t hpidx = 0x0042) {
    open();
    frame(monitorLoginAcceptedPayload());
    frame(monitorAccessAcceptedPayload(hpidx));
    ASSERT_EQ(link().state(), MonitorState::Monitoring);
    takeSent();
  }
  // Ticks until something is sent; returns the tick count used.
  int ticksUntilSend(int limit) {
    for (int i = 1; i <= limit; ++i) {
      list.tick();
      if (!net.sent.empty()) return i;
    }
    return -1;
  }
};

const std::string kLogin = monitorLoginPayload(0xDB3E97B7u, "secret12" + std::string(24, ' '));
const std::string kAccess = monitorAccessPayload("    12AB");

// --- Opening -----------------------------------------------------------------

TEST(MonitorOpen, NewLinkShowsHostAndAccessCodeAndWaitsToLogIn) {
  Fixture f;
  f.open();
  EXPECT_EQ(f.view.tabs[0], "192.168.1.20-12AB");
  EXPECT_EQ(f.view.icons[0], kIconConnecting);
  EXPECT_EQ(f.link().state(), MonitorState::LoggingIn);
  EXPECT_EQ(f.net.host, "192.168.1.20");
  EXPECT_EQ(f.net.port, 5001);
  EXPECT_TRUE(f.net.sent.empty()) << "the first login goes with the first tick";
  std::string log = readAll(f.dir.path() + "/logM00.txt");
  EXPECT_EQ(log, f.dir.path() + "/logM00.txt 2011/03/14 09:30:55 192.168.1.20:5001\r\n");
  std::string frames = readAll(f.dir.path() + "/logM00.frm");
  EXPECT_EQ(frames, "# " + f.dir.path() + "/logM00.frm 2011/03/14 09:30:55 192.168.1.20:5001\n");
}

TEST(MonitorOpen, DefaultPortAndLabelWithoutAccessCode) {
  Fixture f;
  ASSERT_EQ(f.list.openLink("192.168.1.20"), 0);
  EXPECT_EQ(f.net.port, 9876);
  EXPECT_EQ(f.view.tabs[0], "192.168.1.20-");
}

TEST(MonitorOpen, SocketFailuresShowTheirTextAndOpenNoTab) {
  struct Case {
    OpenResult::Status status;
    const char* text;
  };
  Case cases[] = {{OpenResult::Status::ResolveFailed, "Socket opening fault!"},
                  {OpenResult::Status::ConnectFailed, "Socket opening fault!"},
                  {OpenResult::Status::CreateFailed, "Socket creation fault!"}};
  for (const auto& c : cases) {
    Fixture f;
    f.net.next.status = c.status;
    EXPECT_EQ(f.list.openLink("192.168.1.20"), -1);
    EXPECT_EQ(f.view.caption, c.text);
    EXPECT_TRUE(f.view.tabs.empty());
    EXPECT_EQ(f.list.openCount(), 0);
  }
}

TEST(MonitorOpen, ThirdLinkExceedsTheLimit) {
  Fixture f;
  EXPECT_EQ(f.list.openLink("192.168.1.20"), 0);
  EXPECT_EQ(f.list.openLink("192.168.1.21"), 1);
  EXPECT_EQ(f.list.openLink("192.168.1.22"), -1);
  EXPECT_EQ(f.view.caption, "Connection limit exceeded");
  EXPECT_EQ(f.link(1).logPath(), f.dir.path() + "/logM01.txt");
}

// --- Logging in --------------------------------------------------------------

TEST(MonitorLogin, LoginIsSentThreeTimesThenEvery32Seconds) {
  Fixture f;
  f.open();
  std::vector<int> sentAt;
  for (int t = 1; t <= 700; ++t) {
    f.ticks(1);
    for (const std::string& p : f.takeSent()) {
      EXPECT_EQ(p, kLogin);
      sentAt.push_back(t);
    }
  }
  EXPECT_EQ(sentAt, (std::vector<int>{1, 11, 41, 321, 331, 361, 641, 651, 681}));
}

TEST(MonitorLogin, RefusalFailsTheLinkWithItsText) {
  Fixture f;
  f.open();
  f.ticks(1);
  f.datagram(monitorRefusalDatagram());
  EXPECT_EQ(f.link().state(), MonitorState::Failed);
  EXPECT_EQ(f.view.caption, "Corvane refused connection. Press OK!");
  EXPECT_EQ(f.view.icons[0], kIconClosed);
  f.takeSent();
  f.ticks(1000);
  EXPECT_TRUE(f.net.sent.empty()) << "a failed link sends nothing";
  f.frame(monitorLoginAcceptedPayload());
  EXPECT_EQ(f.link().state(), MonitorState::Failed) << "the failed state is final";
}

TEST(MonitorLogin, OtherEightByteDatagramIsDroppedWhileLoggingIn) {
  Fixture f;
  f.open();
  std::string almost(8, '\x11');
  almost[3] = '\x10';
  f.datagram(almost);
  EXPECT_EQ(f.link().state(), MonitorState::LoggingIn);
  EXPECT_TRUE(f.view.captions.empty());
}

TEST(MonitorLogin, RefusalPatternWhileMonitoringIsIgnored) {
  Fixture f;
  f.monitoring();
  f.datagram(monitorRefusalDatagram());
  EXPECT_EQ(f.link().state(), MonitorState::Monitoring);
  EXPECT_TRUE(f.view.captions.empty());
}

TEST(MonitorLogin, AcceptedLoginSendsTheAccessCodeEveryFourSeconds) {
  Fixture f;
  f.open();
  f.ticks(5);
  f.takeSent();
  f.frame(monitorLoginAcceptedPayload());
  EXPECT_EQ(f.link().state(), MonitorState::SendingAccessCode);
  EXPECT_EQ(f.view.icons[0], kIconConnecting);
  std::vector<int> sentAt;
  for (int t = 1; t <= 200; ++t) {
    f.ticks(1);
    for (const std::string& p : f.takeSent()) {
      EXPECT_EQ(p, kAccess);
      sentAt.push_back(t);
    }
  }
  EXPECT_EQ(sentAt, (std::vector<int>{1, 41, 81, 121, 161}));
  EXPECT_EQ(f.link().state(), MonitorState::SendingAccessCode);
}

TEST(MonitorLogin, AccessCodeUnansweredFor20SecondsLogsInAgain) {
  Fixture f;
  f.open();
  f.frame(monitorLoginAcceptedPayload());
  f.ticks(200);
  EXPECT_EQ(f.link().state(), MonitorState::SendingAccessCode);
  f.ticks(1);  // t = 201
  EXPECT_EQ(f.link().state(), MonitorState::LoggingIn);
  f.takeSent();
  f.ticks(1);
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{kLogin});
}

TEST(MonitorLogin, UnknownAccessCodeFailsTheLink) {
  Fixture f;
  f.open();
  f.frame(monitorLoginAcceptedPayload());
  f.frame(monitorAccessUnknownPayload());
  EXPECT_EQ(f.link().state(), MonitorState::Failed);
  EXPECT_EQ(f.view.caption, "Port access code not found!");
  EXPECT_EQ(f.view.icons[0], kIconClosed);
  EXPECT_TRUE(f.history.empty());
}

TEST(MonitorLogin, AcceptedAccessCodeStartsMonitoringAndEntersTheHistory) {
  Fixture f;
  f.open();
  f.frame(monitorLoginAcceptedPayload());
  f.frame(monitorAccessAcceptedPayload(0x1234));
  EXPECT_EQ(f.link().state(), MonitorState::Monitoring);
  EXPECT_EQ(f.link().hpidx(), 0x1234);
  EXPECT_EQ(f.view.icons[0], kIconConnected);
  ASSERT_EQ(f.history.size(), 1u);
  EXPECT_EQ(f.history[0].hostText(), "192.168.1.20");
  EXPECT_EQ(f.view.historyChanges, 1);
  f.takeSent();
  f.ticks(1);
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{monitorPollPayload(0x1234, 0)});
}

TEST(MonitorLogin, AnswersArriveOnlyInTheirState) {
  Fixture f;
  f.open();
  f.frame(monitorAccessAcceptedPayload(5));
  EXPECT_EQ(f.link().state(), MonitorState::LoggingIn) << "access answer before login";
  f.frame(monitorLoginAcceptedPayload());
  f.frame(monitorLoginAcceptedPayload());
  EXPECT_EQ(f.link().state(), MonitorState::SendingAccessCode);
  MonitorFrame fr = recordFrame();
  f.frame(monitorRecordPayload(1, 5, 0, fr));
  EXPECT_EQ(f.link().state(), MonitorState::SendingAccessCode);
  EXPECT_TRUE(f.view.lines[0].empty());
}

TEST(MonitorLogin, CorruptAnswerIsDroppedAndTheTimersRetry) {
  Fixture f;
  f.open();
  f.ticks(1);
  f.takeSent();
  std::string d = encodeBracketFrame(monitorLoginAcceptedPayload());
  d[3] = char(uint8_t(d[3]) + 1);  // C off by one
  f.datagram(d);
  EXPECT_EQ(f.link().state(), MonitorState::LoggingIn);
  EXPECT_TRUE(f.view.captions.empty());
  f.ticks(10);
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{kLogin});
}

TEST(MonitorLogin, LoginAndAccessAnswersInOneDatagramAreBothHandled) {
  Fixture f;
  f.open();
  f.datagram(encodeBracketFrame(monitorLoginAcceptedPayload()) + encodeBracketFrame(monitorAccessAcceptedPayload(9)));
  EXPECT_EQ(f.link().state(), MonitorState::Monitoring);
}

TEST(MonitorLogin, EmptyPasswordDigestsBlanks) {
  Fixture f;
  ASSERT_EQ(f.list.openLink("192.168.1.20-1"), 0);
  f.ticks(1);
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{monitorLoginPayload(0xDB3E97B7u, std::string(32, ' '))});
}

// --- Records -----------------------------------------------------------------

TEST(MonitorRecords, RecordIsDecodedShownLoggedKeptAndAcknowledged) {
  Fixture f;
  f.monitoring(0x0042);
  MonitorFrame fr = recordFrame();
  f.frame(monitorRecordPayload(7, 0x0042, 0x10, fr));
  std::vector<std::string> expected =
      monitorLines(decodeMonitorRecord(buildMonitorRecord(fr, 0x0042, 0x10), DecodeOptions{}));
  ASSERT_GT(expected.size(), 2u);
  EXPECT_EQ(f.view.lines[0], expected);
  EXPECT_EQ(f.link().loggedLines(), expected.size());
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{monitorPollPayload(0x0042, 7)});

  std::string log = readAll(f.link().logPath());
  std::string body = log.substr(log.find("\r\n") + 2);
  std::string want;
  for (const auto& l : expected) want += l + "\r\n";
  EXPECT_EQ(body, want);

  std::string frames = readAll(f.link().framePath());
  EXPECT_EQ(frames.substr(frames.find('\n') + 1), monitorFrameLine(0x0042, 0x10, fr) + "\n");
}

TEST(MonitorRecords, FirstRecordIsShownWhateverItsNumber) {
  Fixture f;
  f.monitoring();
  f.frame(monitorRecordPayload(0, 0x0042, 0, recordFrame()));
  EXPECT_FALSE(f.view.lines[0].empty());
  EXPECT_TRUE(f.link().hasLastSequence());
}

TEST(MonitorRecords, RepeatedRecordIsAcknowledgedButNotShownAgain) {
  Fixture f;
  f.monitoring();
  f.frame(monitorRecordPayload(3, 0x0042, 0, recordFrame()));
  size_t shown = f.view.lines[0].size();
  f.takeSent();
  f.frame(monitorRecordPayload(3, 0x0042, 0, recordFrame(10)));
  EXPECT_EQ(f.view.lines[0].size(), shown);
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{monitorPollPayload(0x0042, 3)});
  f.frame(monitorRecordPayload(4, 0x0042, 0, recordFrame(11)));
  EXPECT_EQ(f.view.lines[0].size(), 2 * shown);
  std::string frames = readAll(f.link().framePath());
  EXPECT_EQ(std::count(frames.begin(), frames.end(), '\n'), 3) << "header and two records";
}

TEST(MonitorRecords, RecordOfAnotherHpidxGetsNoAcknowledgement) {
  Fixture f;
  f.monitoring(0x0042);
  f.frame(monitorRecordPayload(1, 0x0043, 0, recordFrame()));
  EXPECT_TRUE(f.view.lines[0].empty());
  EXPECT_TRUE(f.net.sent.empty());
  EXPECT_FALSE(f.link().hasLastSequence());
}

TEST(MonitorRecords, Layer2SettingIsReadForEveryRecord) {
  Fixture f;
  f.monitoring();
  MonitorFrame fr = recordFrame();
  f.layer2 = true;
  f.frame(monitorRecordPayload(1, 0x0042, 0, fr));
  DecodeOptions on;
  on.layer2 = true;
  EXPECT_EQ(f.view.lines[0], monitorLines(decodeMonitorRecord(buildMonitorRecord(fr, 0x0042, 0), on)));
  EXPECT_EQ(f.optionReads, 1);
}

TEST(MonitorRecords, OutOfMemoryFailsTheLinkWithoutAcknowledgement) {
  Fixture f;
  f.monitoring();
  f.outOfMemory = true;
  f.frame(monitorRecordPayload(1, 0x0042, 0, recordFrame()));
  EXPECT_EQ(f.link().state(), MonitorState::Failed);
  EXPECT_EQ(f.view.caption, "Insufficient memory!");
  EXPECT_TRUE(f.net.sent.empty());
}

TEST(MonitorRecords, LinesAreCutAtEveryHexFF) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  Case cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"a\xFF"
       "b",
       {"a", "b"}},
      {"a\xFF", {"a"}},
      {"\xFF", {""}},
      {"\xFF\xFF"
       "c",
       {"", "", "c"}},
      {"a \xFF  ", {"a ", "  "}},
  };
  for (const auto& c : cases) EXPECT_EQ(monitorLines(c.text), c.lines) << c.text;
}

TEST(MonitorRecords, FrameLineIsTheDecodeInputForm) {
  MonitorFrame fr{};
  fr[0] = 0xAB;
  fr[119] = 0x0F;
  std::string line = monitorFrameLine(0x00C1, 0x5, fr);
  EXPECT_EQ(line.size(), 4 + 1 + 2 + 1 + 240u);
  EXPECT_EQ(line.substr(0, 10), "00C1 05 AB");
  EXPECT_EQ(line.substr(line.size() - 2), "0F");
}

// --- Polling -----------------------------------------------------------------

TEST(MonitorPoll, QuietLinkPollsEveryFourSeconds) {
  Fixture f;
  f.monitoring(0x0042);
  std::vector<int> sentAt;
  for (int t = 1; t <= 130; ++t) {
    f.ticks(1);
    if (!f.takeSent().empty()) sentAt.push_back(t);
  }
  EXPECT_EQ(sentAt, (std::vector<int>{1, 41, 81, 121}));
}

TEST(MonitorPoll, AnswersPostponeTheNextPoll) {
  Fixture f;
  f.monitoring();
  f.ticks(30);
  f.takeSent();
  f.frame("");  // poll answer: t = 1
  EXPECT_EQ(f.link().ticks(), 1u);
  EXPECT_EQ(f.ticksUntilSend(100), 40) << "next poll at t = 41";
  f.takeSent();
  f.ticks(20);
  f.frame(monitorRecordPayload(9, 0x0042, 0, recordFrame()));
  EXPECT_EQ(f.link().ticks(), 1u);
  f.takeSent();
  EXPECT_EQ(f.ticksUntilSend(100), 40);
}

TEST(MonitorPoll, SilenceOf200SecondsLogsInAgainKeepingTheSequence) {
  Fixture f;
  f.monitoring(0x0042);
  f.frame(monitorRecordPayload(12, 0x0042, 0, recordFrame()));
  f.ticks(1999);
  EXPECT_EQ(f.link().state(), MonitorState::Monitoring);
  f.ticks(1);  // t = 2001
  EXPECT_EQ(f.link().state(), MonitorState::LoggingIn);
  EXPECT_EQ(f.view.icons[0], kIconConnecting);
  f.takeSent();
  f.ticks(1);
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{kLogin});
  f.frame(monitorLoginAcceptedPayload());
  f.frame(monitorAccessAcceptedPayload(0x0077));
  f.ticks(1);
  EXPECT_EQ(f.takeSent().back(), monitorPollPayload(0x0077, 12));
  size_t shown = f.view.lines[0].size();
  f.frame(monitorRecordPayload(12, 0x0077, 0, recordFrame()));
  EXPECT_EQ(f.view.lines[0].size(), shown) << "the same record again after the re-login";
}

// --- Closing -----------------------------------------------------------------

TEST(MonitorClose, ClosingWhileMonitoringLogsOut) {
  Fixture f;
  f.monitoring();
  f.list.closeLink(0);
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{monitorLogoutPayload()});
  EXPECT_EQ(f.net.closes, 1);
  EXPECT_TRUE(f.view.tabs.empty());
}

TEST(MonitorClose, ClosingBeforeMonitoringSendsNoLogout) {
  Fixture f;
  f.open();
  f.frame(monitorLoginAcceptedPayload());
  f.takeSent();
  f.list.closeLink(0);
  EXPECT_TRUE(f.net.sent.empty());
  EXPECT_EQ(f.net.closes, 1);
}

TEST(MonitorClose, ProgramEndLogsOutEveryMonitoringLink) {
  Fixture f;
  f.monitoring();
  ASSERT_EQ(f.list.openLink("192.168.1.21"), 1);
  f.list.closeAll();
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{monitorLogoutPayload()});
  EXPECT_EQ(f.net.closes, 2);
}

// --- Mail --------------------------------------------------------------------

// Keeps the attachment copies of one test in its own folder.
struct TmpDirGuard {
  TempDir dir;
  std::optional<std::string> old;
  TmpDirGuard() {
    if (const char* t = std::getenv("TMPDIR")) old = t;
    ::setenv("TMPDIR", dir.path().c_str(), 1);
  }
  ~TmpDirGuard() {
    if (old) {
      ::setenv("TMPDIR", old->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
};

struct FakeRunner : ProcessRunner {
  TmpDirGuard tmp;
  int status = 0;
  std::string program;
  std::vector<std::string> args;
  std::string attached;
  int run(const std::string& p, const std::vector<std::string>& a) override {
    program = p;
    args = a;
    if (a.size() == 2) attached = readAll(a[1]);
    return status;
  }
};

TEST(MonitorMail, MailNeedsALoggedLine) {
  Fixture f;
  f.monitoring();
  EXPECT_FALSE(canMailMonitorLog(f.list, 0));
  EXPECT_FALSE(canMailMonitorLog(f.list, 1));
  f.frame(monitorRecordPayload(1, 0x0042, 0, recordFrame()));
  EXPECT_TRUE(canMailMonitorLog(f.list, 0));
}

TEST(MonitorMail, MailClosesTheLinkAndAttachesItsLogAsMonitorTxt) {
  Fixture f;
  f.monitoring();
  f.frame(monitorRecordPayload(1, 0x0042, 0, recordFrame()));
  std::string log = readAll(f.link().logPath());
  f.takeSent();
  FakeRunner runner;
  EXPECT_EQ(mailMonitorLog(f.list, 0, runner), MailOutcome::Sent);
  EXPECT_EQ(f.takeSent(), std::vector<std::string>{monitorLogoutPayload()});
  EXPECT_TRUE(f.view.tabs.empty());
  EXPECT_EQ(runner.program, "xdg-email");
  ASSERT_EQ(runner.args.size(), 2u);
  EXPECT_EQ(runner.args[0], "--attach");
  EXPECT_EQ(runner.args[1].substr(runner.args[1].size() - 12), "/Monitor.txt");
  EXPECT_EQ(runner.attached, log);
  EXPECT_EQ(f.view.caption, "");
}

TEST(MonitorMail, MailFailuresShowTheirTexts) {
  struct Case {
    int status;
    MailOutcome outcome;
    const char* text;
  };
  Case cases[] = {{-1, MailOutcome::NoMailSystem, "Unable to load mail system support."},
                  {1, MailOutcome::SendFailed, "Send Mail failed to send message."},
                  {3, MailOutcome::SendFailed, "Send Mail failed to send message."}};
  for (const auto& c : cases) {
    Fixture f;
    f.monitoring();
    f.frame(monitorRecordPayload(1, 0x0042, 0, recordFrame()));
    FakeRunner runner;
    runner.status = c.status;
    EXPECT_EQ(mailMonitorLog(f.list, 0, runner), c.outcome);
    EXPECT_EQ(f.view.caption, c.text);
  }
}

TEST(MonitorMail, MailOnAnEmptySlotDoesNothing) {
  Fixture f;
  FakeRunner runner;
  EXPECT_EQ(mailMonitorLog(f.list, 1, runner), MailOutcome::Sent);
  EXPECT_TRUE(runner.program.empty());
}

}  // namespace
}  // namespace lumarc
