// The "Monitor" pane offscreen: tab label, "Mail" enabling, and "Mail"
// through a fake xdg-email on PATH.
#include "lumarc/window/monitor_pane.h"

#include "common/test_support.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/links/bracket_frame.h"
#include "lumarc/links/monitor_protocol.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace lumarc::ui {
namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;

struct Udp : DatagramTransport {
  std::vector<std::string>* sent;
  explicit Udp(std::vector<std::string>* s) : sent(s) {}
  OpenResult open(const std::string&, uint16_t) override {
    OpenResult r;
    r.status = OpenResult::Status::Ok;
    return r;
  }
  bool send(std::string_view b) override {
    sent->emplace_back(b);
    return true;
  }
  void close() override {}
};

// A fake xdg-email first and alone on PATH; attachment copies in their own
// temporary folder.
class FakeMailer {
 public:
  explicit FakeMailer(int exitStatus) {
    std::string script = bin_.path() + "/xdg-email";
    std::ofstream(script) << "#!/bin/sh\n/bin/cp \"$2\" '" << bin_.path() << "/attached'\nexit " << exitStatus << "\n";
    ::chmod(script.c_str(), 0755);
    save("PATH", oldPath_);
    save("TMPDIR", oldTmp_);
    ::setenv("PATH", bin_.path().c_str(), 1);
    ::setenv("TMPDIR", copies_.path().c_str(), 1);
  }
  ~FakeMailer() {
    restore("PATH", oldPath_);
    restore("TMPDIR", oldTmp_);
  }
  std::string attached() const { return readAll(bin_.path() + "/attached"); }

 private:
  static void save(const char* name, std::optional<std::string>& to) {
    if (const char* v = std::getenv(name)) to = v;
  }
  static void restore(const char* name, const std::optional<std::string>& v) {
    if (v) {
      ::setenv(name, v->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  TempDir bin_{"monitor_pane"}, copies_{"monitor_pane"};
  std::optional<std::string> oldPath_, oldTmp_;
};

struct PaneFixture {
  TempDir dir{"monitor_pane"};
  SettingsBlock settings;
  std::string caption;
  std::vector<std::string> sent;
  DatagramEvents* events = nullptr;
  std::unique_ptr<MonitorPane> pane;
  PaneFixture() {
    testApplication();
    MonitorLinkSetup setup;
    setup.makeSocket = [this](DatagramEvents& e) -> std::unique_ptr<DatagramTransport> {
      events = &e;
      return std::make_unique<Udp>(&sent);
    };
    pane = std::make_unique<MonitorPane>(
        settings, englishTexts(), [this](const std::string& t) { caption = t; }, [] {}, dir.path(),
        monitorLinkFactory(setup));
  }
  void frame(const std::string& payload) {
    std::string d = encodeBracketFrame(payload);
    events->onDatagram(reinterpret_cast<const uint8_t*>(d.data()), d.size());
  }
  void monitoringWithARecord() {
    ASSERT_EQ(pane->openLink("192.168.1.20,pw-12AB"), 0);
    frame(monitorLoginAcceptedPayload());
    frame(monitorAccessAcceptedPayload(3));
    MonitorFrame f{};
    f[19] = 0xFD;
    const uint8_t msg[] = {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05};
    f[22] = sizeof msg;
    std::memcpy(&f[23], msg, sizeof msg);
    frame(monitorRecordPayload(1, 3, 0, f));
  }
};

TEST(MonitorPaneWindow, TabShowsHostAndAccessCode) {
  PaneFixture f;
  ASSERT_EQ(f.pane->openLink("192.168.1.20:9876,pw-  12AB"), 0);
  ASSERT_EQ(f.pane->tabs()->count(), 1);
  EXPECT_EQ(f.pane->tabs()->tabText(0).toStdString(), "192.168.1.20-12AB");
  EXPECT_EQ(f.pane->mailAction()->text().toStdString(), "Mail");
  EXPECT_EQ(f.pane->mailAction()->toolTip().toStdString(),
            "Close monitor connection and send recorded events as mail attachement");
}

TEST(MonitorPaneWindow, MailIsEnabledOnlyOnceTheActiveLinkLoggedALine) {
  PaneFixture f;
  EXPECT_FALSE(f.pane->mailAction()->isEnabled()) << "no link";
  ASSERT_EQ(f.pane->openLink("192.168.1.20-12AB"), 0);
  EXPECT_FALSE(f.pane->mailAction()->isEnabled()) << "nothing logged yet";
  f.frame(monitorLoginAcceptedPayload());
  f.frame(monitorAccessAcceptedPayload(3));
  MonitorFrame fr{};
  fr[19] = 0xFD;
  fr[22] = 8;
  const uint8_t msg[] = {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05};
  std::memcpy(&fr[23], msg, sizeof msg);
  f.frame(monitorRecordPayload(1, 3, 0, fr));
  EXPECT_TRUE(f.pane->mailAction()->isEnabled());
  EXPECT_GT(f.pane->listOf(0)->count(), 0);
  // A second, silent link made active disables it again.
  ASSERT_EQ(f.pane->openLink("192.168.1.21-1"), 1);
  EXPECT_FALSE(f.pane->mailAction()->isEnabled());
  f.pane->tabs()->setCurrentIndex(0);
  EXPECT_TRUE(f.pane->mailAction()->isEnabled());
}

TEST(MonitorPaneWindow, MailClosesTheTabLogsOutAndHandsTheLogToTheMailer) {
  PaneFixture f;
  f.monitoringWithARecord();
  std::string log = readAll(f.dir.path() + "/logM00.txt");
  ASSERT_FALSE(log.empty());
  f.sent.clear();
  FakeMailer mailer(0);
  f.pane->mailAction()->trigger();
  EXPECT_EQ(f.pane->tabs()->count(), 0);
  ASSERT_EQ(f.sent.size(), 1u);
  auto p = parseBracketDatagram(reinterpret_cast<const uint8_t*>(f.sent[0].data()), f.sent[0].size());
  EXPECT_EQ(p, std::vector<std::string>{monitorLogoutPayload()});
  EXPECT_EQ(mailer.attached(), log);
  EXPECT_EQ(f.caption, "");
  EXPECT_FALSE(f.pane->mailAction()->isEnabled());
}

TEST(MonitorPaneWindow, MailerFailureShowsItsText) {
  PaneFixture f;
  f.monitoringWithARecord();
  FakeMailer mailer(1);
  f.pane->mailActiveLink();
  EXPECT_EQ(f.caption, "Send Mail failed to send message.");
  EXPECT_EQ(f.pane->tabs()->count(), 0);
}

}  // namespace
}  // namespace lumarc::ui
