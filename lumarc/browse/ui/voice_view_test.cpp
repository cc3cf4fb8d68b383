// The voice recording browser, the call trace view and the charts,
// offscreen on real SQLite files: what a person sees when listing, playing,
// copying and scanning recordings, and the charts' pixels.
#include "lumarc/browse/ui/voice_view.h"

#include "common/format.h"
#include "common/test_support.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/browse/selection.h"
#include "lumarc/browse/ui/chart_view.h"
#include "lumarc/browse/ui/trace_view.h"
#include "lumarc/browse/voice_report.h"
#include "lumarc/store/record_store.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace lumarc::browse {
namespace {

namespace fs = std::filesystem;

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, size_t bytes) {
  std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

// Waits (running events) until pred holds or ms pass.
bool waitFor(const std::function<bool()>& pred, int ms) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents();
    QThread::msleep(20);
  }
  return true;
}

class VoiceBrowser : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ui::testApplication(); }
  void SetUp() override {
    ASSERT_TRUE(store.openMainDatabase(dir.path()));
    fs::create_directory(wav());
    ASSERT_TRUE(store.openVoiceDatabase(wav()));
    VoiceViewHooks h;
    h.voiceDatabase = [this] { return store.voiceDatabase(); };
    h.mainDatabase = [this] { return store.mainDatabase(); };
    h.message = [this](const std::string& m) { messages.push_back(m); };
    h.ensureUser = [this](const std::string& port, std::string& e) { return store.ensureUserRow(port, e); };
    h.wakeConverter = [this] { ++wakes; };
    h.chooseDirectory = [this] { return chosenDirectory; };
    h.chooseTarget = [this](const std::string& suggested) {
      suggestedName = suggested;
      return chosenTarget;
    };
    view = std::make_unique<CfwDbVrc>(englishTexts(), wav() + "/", std::move(h));
    view->resize(900, 400);
    view->initialiseStore(dir.path());
  }
  std::string wav() const { return dir.path() + "/Wav"; }
  // A recording file in the Wav folder and its row.
  VoiceRecord record(const char* port, uint32_t time, uint32_t cref, const std::string& file) {
    VoiceRecord r;
    r.rcdport = corvane::portText8(port);
    r.rcddate = 0x240301;
    r.rcdtime = time;
    r.rcdtype = "A";
    r.duration = 10;
    r.cref = cref;
    r.rcdfn = wav() + "/" + file;
    r.rcdfx = "wav";
    store::DrptVset v(*store.voiceDatabase());
    EXPECT_TRUE(v.add(r)) << v.error();
    return r;
  }
  // Selects the n-th recording line of the list.
  void selectRecording(CfwDblist& list, int n) {
    const int headers = int(!list.header1().empty()) + int(!list.header2().empty());
    for (int i = 0, seen = 0; i < list.count(); ++i) {
      std::optional<LineRecord> l = list.lineAt(i);
      if (l && l->kind == kRecordingLineKind && seen++ == n) {
        list.listControl()->setCurrentRow(i - list.top() + headers);
        return;
      }
    }
    ADD_FAILURE() << "no recording line " << n;
  }

  corvane::testing::TempDir dir{"voice-view"};
  RecordStore store;
  std::unique_ptr<CfwDbVrc> view;
  std::vector<std::string> messages;
  int wakes = 0;
  std::string chosenDirectory, chosenTarget, suggestedName;
};

TEST_F(VoiceBrowser, PlayOpensAnExistingRecordingWithTheDesktopPlayerAndAMissingOneStartsNothing) {
  // A stand-in for xdg-open that notes what it was asked to open.
  const std::string bin = dir.path() + "/bin", log = dir.path() + "/opened.log";
  fs::create_directory(bin);
  std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << log << "'\n";
  fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin + ":" + oldPath).c_str(), 1);

  VoiceRecord there = record("201", 0x100000, 0, "there");
  writeFile(recordingPath(there), 100);
  record("201", 0x110000, 0, "gone");
  view->list();
  selectRecording(*view, 0);
  ASSERT_TRUE(view->commandEnabled(kCmdPlay));
  view->command(kCmdPlay);
  EXPECT_TRUE(waitFor([&] { return fs::exists(log); }, 5000));
  EXPECT_NE(readAll(log).find(recordingPath(there)), std::string::npos);

  fs::remove(log);
  selectRecording(*view, 1);
  view->command(kCmdPlay);
  waitFor([&] { return fs::exists(log); }, 700);
  EXPECT_FALSE(fs::exists(log)) << "a missing recording must start no player";
  setenv("PATH", oldPath.c_str(), 1);
}

TEST_F(VoiceBrowser, ArchiveCopiesTheRecordingAndRefusesToOverwriteItself) {
  VoiceRecord r = record("201", 0x100000, 0, "rec");
  writeFile(recordingPath(r), 3000);
  view->list();
  selectRecording(*view, 0);

  chosenTarget = recordingPath(r);
  view->command(kCmdArchive);
  EXPECT_EQ(suggestedName, "rec.wav");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Copy failed!", 0), 0u);
  EXPECT_EQ(fs::file_size(recordingPath(r)), 3000u) << "the recording itself must stay whole";

  chosenTarget = dir.path() + "/copy.wav";
  view->command(kCmdArchive);
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(readAll(chosenTarget), readAll(recordingPath(r)));
}

TEST_F(VoiceBrowser, ScanListsNewRecordingsGivesTheirPortsUsersAndWakesTheConverter) {
  record("999", 0x100000, 0, "old");  // its file is gone: the scan drops it
  writeFile(wav() + "/12AB_____240315_173005_AO_1001_555__0000002A_0A000001.apc", 8000);
  writeFile(wav() + "/readme.txt", 3);
  view->list();
  EXPECT_EQ(view->count(), 1);
  view->command(kCmdScan);
  EXPECT_EQ(view->count(), 0) << "the list is cleared";
  EXPECT_EQ(wakes, 1);
  view->list();
  ASSERT_EQ(view->count(), 1);
  EXPECT_EQ(view->lineText(0).substr(0, 8), "    12AB");
  store::DrptPset users(*store.mainDatabase());
  ASSERT_TRUE(users.open(store::Condition::eq("cport", std::string("    12AB"))));
  UserRecord u;
  EXPECT_TRUE(users.next(u)) << "the scanned port has a user row";
}

TEST_F(VoiceBrowser, ChartAndCallTraceFollowTheListAndTheRecordingsReference) {
  EXPECT_FALSE(view->commandEnabled(kCmdChart));
  record("201", 0x100000, 0, "plain");
  record("201", 0x110000, 0x55, "traced");
  view->list();
  EXPECT_TRUE(view->commandEnabled(kCmdChart));
  EXPECT_EQ(view->statistics().count, 2);
  selectRecording(*view, 0);
  EXPECT_FALSE(view->commandEnabled(kCmdCallTrace)) << "a recording without a call reference has no trace";
  selectRecording(*view, 1);
  EXPECT_TRUE(view->commandEnabled(kCmdCallTrace));
}

TEST_F(VoiceBrowser, DatabaseRepointsOnlyTheBrowser) {
  record("201", 0x100000, 0, "main");
  const std::string other = dir.path() + "/other";
  fs::create_directory(other);
  writeFile(other + "/202______240316_080000_AI_1_2_.apc", 4000);
  chosenDirectory = other;
  view->command(kCmdDatabase);
  EXPECT_EQ(view->directory(), other + "/");
  EXPECT_TRUE(fs::exists(other + "/LumarcVt.mdb"));
  view->command(kCmdScan);
  view->list();
  ASSERT_EQ(view->count(), 1);
  EXPECT_EQ(view->lineText(0).substr(0, 8), "     202");
  // The program's own voice database keeps its row.
  EXPECT_EQ(store.voiceDatabase()->rowCount(store::vdata00Table()), 1);
}

// ---- Trace view ----

TEST_F(VoiceBrowser, TraceViewPlaysAndCopiesOnlyFromRecordingLines) {
  CmdrRecord c;
  c.type = "A";
  c.tdate = DateTime{2024, 3, 1, 10, 0, 0};
  c.cport = corvane::portText8("201");
  c.crefa = 0x55;
  c.crefb = 0x66;
  store::DrptCset cset(*store.mainDatabase());
  ASSERT_TRUE(cset.add(c)) << cset.error();
  UserRecord user;
  user.cport = c.cport;
  user.surn = "Smith";
  store::DrptPset pset(*store.mainDatabase());
  ASSERT_TRUE(pset.add(user));
  VoiceRecord r = record("201", 0x110000, 0x66, "traced");
  writeFile(recordingPath(r), 10);

  std::optional<UserRecord> edited;
  TraceViewHooks h;
  h.cmdrDatabase = [this] { return store.mainDatabase(); };
  h.voiceDatabase = [this] { return store.voiceDatabase(); };
  h.mainDatabase = [this] { return store.mainDatabase(); };
  h.editUser = [&](const UserRecord& u) { edited = u; };
  h.chooseTarget = [this](const std::string&) { return dir.path() + "/traced-copy.wav"; };
  CfwDbTrc trace(englishTexts(), std::move(h));
  trace.resize(900, 400);
  trace.initialiseStore(dir.path());
  trace.trace(TraceKey::ofRecord(c));
  ASSERT_EQ(trace.count(), 6);
  EXPECT_EQ(trace.lineAt(2)->kind, kTraceCmdrLineKind);
  EXPECT_EQ(trace.lineAt(5)->kind, kRecordingLineKind);

  trace.listControl()->setCurrentRow(2);  // the CMDR record
  EXPECT_FALSE(trace.commandEnabled(kCmdPlay));
  EXPECT_FALSE(trace.commandEnabled(kCmdArchive));
  emit trace.lineActivated(2);
  ASSERT_TRUE(edited.has_value());
  EXPECT_EQ(edited->surn, "Smith");

  trace.listControl()->setCurrentRow(5);
  ASSERT_TRUE(trace.commandEnabled(kCmdArchive));
  trace.command(kCmdArchive);
  EXPECT_TRUE(fs::exists(dir.path() + "/traced-copy.wav"));
}

// ---- Charts ----

TEST(ChartPixels, BarsStandInTheirClassInTheChartsColourOnTheGreyBackground) {
  ui::testApplication();
  std::array<double, CallStatistics::kClasses> values{};
  values[5] = 10;
  values[23] = 5;
  const QImage img = CfwChart::renderBarChart(values, 0x0000FF, &hourLabel, 480);
  ASSERT_EQ(img.size(), QSize(480, 150));
  const double slot = (480.0 - 30) / 24;
  auto at = [&](int cls, int yFromBottom) {
    return img.pixel(int(30 + (cls + 0.5) * slot), 6 + 120 - yFromBottom) & 0xFFFFFF;
  };
  EXPECT_EQ(at(5, 2), 0x0000FFu);
  EXPECT_EQ(at(5, 115), 0x0000FFu) << "the largest value reaches near the top of the scale";
  EXPECT_EQ(at(23, 2), 0x0000FFu);
  EXPECT_EQ(at(23, 55), 0x0000FFu);
  EXPECT_EQ(at(23, 65), 0xDCDCDCu) << "half the value, half the height";
  EXPECT_EQ(at(4, 2), 0xDCDCDCu) << "an empty class has no bar";
  EXPECT_EQ(img.pixel(200, 2) & 0xFFFFFF, 0xDCDCDCu);
}

TEST(ChartPixels, VoiceShowsTwoChartsAndANarrowViewStillDraws400PixelCharts) {
  ui::testApplication();
  CfwChart view(englishTexts());
  view.resize(300, 520);
  view.show();
  CallStatistics s;
  VoiceRecord r;
  r.rcdtime = 0x090000;
  r.duration = 121;
  s.add(r);
  view.showStatistics(s, false);
  EXPECT_EQ(view.chartImage(0).width(), 400);
  EXPECT_EQ(view.chartImage(1).width(), 400);
  EXPECT_TRUE(view.chartImage(2).isNull());
  EXPECT_FALSE(view.findChild<QWidget*>("chartTitle2")->isVisibleTo(&view));

  view.showStatistics(s, true);
  EXPECT_FALSE(view.chartImage(2).isNull());
  // Redrawn at the new width after a resize.
  view.resize(640, 520);
  EXPECT_EQ(view.chartImage(0).width(), 640);
  const QImage shown = view.grab().toImage();
  const double slot = (640.0 - 30) / 24;
  // "3m" is duration class 13: its bar is green in the second chart at y 190.
  EXPECT_EQ(shown.pixel(int(30 + 13.5 * slot), 190 + 6 + 119) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(shown.pixel(int(30 + 9.5 * slot), 20 + 6 + 119) & 0xFFFFFF, 0x0000FFu);
}

}  // namespace
}  // namespace lumarc::browse
