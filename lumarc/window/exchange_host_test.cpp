// The exchange browser in the window: the list, "No Corvane found!", the
// adapter selector and its stored choice, "Scan" enabling; and, inside
// network namespaces the test creates, the real multicast socket against
// corvane-sim (a screenshot of the list is saved when
// LUMARC_SCREENSHOT_DIR names a folder).
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/exchange_host.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/browse/ui/exchange_view.h"
#include "lumarc/browse/ui/web_view.h"
#include "tools/sim/netns.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QThread>
#ifdef LUMARC_WEBENGINE
#include <QWebEngineView>
#endif

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>

namespace lumarc::ui {
namespace {

using corvane::testing::TempDir;

constexpr uint32_t ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }

class FakeSocket : public DiscoverySocket {
 public:
  std::vector<uint32_t> eligible;
  std::deque<std::string> waiting;
  int sent = 0, opened = 0, closed = 0;
  uint32_t openedOn = 0;
  std::vector<uint32_t> adapters() override { return eligible; }
  SocketFault open(uint32_t a) override {
    openedOn = a;
    ++opened;
    return SocketFault::None;
  }
  std::string last;  // the last datagram sent
  bool send(std::string_view d) override {
    last = d;
    ++sent;
    return true;
  }
  long receive(uint8_t* buf, size_t cap) override {
    if (waiting.empty()) return -1;
    const std::string d = waiting.front();
    waiting.pop_front();
    std::copy_n(d.begin(), std::min(cap, d.size()), buf);
    return long(std::min(cap, d.size()));
  }
  void close() override { ++closed; }
};

struct Window {
  TempDir dir{"exchange-view"};
  SettingsBlock settings;
  std::unique_ptr<MainWindow> w;
  std::unique_ptr<ExchangeBrowserHost> host;
  FakeSocket* socket = nullptr;
  bool initialised = false;

  explicit Window(std::vector<uint32_t> adapters, bool realSocket = false) {
    testApplication();
    MainWindowConfig c;
    c.workDir = dir.path();
    c.settings = &settings;
    c.texts = &englishTexts();
    c.commandLine = "-x";
    c.interactive = false;
    c.openDatabases = [] { return true; };
    w = std::make_unique<MainWindow>(c);
    initialised = w->initialise();
    std::unique_ptr<DiscoverySocket> s;
    if (!realSocket) {
      auto fake = std::make_unique<FakeSocket>();
      fake->eligible = std::move(adapters);
      socket = fake.get();
      s = std::move(fake);
    }
    host = std::make_unique<ExchangeBrowserHost>(*w, w.get(), std::move(s));
    host->view()->resize(1200, 300);
  }
  browse::CfwDbDsc& view() { return *host->view(); }
  std::vector<std::string> rows() {
    std::vector<std::string> out;
    QListWidget* l = view().listControl();
    for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
    return out;
  }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) view().tick();
  }
};

ExchangeEntry exchange(uint32_t address, uint8_t mac) {
  ExchangeEntry e;
  e.id.ip = address;
  e.id.mac = {0, 0x1A, 0x2B, 0x3C, 0x4D, mac};
  e.mask = ip(255, 255, 255, 0);
  e.flags = 1;
  const char* p = "CRV-PX48";
  std::copy(p, p + 8, e.platform.begin());
  return e;
}

TEST(ExchangeBrowserView, ListShowsHeaderAndExchangesAndScanComesBackWhenListed) {
  Window win({ip(192, 168, 5, 1)});
  ASSERT_TRUE(win.host->open());
  EXPECT_FALSE(win.host->commandEnabled(kCmdScan));
  win.socket->waiting.push_back(buildDiscoveryReply(exchange(ip(192, 168, 5, 10), 1), ip(192, 168, 5, 1), ~0u, 129));
  win.ticks(80);
  const auto rows = win.rows();
  ASSERT_GE(rows.size(), 2u);
  EXPECT_TRUE(rows[0].starts_with("Mac.Address")) << rows[0];
  EXPECT_TRUE(rows[1].starts_with("00:1A:2B:3C:4D:01 192.168.5.10")) << rows[1];
  EXPECT_TRUE(win.host->commandEnabled(kCmdScan));
  EXPECT_FALSE(win.view().adapterSelector()->isVisibleTo(&win.view()));
  // Leaving a listed browser keeps its list.
  win.host->close();
  EXPECT_EQ(win.rows().size(), rows.size());
}

TEST(ExchangeBrowserView, SilentNetworkShowsNoCorvaneFoundWithoutHeader) {
  Window win({ip(192, 168, 5, 1)});
  ASSERT_TRUE(win.host->open());
  win.ticks(80);
  EXPECT_EQ(win.rows(), std::vector<std::string>{"No Corvane found!"});
}

TEST(ExchangeBrowserView, NoEligibleAdapterSaysSocketBindingFaultAndSendsNothing) {
  Window win({});
  EXPECT_FALSE(win.host->open());
  win.ticks(30);
  EXPECT_EQ(win.w->captionMessage(), "Socket binding fault!");
  EXPECT_EQ(win.socket->sent, 0);
}

TEST(ExchangeBrowserView, AdapterSelectorOffersEveryAdapterAndStoresTheChoice) {
  Window win({ip(192, 168, 5, 1), ip(10, 3, 0, 1)});
  ASSERT_TRUE(win.host->open());
  QComboBox* box = win.view().adapterSelector();
  ASSERT_TRUE(box->isVisibleTo(&win.view()));
  ASSERT_EQ(box->count(), 2);
  EXPECT_EQ(box->currentText(), "10.3.0.1");
  box->setCurrentIndex(0);
  emit box->activated(0);
  EXPECT_EQ(win.socket->openedOn, ip(192, 168, 5, 1));
  EXPECT_EQ(win.settings.adapter(), ip(192, 168, 5, 1));
  SettingsBlock stored;
  ASSERT_TRUE(loadSettings(stored, win.dir.path()));
  EXPECT_EQ(stored.adapter(), ip(192, 168, 5, 1));
  // The stored choice is used at the next opening.
  win.host->close();
  ASSERT_TRUE(win.host->open());
  EXPECT_EQ(win.socket->openedOn, ip(192, 168, 5, 1));
}

TEST(ExchangeBrowserView, WizardOnTheSelectedExchangeShowsTheAnalysisAndReadiesTheWindow) {
  Window win({ip(192, 168, 5, 1)});
  ASSERT_TRUE(win.host->open());
  ExchangeEntry e = exchange(ip(192, 168, 5, 10), 1);
  e.gateway = e.dhcpGateway = ip(192, 168, 5, 1);
  e.dhcpIp = ip(192, 168, 5, 60);
  e.dhcpMask = ip(255, 255, 0, 0);
  e.dhcpServer = e.dhcpDns = ip(192, 168, 5, 1);
  e.xid = {1, 0, 0, 0};
  win.socket->waiting.push_back(buildDiscoveryReply(e, ip(192, 168, 5, 1), ~0u, 129));
  win.ticks(80);
  EXPECT_FALSE(win.host->commandEnabled(kCmdWizard));  // no line selected
  win.view().listControl()->setCurrentRow(1);
  ASSERT_TRUE(win.host->commandEnabled(kCmdWizard));
  const int sentBefore = win.socket->sent;
  win.host->command(kCmdWizard);
  EXPECT_EQ(win.socket->sent, sentBefore + 1);
  EXPECT_EQ(win.view().state(), DiscoveryState::WizardStarting);
  win.socket->waiting.push_back(buildWizardReply(129, e.id, ip(192, 168, 5, 1), 0));
  win.view().tick();
  EXPECT_EQ(win.view().state(), DiscoveryState::WizardReady);
  EXPECT_TRUE(win.w->wizardReady());
  const auto rows = win.rows();
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[0], "Observations:");
  EXPECT_EQ(rows[1], "1. CRV-PX48 Subnet mask is not DHCP server recommended!");
  EXPECT_EQ(rows[2], "Recommendations:");
  EXPECT_EQ(rows[3], "1. Set exchange Subnet mask as 255.255.0.0.");
  if (const QByteArray shots = qgetenv("LUMARC_SCREENSHOT_DIR"); !shots.isEmpty()) {
    win.view().show();
    QApplication::processEvents();
    win.view().grab().save(QString::fromUtf8(shots) + "/exchange-wizard.png");
  }
  // Scan leaves the wizard.
  win.host->command(kCmdScan);
  EXPECT_EQ(win.view().state(), DiscoveryState::Discovering);
  EXPECT_FALSE(win.w->wizardReady());
}

// The exchange browser and its web page as the window's views 12 and 13,
// routed to the host as the program routes them.
struct ExchangeViews : ViewHost {
  ExchangeBrowserHost* host = nullptr;
  std::vector<QWidget*> createViews(QWidget*) override {
    std::vector<QWidget*> v(size_t(ViewState::WebPage) + 1, nullptr);
    v[size_t(ViewState::ExchangeBrowser)] = host->widget();
    v[size_t(ViewState::WebPage)] = host->pages();
    return v;
  }
  void viewShown(ViewState, bool) override {}
  void viewLeft(ViewState s) override {
    if (s == ViewState::ExchangeBrowser) host->close();
    if (s == ViewState::WebPage) host->pagesLeft();
  }
  bool enterView(ViewState s) override { return s != ViewState::ExchangeBrowser || host->open(); }
  void viewCommand(int c, ViewState) override { host->command(c); }
  bool viewCommandEnabled(int c, ViewState) const override { return host->commandEnabled(c); }
};

// An embedded browser control the test drives: it records what it is told
// and reports loads and history when the test says so.
class FakeControl : public browse::PageControl {
 public:
  Events events;
  std::vector<std::string> navigated;
  int backs = 0, forwards = 0, stops = 0;
  bool canBack = false, canForward = false;
  QWidget* w = new QWidget;
  ~FakeControl() override { delete w; }
  void setEvents(Events e) override { events = std::move(e); }
  QWidget* widget() override { return w; }
  void navigate(const std::string& a) override { navigated.push_back(a); }
  void back() override { ++backs; }
  void forward() override { ++forwards; }
  void stop() override { ++stops; }
  bool canGoBack() const override { return canBack; }
  bool canGoForward() const override { return canForward; }
};

// A program in dir that writes its arguments, one per line, to record.
void recordingProgram(const std::string& dir, const std::string& name, const std::string& record) {
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/" + name;
  std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"" << record << ".tmp\"\nmv \"" << record
                      << ".tmp\" \"" << record << "\"\n";
  ::chmod(path.c_str(), 0755);
}

std::vector<std::string> recorded(const std::string& record) {
  for (int i = 0; i < 100 && !std::filesystem::exists(record); ++i) QThread::msleep(50);
  std::vector<std::string> lines;
  std::ifstream in(record);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// PATH with a folder of fake desktop programs in front, for one test.
struct FakeDesktop {
  std::string bin, record, oldPath;
  explicit FakeDesktop(const TempDir& dir) : bin(dir.file("desktop")), record(dir.file("xdg-open.txt")) {
    recordingProgram(bin, "xdg-open", record);
    oldPath = qEnvironmentVariable("PATH").toStdString();
    qputenv("PATH", QByteArray::fromStdString(bin + ":" + oldPath));
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
  }
  ~FakeDesktop() { qputenv("PATH", QByteArray::fromStdString(oldPath)); }
};

struct PageWindow : Window {
  ExchangeViews views;
  FakeControl* control = nullptr;
  uint32_t adapter;
  explicit PageWindow(bool embedded, uint32_t adapter = ip(192, 168, 5, 1)) : Window({adapter}), adapter(adapter) {
    views.host = host.get();
    std::unique_ptr<FakeControl> c;
    if (embedded) c = std::make_unique<FakeControl>();
    control = c.get();
    host->setPageControl(std::move(c));
    w->setViewHost(&views);
    w->runCommand(kCmdCorvane);
  }
  // Lists the exchanges and selects the first one's line.
  void list(const std::vector<ExchangeEntry>& exchanges) {
    for (const ExchangeEntry& e : exchanges) socket->waiting.push_back(buildDiscoveryReply(e, adapter, ~0u, 129));
    ticks(80);
    view().listControl()->setCurrentRow(1);
    w->refreshToolbar();
  }
  bool progressShown() const { return !w->findChild<QProgressBar*>("loadingProgress")->isHidden(); }
};

ExchangeEntry webExchange(uint32_t address, uint16_t port, uint8_t flags) {
  ExchangeEntry e = exchange(address, 7);
  e.webPort = port;
  e.flags = flags;
  return e;
}

TEST(ExchangePages, ExpertAndEasyAreOfferedOnlyForAReachableExchangeWithAWebServer) {
  struct Case {
    const char* name;
    ExchangeEntry e;
    bool expert, easy;
  };
  const Case cases[] = {
      {"both pages", webExchange(ip(192, 168, 5, 20), 8080, 3), true, true},
      {"no Easy page offered", webExchange(ip(192, 168, 5, 20), 8080, 1), true, false},
      {"no web port", webExchange(ip(192, 168, 5, 20), 0, 3), false, false},
      {"other subnet: unaccessible", webExchange(ip(10, 9, 0, 20), 8080, 3), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageWindow win(false);
    EXPECT_FALSE(win.w->commandEnabledNow(kCmdExpert));  // nothing listed yet
    win.list({c.e});
    EXPECT_EQ(win.w->commandEnabledNow(kCmdExpert), c.expert);
    EXPECT_EQ(win.w->commandEnabledNow(kCmdEasy), c.easy);
  }
}

TEST(ExchangePages, WithoutAnEmbeddedBrowserThePageOpensOnTheDesktopAndTheListStays) {
  PageWindow win(false);
  FakeDesktop desktop(win.dir);
  win.list({webExchange(ip(192, 168, 5, 20), 8080, 3)});
  const int closedBefore = win.socket->closed;
  win.w->runCommand(kCmdExpert);
  EXPECT_EQ(recorded(desktop.record), std::vector<std::string>{"http://192.168.5.20:8080/xp.asp"});
  EXPECT_EQ(win.w->captionMessage(), "Web page opened in the desktop browser: http://192.168.5.20:8080/xp.asp");
  EXPECT_EQ(win.w->viewState(), ViewState::ExchangeBrowser);
  EXPECT_EQ(win.socket->closed, closedBefore);
  EXPECT_EQ(win.view().state(), DiscoveryState::Listed);
  // A double-click on the line does the same.
  std::filesystem::remove(desktop.record);
  emit win.view().lineActivated(1);
  EXPECT_EQ(recorded(desktop.record), std::vector<std::string>{"http://192.168.5.20:8080/xp.asp"});
}

TEST(ExchangePages, EmbeddedPageIsBusyWhileLoadingAndBackRediscovers) {
  PageWindow win(true);
  win.list({webExchange(ip(192, 168, 5, 20), 80, 3)});
  win.w->runCommand(kCmdEasy);
  // The page view replaces the exchange browser, whose socket closes.
  EXPECT_EQ(win.w->viewState(), ViewState::WebPage);
  EXPECT_GE(win.socket->closed, 1);
  const std::string easy = "http://192.168.5.20:80/xp.asp?fn_65";
  EXPECT_EQ(win.control->navigated, std::vector<std::string>{easy});
  EXPECT_EQ(win.w->toolbarCommandIds().back(), kCmdPageForward);
  EXPECT_FALSE(win.w->commandEnabledNow(kCmdPageBack));

  win.control->events.loadStarted();
  EXPECT_TRUE(win.progressShown());
  win.control->canBack = true;
  win.control->events.historyChanged();
  EXPECT_TRUE(win.w->findChild<QAction*>("command359")->isEnabled());
  win.w->runCommand(kCmdPageBack);
  EXPECT_EQ(win.control->backs, 1);
  EXPECT_FALSE(win.w->commandEnabledNow(kCmdPageForward));
  win.control->events.loadFinished(true);
  EXPECT_FALSE(win.progressShown());
  win.w->runCommand(kCmdHome);
  EXPECT_EQ(win.control->navigated.back(), easy);

  // "Back" while a page loads: loading stops and discovery starts again.
  win.control->events.loadStarted();
  const int opened = win.socket->opened;
  win.w->runCommand(kCmdBack);
  EXPECT_EQ(win.w->viewState(), ViewState::ExchangeBrowser);
  EXPECT_EQ(win.control->stops, 1);
  EXPECT_FALSE(win.progressShown());
  EXPECT_EQ(win.socket->opened, opened + 1);
  EXPECT_EQ(win.view().state(), DiscoveryState::Discovering);
}

TEST(ExchangePages, ABrowserControlThatCannotStartHandsThePageToTheDesktop) {
  PageWindow win(true);
  FakeDesktop desktop(win.dir);
  win.list({webExchange(ip(192, 168, 5, 20), 8080, 3)});
  win.w->runCommand(kCmdExpert);
  ASSERT_EQ(win.w->viewState(), ViewState::WebPage);
  win.control->events.failed();
  EXPECT_EQ(win.w->viewState(), ViewState::ExchangeBrowser);
  EXPECT_EQ(recorded(desktop.record), std::vector<std::string>{"http://192.168.5.20:8080/xp.asp"});
  EXPECT_EQ(win.w->captionMessage(), "Web page opened in the desktop browser: http://192.168.5.20:8080/xp.asp");
  // Later pages go to the desktop directly.
  EXPECT_FALSE(win.host->pages()->embedded());
}

TEST(ExchangePages, AsRootWithTheSandboxOnThePageGoesToTheDesktopAndTheMessageSaysWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "runs as root only";
  if (!browse::embeddedBrowserBuilt()) GTEST_SKIP() << "no embedded browser in this build";
  const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), disabled = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
  qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
  {
    PageWindow win(false);
    // No control, since Chromium would end the program.
    EXPECT_EQ(browse::makeEmbeddedPageControl(win.w.get()), nullptr);
    win.host->pages()->useEmbeddedBrowser();
    EXPECT_FALSE(win.host->pages()->embedded());
    FakeDesktop desktop(win.dir);
    win.list({webExchange(ip(192, 168, 5, 20), 8080, 3)});
    win.w->runCommand(kCmdExpert);
    EXPECT_EQ(recorded(desktop.record), std::vector<std::string>{"http://192.168.5.20:8080/xp.asp"});
    EXPECT_EQ(win.w->captionMessage(), englishTexts().text(kTextPageNotEmbeddedAsRoot) +
                                           " Web page opened in the desktop browser: http://192.168.5.20:8080/xp.asp");
    EXPECT_EQ(win.w->viewState(), ViewState::ExchangeBrowser);
  }
  // Turned off by the user, the sandbox lets the view start.
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
  EXPECT_FALSE(browse::sandboxRefusesRoot());
  qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  EXPECT_FALSE(browse::sandboxRefusesRoot());
  flags.isNull() ? qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS") : qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
  disabled.isNull() ? qunsetenv("QTWEBENGINE_DISABLE_SANDBOX") : qputenv("QTWEBENGINE_DISABLE_SANDBOX", disabled);
}

#ifdef LUMARC_WEBENGINE
// A TCP port free on the loopback address just now.
uint16_t freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

// Qt WebEngine for real, against the pages corvane-sim serves on loopback:
// the Easy page loads in the window, busy from its start to its end; the
// Expert page, Page back, Page forward and Home move through the history;
// a page that does not load is named in the message bar; "Back" goes back
// to the exchange browser, which discovers again.
//
// Chromium deletes some of its own objects through a pointer of another
// size, which AddressSanitizer reports as a new-delete-type-mismatch inside
// libQt6WebEngineCore. Under ASan the test therefore runs in a child of
// this program with that one check off; every other check stays on.
TEST(ExchangePages, TheEmbeddedViewShowsTheExchangesPagesAndMovesThroughThem) {
  const std::string simPath = testproc::programPath("CORVANE_SIM");
  if (simPath.empty()) GTEST_SKIP() << "CORVANE_SIM not set";
#ifdef __SANITIZE_ADDRESS__
  if (!qEnvironmentVariableIsSet("LUMARC_WEBENGINE_CHILD")) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    const QByteArray options = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", options + (options.isEmpty() ? "" : ":") + "new_delete_type_mismatch=0");
    qputenv("LUMARC_WEBENGINE_CHILD", "1");
    testproc::ChildProcess child(
        {self, "--gtest_filter=ExchangePages.TheEmbeddedViewShowsTheExchangesPagesAndMovesThroughThem"});
    options.isNull() ? qunsetenv("ASAN_OPTIONS") : qputenv("ASAN_OPTIONS", options);
    qunsetenv("LUMARC_WEBENGINE_CHILD");
    EXPECT_EQ(child.wait(), 0) << child.output();
    EXPECT_NE(child.output().find("[  PASSED  ] 1 test"), std::string::npos) << child.output();
    return;
  }
#endif
  // The test turns Chromium's sandbox off itself (it runs as root in CI)
  // and renders without a GPU.
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
  TempDir dir("exchange-pages");
  const uint16_t port = freePort();
  ASSERT_NE(port, 0);
  const std::string ids = dir.file("ids.txt");
  std::ofstream(ids) << "mac=00:1A:2B:3C:4D:07 ip=127.0.0.2 mask=255.0.0.0 web=" << port << " flags=3\n";
  auto sim = std::make_unique<testproc::ChildProcess>(
      std::vector<std::string>{simPath, "--listen", "127.0.0.1", "discovery", "--identities", ids});
  ASSERT_TRUE(testproc::waitFor([&] { return sim->output().find("listening") != std::string::npos; }, 10))
      << sim->output();

  PageWindow win(false, ip(127, 0, 0, 1));
  win.host->pages()->useEmbeddedBrowser();
  ASSERT_TRUE(win.host->pages()->embedded());
  win.list({webExchange(ip(127, 0, 0, 2), port, 3)});
  const browse::CfwBrowser& pages = *win.host->pages();
  const std::string base = "http://127.0.0.2:" + std::to_string(port), easy = base + "/xp.asp?fn_65";
  // Runs the event loop through one load: true when the view was busy,
  // with the progress bar shown, and then idle, with the bar gone.
  auto loaded = [&] {
    bool wasBusy = false;
    for (int i = 0; i < 1500; ++i) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      if (pages.busy()) {
        wasBusy = true;
        EXPECT_TRUE(win.progressShown());
      } else if (wasBusy) {
        EXPECT_FALSE(win.progressShown());
        return true;
      }
      QThread::msleep(5);
    }
    return false;
  };

  win.w->runCommand(kCmdEasy);
  ASSERT_EQ(win.w->viewState(), ViewState::WebPage);
  ASSERT_TRUE(loaded()) << sim->output();
  EXPECT_EQ(win.w->captionMessage(), "");
  EXPECT_NE(sim->output().find("http GET /xp.asp?fn_65 HTTP/1.1 from 127.0.0.1 -> 200 OK"), std::string::npos)
      << sim->output();
  EXPECT_FALSE(win.w->commandEnabledNow(kCmdPageBack));

  // On to the Expert page, as a user would type it (a script's click on a
  // link would be skipped by Chromium's history, having no user gesture).
  QWebEngineView* view = win.host->pages()->findChild<QWebEngineView*>();
  ASSERT_NE(view, nullptr);
  view->setUrl(QUrl(QString::fromStdString(base + "/xp.asp")));
  ASSERT_TRUE(loaded());
  EXPECT_EQ(view->url().toString().toStdString(), base + "/xp.asp");
  ASSERT_TRUE(testproc::waitFor(
      [&] {
        QCoreApplication::processEvents();
        return win.w->commandEnabledNow(kCmdPageBack);
      },
      5));
  // Back and forward may come from Chromium's page cache without a load.
  auto at = [&](const std::string& address) {
    return testproc::waitFor(
        [&] {
          QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
          return view->url().toString().toStdString() == address && !pages.busy() && !win.progressShown();
        },
        10);
  };
  win.w->runCommand(kCmdPageBack);
  ASSERT_TRUE(at(easy)) << view->url().toString().toStdString();
  ASSERT_TRUE(win.w->commandEnabledNow(kCmdPageForward));
  win.w->runCommand(kCmdPageForward);
  ASSERT_TRUE(at(base + "/xp.asp"));
  win.w->runCommand(kCmdHome);
  ASSERT_TRUE(loaded());
  EXPECT_EQ(view->url().toString().toStdString(), easy);
  EXPECT_EQ(win.w->captionMessage(), "");

  // The exchange goes away: Home does not load, and the message bar says so.
  sim.reset();
  win.w->runCommand(kCmdHome);
  ASSERT_TRUE(loaded());
  const std::string said = win.w->captionMessage();
  EXPECT_TRUE(said.starts_with("Web page could not be opened: " + easy + " (")) << said;
  EXPECT_TRUE(win.host->pages()->embedded()) << "a page that fails leaves the view working";

  // "Back": the exchange browser discovers again.
  const int opened = win.socket->opened;
  win.w->runCommand(kCmdBack);
  EXPECT_EQ(win.w->viewState(), ViewState::ExchangeBrowser);
  EXPECT_FALSE(win.progressShown());
  EXPECT_EQ(win.socket->opened, opened + 1);
  EXPECT_EQ(win.view().state(), DiscoveryState::Discovering);
}
#endif

// The whole chain of an installation call from the exchange's replies:
// the account and Quillet accepted, then nothing to recommend, so the Easy
// page opens (on the desktop in this build) and the list stays.
TEST(InstallationChain, RepliesStartHalvernThenQuilletThenOpenTheEasyPage) {
  PageWindow win(false);
  FakeDesktop desktop(win.dir);
  recordingProgram(win.dir.file("bin"), "Halvern", win.dir.file("halvern.txt"));
  recordingProgram(win.dir.file("bin"), "Quillet", win.dir.file("quillet.txt"));
  win.host->setPrograms(SiblingPrograms(win.dir.path(), win.dir.file("bin")));
  ExchangeEntry e = webExchange(ip(192, 168, 5, 20), 80, 3);
  e.gateway = e.dhcpGateway = e.dhcpServer = ip(192, 168, 5, 1);
  e.dhcpMask = e.mask;
  e.dhcpIp = ip(192, 168, 5, 60);
  e.xid = {1, 0, 0, 0};
  FollowUps follow;
  follow.halvern = follow.quillet = true;
  ASSERT_TRUE(win.view().openBrowser("CRV-PX48", follow));
  win.socket->waiting.push_back(buildDiscoveryReply(e, ip(192, 168, 5, 1), ~0u, 129));
  const DiscoveryEngine& engine = win.view().engine();
  win.ticks(80);
  // Each command the engine sends is answered as accepted.
  std::vector<int> answered;
  for (int i = 0; i < 5 && engine.commandOutstanding(); ++i) {
    const uint8_t command = uint8_t(win.socket->last.at(0));
    answered.push_back(command);
    win.socket->waiting.push_back(buildWizardReply(command, e.id, ip(192, 168, 5, 1), engine.sequence()));
    win.view().tick();
  }
  EXPECT_EQ(answered, (std::vector<int>{kWizardStart, 135, 134}));
  ASSERT_EQ(engine.password().size(), 12u);
  const std::vector<std::string> account = {"-CHalvern", "-UHalvern", "-P" + engine.password(), "-I192.168.5.20"};
  EXPECT_EQ(recorded(win.dir.file("halvern.txt")), account);
  EXPECT_EQ(recorded(win.dir.file("quillet.txt")), std::vector<std::string>{});
  EXPECT_TRUE(std::filesystem::exists(win.dir.file("quillet.txt")));
  QCoreApplication::processEvents();
  EXPECT_EQ(recorded(desktop.record), std::vector<std::string>{"http://192.168.5.20:80/xp.asp?fn_65"});
  EXPECT_EQ(win.w->viewState(), ViewState::ExchangeBrowser);
  // A program that is not there starts nothing and is named.
  std::filesystem::remove(win.dir.file("bin/Quillet"));
  win.host->startQuillet();
  EXPECT_EQ(win.w->captionMessage(), "Program not found: Quillet");
}

// Runs inside the PC's namespace (started by the test below).
TEST(ExchangeBrowserView, InsideNamespaceListsTheSimulatorsExchanges) {
  if (!qEnvironmentVariableIsSet("LUMARC_NETNS_CHILD")) GTEST_SKIP() << "runs inside the namespaces only";
  Window win({}, true);
  ASSERT_TRUE(win.host->open());
  for (int i = 0; i < 100 && win.host->view()->state() == DiscoveryState::Discovering; ++i) {
    QThread::msleep(100);
    win.view().tick();
  }
  const auto rows = win.rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[1].starts_with("00:1A:2B:3C:4D:01 10.79.0.10")) << rows[1];
  EXPECT_TRUE(rows[2].starts_with("00:1A:2B:3C:4D:02 10.79.0.11")) << rows[2];
  if (const QByteArray shots = qgetenv("LUMARC_SCREENSHOT_DIR"); !shots.isEmpty()) {
    win.view().show();
    QApplication::processEvents();
    win.view().grab().save(QString::fromUtf8(shots) + "/exchange-browser.png");
  }
}

TEST(ExchangeBrowserView, RealSocketFindsGroupAndUnicastRepliesInNamespaces) {
  if (qEnvironmentVariableIsSet("LUMARC_NETNS_CHILD")) GTEST_SKIP();
  testproc::NamespacePair ns("lgw");
  if (!ns.ok()) GTEST_SKIP() << "no network namespaces: " << ns.reason();
  ASSERT_TRUE(ns.link("vpc0", "10.79.0.1/24", "vex0", "10.79.0.2/24"));
  TempDir dir("exchange-ns");
  const std::string ids = dir.file("ids.txt");
  std::ofstream(ids) << "mac=00:1A:2B:3C:4D:01 ip=10.79.0.10 mask=255.255.255.0 web=80 flags=3 name=Office\n"
                        "mac=00:1A:2B:3C:4D:02 ip=10.79.0.11 mask=255.255.255.0 reply=unicast name=Store\n";
  testproc::ChildProcess sim(testproc::NamespacePair::inside(
      ns.b(), {testproc::programPath("CORVANE_SIM"), "--listen", "10.79.0.2", "discovery", "--identities", ids}));
  ASSERT_TRUE(testproc::waitFor([&] { return sim.output().find("listening") != std::string::npos; }, 10));
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  ::setenv("LUMARC_NETNS_CHILD", "1", 1);
  testproc::ChildProcess child(testproc::NamespacePair::inside(
      ns.a(), {self, "--gtest_filter=ExchangeBrowserView.InsideNamespaceListsTheSimulatorsExchanges"}));
  ::unsetenv("LUMARC_NETNS_CHILD");
  EXPECT_EQ(child.wait(), 0) << child.output();
  EXPECT_NE(child.output().find("[  PASSED  ] 1 test"), std::string::npos) << child.output();
}

}  // namespace
}  // namespace lumarc::ui
