#include "common/qt/single_instance.h"
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/main_window.h"
#include "lumarc/browse/ui/ui_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDockWidget>
#include <QLocalSocket>
#include <QProcess>
#include <QTabBar>
#include <QThread>
#include <QToolBar>

#include <filesystem>
#include <fstream>

#include <signal.h>
#include <sys/stat.h>

namespace lumarc::ui {

using corvane::instanceEndpoint;
using corvane::sendInstanceCommand;
namespace {

namespace fs = std::filesystem;

using corvane::testing::TempDir;

// Processes events until pred holds or 10 s have passed.
template <typename Pred>
bool waitFor(Pred pred, int ms = 10000) {
  QDeadlineTimer deadline(ms);
  while (!pred()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

struct Window {
  explicit Window(const std::string& dir, std::string commandLine = "-x", bool dbOk = true) {
    testApplication();
    MainWindowConfig c;
    c.workDir = dir;
    c.settings = &settings;
    c.texts = &englishTexts();
    c.commandLine = std::move(commandLine);
    c.desktopDir = dir;
    c.interactive = false;
    c.openDatabases = [dbOk] { return dbOk; };
    w = std::make_unique<MainWindow>(c);
  }
  SettingsBlock settings;
  std::unique_ptr<MainWindow> w;
};

TEST(MainWindow, StartsTicksAndShowsItsTitle) {
  TempDir dir;
  Window win(dir.path());
  ASSERT_TRUE(win.w->initialise());
  win.w->show();
  std::string order;
  win.w->ticks().add(TickStep::Voice, [&] { order += "v"; });
  win.w->ticks().add(TickStep::Cmdr, [&] { order += "c"; });
  ASSERT_TRUE(waitFor([&] { return win.w->ticks().ticks() >= 3; }));
  EXPECT_EQ(order.substr(0, 4), "cvcv");
  EXPECT_EQ(win.w->windowTitle().toStdString(), "BRENNIC Lumarc v2.11");
  for (Pane p : {Pane::Monitor, Pane::Cmdr, Pane::Voice, Pane::Properties}) ASSERT_NE(win.w->dock(p), nullptr);
  EXPECT_EQ(win.w->dock(Pane::Cmdr)->windowTitle(), "Cmdr download");
  EXPECT_EQ(win.w->dockWidgetArea(win.w->dock(Pane::Voice)), Qt::BottomDockWidgetArea);
  EXPECT_EQ(win.w->dockWidgetArea(win.w->dock(Pane::Properties)), Qt::RightDockWidgetArea);
  EXPECT_EQ(win.w->tabifiedDockWidgets(win.w->dock(Pane::Monitor)).size(), 2);
  win.w->close();
  EXPECT_FALSE(win.w->tickRunning());
}

TEST(MainWindow, MessageBarShowsAndHides) {
  TempDir dir;
  Window win(dir.path());
  ASSERT_TRUE(win.w->initialise());
  win.w->show();
  auto* bar = win.w->findChild<QToolBar*>("messageBar");
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isVisible());
  win.w->setCaptionMessage("Socket opening fault!");
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(win.w->captionMessage(), "Socket opening fault!");
  win.w->setCaptionMessage("");
  EXPECT_FALSE(bar->isVisible());
  win.w->close();
}

TEST(MainWindow, ToolbarFollowsTheViewState) {
  TempDir dir;
  Window win(dir.path());
  ASSERT_TRUE(win.w->initialise());
  win.w->show();
  EXPECT_EQ(win.w->toolbarCommandIds().size(), 9u);
  win.w->runCommand(kCmdCmdr);
  EXPECT_EQ(win.w->viewState(), ViewState::CmdrBrowser);
  EXPECT_EQ(win.w->toolbarCommandIds(), toolbarFor(ViewState::CmdrBrowser, false));
  EXPECT_EQ(win.w->statusTextOf(4), "Cmdr browser");
  win.w->runCommand(kCmdSelect);
  EXPECT_EQ(win.w->viewState(), ViewState::CmdrSelection);
  EXPECT_FALSE(win.w->commandEnabledNow(kCmdCmdr));
  win.w->runCommand(kCmdCmdr);  // disabled: nothing happens
  EXPECT_EQ(win.w->viewState(), ViewState::CmdrSelection);
  win.w->runCommand(kCmdBack);
  EXPECT_EQ(win.w->viewState(), ViewState::CmdrBrowser);
  win.w->runCommand(kCmdCorvane);
  win.w->setWizardReady(true);
  EXPECT_EQ(win.w->statusTextOf(4), "Corvane wizard");
  auto* tb = win.w->findChild<QToolBar*>("toolbar");
  ASSERT_NE(tb, nullptr);
  EXPECT_GE(tb->actions().size(), 16);
  win.w->runCommand(kCmdCloseView);
  EXPECT_EQ(win.w->viewState(), ViewState::Start);
  EXPECT_EQ(win.w->statusTextOf(4), "");
  win.w->close();
}

TEST(MainWindow, DatabaseFailureStopsTheStart) {
  TempDir dir;
  Window win(dir.path(), "-x", false);
  EXPECT_FALSE(win.w->initialise());
}

TEST(MainWindow, CommandLineItemsReachTheLinkPanes) {
  TempDir dir;
  Window win(dir.path(), "-C10.0.0.1:5000 -V10.0.0.2");
  std::vector<LinkItem> opened;
  win.w->setLinkOpener([&](const LinkItem& i) { opened.push_back(i); });
  ASSERT_TRUE(win.w->initialise());
  ASSERT_TRUE(waitFor([&] { return win.w->tickRunning(); }));
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].kind, LinkKind::Cmdr);
  EXPECT_EQ(opened[0].target.port(), 5000);
  EXPECT_EQ(opened[1].kind, LinkKind::Voice);
  win.w->close();
}

TEST(MainWindow, InstallationCallOpensTheExchangeBrowserAndWritesShortcuts) {
  TempDir dir;
  Window win(dir.path(), "-D12345678 -Lumarc");
  ASSERT_TRUE(win.w->initialise());
  ASSERT_TRUE(waitFor([&] { return win.w->tickRunning(); }));
  EXPECT_EQ(win.w->viewState(), ViewState::ExchangeBrowser);
  EXPECT_EQ(win.w->windowTitle().toStdString(), "BRENNIC Lumarc");
  EXPECT_TRUE(fs::exists(dir.path() + "/BRENNIC Lumarc.desktop"));
  win.w->close();
}

// The program itself, started as a user would.
struct Program {
  Program(const std::string& dir, QStringList args = {},
          QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) {
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(dir));
    p.start(qEnvironmentVariable("LUMARC_BIN"), args);
  }
  ~Program() {
    if (p.state() != QProcess::NotRunning) {
      p.kill();
      p.waitForFinished(5000);
    }
  }
  QProcess p;
};

bool endpointUp() {
  QLocalSocket s;
  s.connectToServer(instanceEndpoint("BRENNIC Lumarc"));
  return s.waitForConnected(200);
}

uint32_t languageIn(const std::string& dir) {
  SettingsBlock s;
  if (!loadSettings(s, dir)) return 99;
  return s.language();
}

TEST(Program, CloseRequestSavesSettingsAndExits) {
  TempDir dir;
  Program a(dir.path());
  ASSERT_TRUE(a.p.waitForStarted(10000));
  ASSERT_TRUE(waitFor(endpointUp, 20000));
  ASSERT_TRUE(sendInstanceCommand("BRENNIC Lumarc", "close"));
  ASSERT_TRUE(a.p.waitForFinished(20000));
  EXPECT_EQ(a.p.exitCode(), 0);
  EXPECT_EQ(fs::file_size(dir.path() + "/Lumarc.set"), 36570u);
  EXPECT_TRUE(fs::is_directory(dir.path() + "/Wav"));
}

TEST(Program, SecondStartMakesTheFirstSaveAndExit) {
  TempDir one, two;
  Program a(one.path());
  ASSERT_TRUE(a.p.waitForStarted(10000));
  ASSERT_TRUE(waitFor(endpointUp, 20000));
  Program b(two.path());
  ASSERT_TRUE(a.p.waitForFinished(20000));
  EXPECT_EQ(a.p.exitCode(), 0);
  EXPECT_TRUE(fs::exists(one.path() + "/Lumarc.set"));
  // The second one now owns the endpoint and closes on SIGTERM like the close box.
  ASSERT_TRUE(waitFor(endpointUp, 20000));
  ::kill(pid_t(b.p.processId()), SIGTERM);
  ASSERT_TRUE(b.p.waitForFinished(20000));
  EXPECT_EQ(b.p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(b.p.exitCode(), 0);
  EXPECT_TRUE(fs::exists(two.path() + "/Lumarc.set"));
}

TEST(Program, TurkishLocaleWithoutSettingsStartsInTurkish) {
  TempDir dir;
  auto env = QProcessEnvironment::systemEnvironment();
  env.remove("LC_ALL");
  env.remove("LC_MESSAGES");
  env.insert("LANG", "tr_TR.UTF-8");
  Program a(dir.path(), {}, env);
  ASSERT_TRUE(waitFor(endpointUp, 20000));
  ::kill(pid_t(a.p.processId()), SIGINT);
  ASSERT_TRUE(a.p.waitForFinished(20000));
  EXPECT_EQ(languageIn(dir.path()), 1u);
}

TEST(Program, SettingsFileOverridesTheLocale) {
  TempDir dir;
  SettingsBlock s;
  s.setLanguage(0);
  s.setAutoScroll(1);
  ASSERT_TRUE(saveSettings(s, dir.path()));
  auto env = QProcessEnvironment::systemEnvironment();
  env.insert("LANG", "tr_TR.UTF-8");
  Program a(dir.path(), {}, env);
  ASSERT_TRUE(waitFor(endpointUp, 20000));
  ::kill(pid_t(a.p.processId()), SIGTERM);
  ASSERT_TRUE(a.p.waitForFinished(20000));
  EXPECT_EQ(languageIn(dir.path()), 0u);
}

TEST(Program, HelpNeedsNoDisplay) {
  QProcess p;
  auto env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  env.remove("WAYLAND_DISPLAY");
  p.setProcessEnvironment(env);
  p.start(qEnvironmentVariable("LUMARC_BIN"), {"--help"});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_TRUE(p.readAllStandardOutput().contains("usage: lumarc"));
  p.start(qEnvironmentVariable("LUMARC_BIN"), QStringList{});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_NE(p.exitCode(), 0);
  EXPECT_TRUE(p.readAllStandardError().contains("lumarc-cli"));
}

}  // namespace
}  // namespace lumarc::ui
