// The voice recordings window offscreen: the list following the folder,
// closing, playing through the desktop's opener, its place on the screen,
// and how the keyset window offers it.
#include "halvern/ui/recordings_window.h"
#include "halvern/ui/test_support.h"

#include "common/qt/qt_text.h"
#include "common/test_support.h"
#include "halvern/texts.h"
#include "halvern/ui/recording_service.h"
#include "halvern/ui/tag_dialog.h"
#include "halvern/ui/keyset_window.h"

#include <QAction>
#include <QHostAddress>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace halvern::ui {
namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;
using corvane::testing::writeAll;

std::string recordingName(int n) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "204______2612%02d_1015%02d_AO.mp3", 1 + n / 60, n % 60);
  return buf;
}

bool lineVisible(QListWidget* list, int row) {
  return list->viewport()->rect().contains(list->visualItemRect(list->item(row)).center());
}

class RecordingsWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { app(); }

  void SetUp() override {
    ASSERT_FALSE(work.path().empty());
    ASSERT_TRUE(std::filesystem::create_directory(wav()));
  }
  void TearDown() override { window.hide(); }

  std::string wav() const { return work.file("Wav"); }
  void addFile(const std::string& name, std::size_t size) {
    ASSERT_TRUE(writeAll(wav() + "/" + name, std::string(size, 'x')));
  }

  TempDir work;
  RecordingService service{work.path(), 0};
  CDVrec window{service, 0};
};

TEST_F(RecordingsWindow, ListShowsTheFolderScrolledToTheNewestFollowsNewFilesAndSurvivesClosing) {
  for (int n = 0; n < 40; ++n) addFile(recordingName(n), 1000 * (n + 1));
  window.open();
  ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }, 5000));
  QListWidget* list = window.list();
  ASSERT_EQ(list->count(), 40);
  EXPECT_EQ(list->item(39)->text().toStdString(), recordingName(39) + std::string(14, ' ') + "/      40");
  EXPECT_TRUE(lineVisible(list, 39));
  EXPECT_FALSE(lineVisible(list, 0));

  // A converted recording appears when the service says files changed.
  addFile(recordingName(40), 61000);
  emit service.filesChanged();
  ASSERT_EQ(list->count(), 41);
  EXPECT_EQ(list->item(40)->text().toStdString(), recordingName(40) + std::string(14, ' ') + "/   01:01");
  EXPECT_TRUE(lineVisible(list, 40));
  EXPECT_EQ(window.windowTitle(), "Voice Recordings");
  EXPECT_EQ(window.downloadAction()->text(), "Download");

  // Closing only hides it; shown again, it reads the folder again.
  EXPECT_TRUE(window.close());
  EXPECT_FALSE(window.isVisible());
  std::filesystem::remove(wav() + "/" + recordingName(0));
  window.open();
  ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }, 5000));
  EXPECT_EQ(list->count(), 40);
}

TEST_F(RecordingsWindow, DoubleClickOpensTheFileAsOneArgumentAndAMissingFileRunsNothing) {
  // A stand-in for the desktop's opener, first on the path, noting what it
  // was given.
  TempDir bin;
  const std::string record = bin.file("opened");
  ASSERT_TRUE(writeAll(bin.file("xdg-open"),
                       "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\" >> '" + record + "'; done\n"));
  std::filesystem::permissions(bin.file("xdg-open"), std::filesystem::perms::owner_all);
  const QByteArray oldPath = qgetenv("PATH");
  qputenv("PATH", QByteArray::fromStdString(bin.path()) + ":" + oldPath);

  const std::string kept = "204______261209_101530_AO_$(touch x) ;y.mp3";
  const std::string gone = "204______261209_111111_AI.wav";
  addFile(kept, 1000);
  addFile(gone, 16000);
  window.open();
  ASSERT_EQ(window.list()->count(), 2);
  std::filesystem::remove(wav() + "/" + gone);
  emit window.list()->itemDoubleClicked(window.list()->item(1));
  emit window.list()->itemDoubleClicked(window.list()->item(0));
  const bool opened = waitUntil([&] { return !readAll(record).empty(); }, 5000);
  waitUntil([] { return false; }, 300);  // room for a wrong second start
  qputenv("PATH", oldPath);
  ASSERT_TRUE(opened);
  EXPECT_EQ(readAll(record), "[" + wav() + "/" + kept + "]\n");
  EXPECT_FALSE(std::filesystem::exists(work.file("x")));
}

struct PlaceCase {
  WindowRect stored;
  bool used;
};

TEST_F(RecordingsWindow, TheStoredPlaceIsUsedOnlyWhenRightAndBottomArePositive) {
  const PlaceCase cases[] = {
      {{100, 120, 700, 520}, true},
      {{-50, -40, 500, 300}, true},
      {{100, 120, 0, 520}, false},
      {{100, 120, 700, -1}, false},
  };
  for (const PlaceCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.stored.left) + "," + std::to_string(c.stored.right) + "," +
                 std::to_string(c.stored.bottom));
    CDVrec fresh(service, 0);
    const QSize defaultSize = fresh.size();
    fresh.setStoredRectangle(c.stored);
    EXPECT_EQ(fresh.rectangle(), c.stored);  // kept as it was until shown
    fresh.open();
    ASSERT_TRUE(waitUntil([&] { return fresh.isVisible(); }, 5000));
    const QRect g = fresh.geometry();
    if (c.used) {
      EXPECT_EQ(g, QRect(c.stored.left, c.stored.top, c.stored.right - c.stored.left, c.stored.bottom - c.stored.top));
    } else {
      EXPECT_EQ(g.size(), defaultSize);
    }
    // Where the user leaves it is what goes back into the settings.
    fresh.setGeometry(30, 40, 500, 300);
    fresh.hide();
    EXPECT_EQ(fresh.rectangle(), (WindowRect{30, 40, 530, 340}));
  }
}

KeysetSnapshot inState(LinkState state) {
  KeysetSnapshot s;
  s.state = state;
  s.display.fill(' ');
  s.lamps[0] = LampState::On;  // Vmsg lit, so its key can be clicked
  return s;
}

TEST_F(RecordingsWindow, VoiceRecordingsIsOfferedOnlyWhileRunningWithTheServiceAvailable) {
  CHalvernDlg keyset;
  connectRecordings(keyset, service, window);
  QAction* item = keyset.windowMenu()->actions().at(0);
  ASSERT_EQ(item->text(), "Voice Recordings");

  struct Step {
    LinkState state;
    bool available;
    bool enabled;
  };
  // clang-format off
  const Step steps[] = {
      {LinkState::Registering,   true,  false},
      {LinkState::Running,       true,  true},
      {LinkState::Running,       false, false},
      {LinkState::Synchronizing, true,  false},
      {LinkState::Running,       true,  true},
  };
  // clang-format on
  for (const Step& st : steps) {
    keyset.setVoiceRecordingsAvailable(st.available);
    keyset.showSnapshot(inState(st.state));
    EXPECT_EQ(item->isEnabled(), st.enabled) << st.state << " " << st.available;
  }

  // Not Running: neither the menu command nor the Vmsg key opens it.
  keyset.showSnapshot(inState(LinkState::Registering));
  emit keyset.voiceRecordingsRequested();
  static_cast<QPushButton*>(keyset.control(1098))->click();
  EXPECT_FALSE(window.isVisible());
}

TEST_F(RecordingsWindow, VmsgOpensTheWindowAndAsksTheExchangeAtOnceTheMenuOnlyOpensAndLeavingRunningHides) {
  QUdpSocket exchange;
  ASSERT_TRUE(exchange.bind(QHostAddress::LocalHost, 0));
  KeysetSnapshot running = inState(LinkState::Running);
  running.extension = 0x204FFFFF;
  running.exchangeAddress = "127.0.0.1";
  running.recordingFamily = AddressFamily::IPv4;
  running.recordingPort = exchange.localPort();

  CHalvernDlg keyset;
  connectRecordings(keyset, service, window);
  for (int i = 0; i < 5; ++i) {
    service.refresh(running);
    keyset.setVoiceRecordingsAvailable(service.available());
    keyset.showSnapshot(running);
    waitUntil([] { return false; }, 20);
  }
  ASSERT_TRUE(service.available());

  // The menu command only opens it.
  keyset.windowMenu()->actions().at(0)->trigger();
  EXPECT_TRUE(window.isVisible());
  waitUntil([] { return false; }, 100);
  EXPECT_FALSE(exchange.hasPendingDatagrams());
  window.hide();

  static_cast<QPushButton*>(keyset.control(1098))->click();
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(waitUntil([&] { return exchange.hasPendingDatagrams(); }, 5000));
  EXPECT_EQ(window.statusField(0)->text(), corvane::qtext(textsFor(0), kTextConnectingToServer));

  keyset.showSnapshot(inState(LinkState::Registering));
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace halvern::ui
