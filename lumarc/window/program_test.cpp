// The window program's parts wired as at start, against the simulator.
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/link_pane.h"
#include "lumarc/window/main_window.h"
#include "lumarc/window/program.h"
#include "lumarc/browse/ui/ui_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDockWidget>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <filesystem>

namespace lumarc::ui {
namespace {

namespace fs = std::filesystem;

using corvane::testing::readAll;
using corvane::testing::TempDir;

template <typename Pred>
bool waitUntil(Pred pred, int ms = 20000) {
  QDeadlineTimer deadline(ms);
  while (!pred()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

struct Simulator {
  explicit Simulator(QStringList args) {
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(qEnvironmentVariable("CORVANE_SIM"), args);
  }
  ~Simulator() {
    p.kill();
    p.waitForFinished(5000);
  }
  // The port from the simulator's "listening ADDRESS:PORT" line.
  QString port() {
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
      p.waitForReadyRead(100);
      out += p.readAll();
      auto m = QRegularExpression("listening \\S+:(\\d+)").match(QString::fromUtf8(out));
      if (m.hasMatch()) return m.captured(1);
    }
    return {};
  }
  QProcess p;
  QByteArray out;
};

TEST(Program, CmdrRecordsFromTheExchangeLandInTheDatabaseListAndLog) {
  testApplication();
  TempDir tmp("lumarc-program");
  const std::string& dir = tmp.path();
  fs::create_directories(dir + "/Wav");
  Simulator sim({"cmdr", "--any-port", "--count", "8", "--batch", "4", "--split", "7"});
  QString port = sim.port();
  ASSERT_FALSE(port.isEmpty()) << sim.out.toStdString();

  SettingsBlock settings;
  {
    Program program(dir, settings, englishTexts(), "", "");
    MainWindow w(program.windowConfig("-C127.0.0.1:" + port.toStdString(), dir, false));
    ASSERT_TRUE(w.initialise());
    program.attach(w);
    w.show();
    auto* pane = qobject_cast<LinkPane*>(w.dock(Pane::Cmdr)->widget());
    ASSERT_NE(pane, nullptr);
    // The command line's item opened the link in slot 0 at start. Kinds A to
    // F come in turn; kind F is acknowledged without a line, so 7 lines show.
    ASSERT_TRUE(waitUntil([&] { return pane->listOf(0) && pane->listOf(0)->count() >= 7; }))
        << (pane->listOf(0) ? pane->listOf(0)->count() : -1);
    EXPECT_EQ(settings.history(LinkKind::Cmdr).slot(0).hostText(), "127.0.0.1");
    w.close();
  }
  EXPECT_TRUE(fs::exists(dir + "/Lumarc.mdb"));
  EXPECT_TRUE(fs::exists(dir + "/Wav/LumarcVt.mdb"));
  std::string log = readAll(dir + "/logC00.txt");
  EXPECT_NE(log.find("127.0.0.1:" + port.toStdString()), std::string::npos);
  size_t lines = 0;
  for (size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2)) ++lines;
  EXPECT_GE(lines, 8u);  // header and seven record lines
  EXPECT_FALSE(fs::exists(dir + "/fcmdr.txt"));
}

TEST(Program, UnreachableExchangeShowsTheOpeningFaultInTheMessageBar) {
  testApplication();
  TempDir tmp("lumarc-program");
  const std::string& dir = tmp.path();
  fs::create_directories(dir + "/Wav");
  SettingsBlock settings;
  {
    Program program(dir, settings, englishTexts(), "", "");
    MainWindow w(program.windowConfig("-x", dir, false));
    ASSERT_TRUE(w.initialise());
    program.attach(w);
    w.show();
    auto* pane = qobject_cast<LinkPane*>(w.dock(Pane::Cmdr)->widget());
    ASSERT_NE(pane, nullptr);
    // Port 9 on loopback: nothing listens there.
    pane->openLink("127.0.0.1:9");
    ASSERT_TRUE(waitUntil([&] { return w.captionMessage() == "Socket opening fault!"; }));
    w.close();
  }
}

}  // namespace
}  // namespace lumarc::ui
