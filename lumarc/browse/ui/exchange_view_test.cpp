// The exchange browser's wizard as the user meets it: the IP fields,
// "Recommended IP", "Save IP", the "Factory" question and "Upload", over a
// fake socket that plays the exchange.
#include "lumarc/browse/ui/exchange_view.h"

#include "common/byte_io.h"
#include "common/qt/qt_text.h"
#include "common/test_support.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/discovery/wizard_analysis.h"
#include "lumarc/discovery/wizard_commands.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>

namespace lumarc::browse {
namespace {

constexpr uint32_t ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }
const uint32_t kPc = ip(192, 168, 1, 20);

struct Wire {
  std::vector<std::string> sent;
  std::deque<std::string> waiting;
};

class FakeSocket : public DiscoverySocket {
 public:
  explicit FakeSocket(Wire& wire) : wire_(wire) {}
  std::vector<uint32_t> adapters() override { return {kPc}; }
  SocketFault open(uint32_t) override { return SocketFault::None; }
  bool send(std::string_view bytes) override {
    wire_.sent.emplace_back(bytes);
    return true;
  }
  long receive(uint8_t* buf, size_t capacity) override {
    if (wire_.waiting.empty()) return -1;
    const std::string d = wire_.waiting.front();
    wire_.waiting.pop_front();
    const size_t n = std::min(capacity, d.size());
    std::copy_n(d.begin(), n, buf);
    return long(n);
  }
  void close() override {}

 private:
  Wire& wire_;
};

// The exchange browser with the wizard ready for an exchange whose gateway
// is not the one its DHCP server recommends (so there is advice and a
// recommended gateway, but no recommended address or mask).
struct WizardView {
  corvane::testing::TempDir dir{"exchange-view"};
  Wire wire;
  std::vector<std::string> messages;
  ExchangeEntry e;
  std::unique_ptr<CfwDbDsc> view;

  explicit WizardView(const corvane::StringTable& texts = englishTexts()) {
    ui::testApplication();
    ExchangeViewHooks hooks;
    hooks.message = [this](const std::string& m) { messages.push_back(m); };
    hooks.askUploadFile = [this] { return QString::fromStdString(uploadPath); };
    view = std::make_unique<CfwDbDsc>(texts, dir.path(), std::make_unique<FakeSocket>(wire), hooks);
    e.id = {ip(192, 168, 1, 10), {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x01}};
    std::copy_n("CRV-PX48", 8, e.platform.begin());
    e.webPort = 80;
    e.mask = ip(255, 255, 255, 0);
    e.gateway = ip(192, 168, 1, 1);
    e.flags = dscv::kFlagWizard | dscv::kFlagEasy;
    e.xid = {1, 2, 3, 4};
    e.dhcpIp = ip(192, 168, 1, 60), e.dhcpMask = e.mask, e.dhcpGateway = ip(192, 168, 1, 254);
    e.dhcpServer = ip(192, 168, 1, 254), e.dhcpDns = ip(192, 168, 1, 254);
    // The installation call's platform code enters the wizard by itself.
    EXPECT_TRUE(view->openBrowser("CRV-PX48"));
    for (int i = 0; i < 40 && view->state() == DiscoveryState::Discovering; ++i) {
      wire.waiting.push_back(buildDiscoveryReply(e, kPc, 0xFFFFFFFF, dscv::kFullReply));
      view->tick();
    }
    answer();
    EXPECT_EQ(view->state(), DiscoveryState::WizardReady);
    wire.sent.clear();
  }
  void answer(std::string_view text = {}) {
    const corvane::ByteReader r(wire.sent.back());
    wire.waiting.push_back(buildWizardReply(r.u8(0), e.id, kPc, r.le32(dscv::kSequence), text));
    view->tick();
  }
  QString field(int i) const { return view->ipField(i)->text(); }
  std::string uploadPath;
};

// The rows the list shows (the analysis lines are plain rows).
std::vector<QString> lines(const CfwDbDsc& v) {
  std::vector<QString> out;
  const auto* list = v.findChild<QListWidget*>();
  for (int i = 0; list && i < list->count(); ++i) out.push_back(list->item(i)->text());
  return out;
}

// Answers the next modal box by a key (Return presses its default button)
// or by clicking the button with the role; records the box's default.
void answerBox(int key, QMessageBox::StandardButton click, QMessageBox::StandardButton* defaultSeen) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    *defaultSeen = box->standardButton(box->defaultButton());
    if (key) {
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
      QApplication::sendEvent(box, &press);
    } else {
      box->button(click)->click();
    }
  });
}

TEST(WizardView, FieldsShowTheExchangeAndRecommendedIpFillsOnlyRecommendedValues) {
  WizardView w;
  EXPECT_TRUE(w.view->ipField(0)->isVisible() || !w.view->isVisible());
  EXPECT_EQ(w.field(0), "192.168.1.10");
  EXPECT_EQ(w.field(1), "255.255.255.0");
  EXPECT_EQ(w.field(2), "192.168.1.1");
  const auto shown = lines(*w.view);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0], "Observations:");
  EXPECT_TRUE(shown.back().endsWith(". To fill boxes with recommended values. Press 'Recommended IP'."))
      << shown.back().toStdString();
  ASSERT_TRUE(w.view->commandEnabled(kCmdRecommendedIp));
  w.view->ipField(0)->setText("192.168.1.77");
  w.view->command(kCmdRecommendedIp);
  EXPECT_EQ(w.field(0), "192.168.1.77") << "no address was recommended";
  EXPECT_EQ(w.field(1), "255.255.255.0");
  EXPECT_EQ(w.field(2), "192.168.1.254");
}

TEST(WizardView, SaveIpSendsTheFieldsAndHalfTypedFieldsSendNothing) {
  WizardView w;
  w.view->ipField(2)->setText("192.168.1.");
  w.view->command(kCmdSaveIp);
  EXPECT_TRUE(w.wire.sent.empty());
  EXPECT_EQ(w.messages.back(), "Invalid IP address!");
  w.view->ipField(0)->setText("192.168.1.50");
  w.view->ipField(2)->setText("192.168.1.254");
  w.view->command(kCmdSaveIp);
  ASSERT_EQ(w.wire.sent.size(), 1u);
  const corvane::ByteReader r(w.wire.sent[0]);
  EXPECT_EQ(r.u8(0), kSaveIp);
  EXPECT_EQ(r.le32(26), ip(192, 168, 1, 50));
  EXPECT_EQ(r.le32(30), ip(255, 255, 255, 0));
  EXPECT_EQ(r.le32(34), ip(192, 168, 1, 254));
  EXPECT_FALSE(w.view->commandEnabled(kCmdFactory)) << "a command awaits its reply";
  w.answer(std::string("Busy") + std::string(28, '\0'));
  EXPECT_EQ(w.messages.back(), "Corvane refused 'Busy'");
  EXPECT_EQ(w.view->state(), DiscoveryState::WizardReady);
}

TEST(WizardView, FactoryAsksFirstAndEnterOrCancelSendsNothing) {
  struct Case {
    const char* what;
    int key;
    QMessageBox::StandardButton click;
    bool sends;
  } cases[] = {
      {"Return takes the default", Qt::Key_Return, QMessageBox::NoButton, false},
      {"Escape", Qt::Key_Escape, QMessageBox::NoButton, false},
      {"Cancel clicked", 0, QMessageBox::Cancel, false},
      {"OK clicked", 0, QMessageBox::Ok, true},
  };
  for (const Case& c : cases) {
    WizardView w;
    QMessageBox::StandardButton seen = QMessageBox::NoButton;
    answerBox(c.key, c.click, &seen);
    w.view->command(kCmdFactory);
    EXPECT_EQ(seen, QMessageBox::Cancel) << c.what;
    EXPECT_EQ(w.wire.sent.size(), c.sends ? 1u : 0u) << c.what;
    if (c.sends) {
      EXPECT_EQ(uint8_t(w.wire.sent[0][0]), kFactoryReset) << c.what;
    }
  }
}

TEST(WizardView, UploadShowsProgressAndABadFileSaysSoAndSendsNothing) {
  WizardView w;
  std::string bad(64, '\0');
  bad[3] = 1;
  w.uploadPath = w.dir.file("bad.bin");
  std::ofstream(w.uploadPath, std::ios::binary) << bad;
  w.view->command(kCmdUpload);
  EXPECT_TRUE(w.wire.sent.empty());
  EXPECT_EQ(w.messages.back(), "System parameter file upload failed!");

  std::string good(2000, '\0');
  std::string sum(4, '\0');
  corvane::ByteWriter(sum).putLe32(0, parameterChecksum(std::string_view(good).substr(0, 1996)));
  good.replace(1996, 4, sum);
  w.uploadPath = w.dir.file("good.bin");
  std::ofstream(w.uploadPath, std::ios::binary) << good;
  w.view->command(kCmdUpload);
  ASSERT_EQ(w.wire.sent.size(), 1u);
  EXPECT_EQ(w.messages.back(), "Uploading 0/2000 of " + w.uploadPath + ".");
  w.answer();
  EXPECT_EQ(w.messages.back(), "Uploading 1024/2000 of " + w.uploadPath + ".");
  EXPECT_EQ(w.view->uploadProgress()->text().toStdString(), w.messages.back());
}

TEST(WizardView, AnalysisSpeaksTheProgramLanguage) {
  for (int t = 0; t <= int(WizardText::FillBoxes); ++t)
    EXPECT_EQ(englishTexts().text(kTextWizardAnalysis + t), englishWizardText(WizardText(t))) << t;
  WizardView w(turkishTexts());
  const auto shown = lines(*w.view);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0], QString::fromUtf8("Gözlemler:"));
}

}  // namespace
}  // namespace lumarc::browse
