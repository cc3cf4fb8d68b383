// The voice recording browser in the main window: listing, the charts of
// what was listed and the call trace of a recording, with the program's
// parts behind them on real SQLite files and real widgets offscreen.
#include "common/format.h"
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/main_window.h"
#include "lumarc/window/program.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/browse/trace.h"
#include "lumarc/browse/ui/chart_view.h"
#include "lumarc/browse/ui/trace_view.h"
#include "lumarc/browse/ui/voice_view.h"
#include "lumarc/browse/voice_report.h"
#include "lumarc/store/record_store.h"

#include <gtest/gtest.h>

#include <QListWidget>

#include <filesystem>
#include <memory>

namespace lumarc::ui {
namespace {

using corvane::testing::TempDir;

struct VoiceProgram {
  VoiceProgram() : dir("voice-window") {
    testApplication();
    std::filesystem::create_directories(dir.file("Wav"));
    {
      store::Database main(sqliteConnectionString(dir.file(RecordStore::kMainFile)));
      main.ensureTables(store::mainTables());
      CmdrRecord c;
      c.type = "A";
      c.tdate = DateTime{2024, 3, 1, 10, 0, 0};
      c.cport = corvane::portText8("201");
      c.crefa = 0x71;
      c.crefb = 0x72;
      store::DrptCset cdata(main);
      EXPECT_TRUE(cdata.add(c)) << cdata.error();
      store::Database voice(sqliteConnectionString(dir.file("Wav/LumarcVt.mdb")));
      voice.ensureTables(store::voiceTables());
      store::DrptVset v(voice);
      for (uint32_t cref : {0u, 0x72u}) {
        VoiceRecord r;
        r.rcdport = corvane::portText8("201");
        r.rcddate = 0x240301;
        r.rcdtime = cref ? 0x100005 : 0x090000;
        r.duration = 30;
        r.cref = cref;
        r.rcdfn = dir.file("Wav/rec") + std::to_string(cref);
        r.rcdfx = "wav";
        EXPECT_TRUE(v.add(r)) << v.error();
      }
    }
    program = std::make_unique<Program>(dir.path(), settings, englishTexts(), "", "");
    window = std::make_unique<MainWindow>(program->windowConfig("-x", dir.path(), false));
    EXPECT_TRUE(window->initialise());
    program->attach(*window);
  }
  ~VoiceProgram() {
    window->close();
    window.reset();
    program.reset();
  }
  browse::CfwDbVrc* voice() const {
    return dynamic_cast<browse::CfwDbVrc*>(window->viewWidget(ViewState::VoiceBrowser));
  }
  // Selects the recording line whose time is shown as `time`.
  void selectRecording(const std::string& time) {
    browse::CfwDbVrc* v = voice();
    const int headers = int(!v->header1().empty()) + int(!v->header2().empty());
    for (int i = 0; i < v->count(); ++i)
      if (v->lineText(i).find(time) != std::string::npos) v->listControl()->setCurrentRow(i - v->top() + headers);
  }

  TempDir dir;
  SettingsBlock settings;
  std::unique_ptr<Program> program;
  std::unique_ptr<MainWindow> window;
};

TEST(VoiceWindow, ChartShowsTwoChartsOnlyAfterAListingWithRecordings) {
  VoiceProgram p;
  p.window->runCommand(kCmdVoice);
  ASSERT_EQ(p.window->viewState(), ViewState::VoiceBrowser);
  EXPECT_FALSE(p.window->commandEnabledNow(kCmdChart)) << "nothing listed yet";
  p.window->runCommand(kCmdList);
  ASSERT_EQ(p.voice()->count(), 2);
  ASSERT_TRUE(p.window->commandEnabledNow(kCmdChart));
  p.window->runCommand(kCmdChart);
  EXPECT_EQ(p.window->viewState(), ViewState::VoiceCharts);
  auto* chart = dynamic_cast<browse::CfwChart*>(p.window->viewWidget(ViewState::VoiceCharts));
  ASSERT_NE(chart, nullptr);
  EXPECT_EQ(chart->statistics().count, 2);
  EXPECT_FALSE(chart->showsPulses());
  p.window->runCommand(kCmdBack);
  EXPECT_EQ(p.window->viewState(), ViewState::VoiceBrowser);
}

TEST(VoiceWindow, CallTraceOfARecordingListsTheRecordOfTheSameCall) {
  VoiceProgram p;
  p.window->runCommand(kCmdVoice);
  p.window->runCommand(kCmdList);
  p.selectRecording("09:00:00");
  EXPECT_FALSE(p.window->commandEnabledNow(kCmdCallTrace)) << "no call reference";
  p.selectRecording("10:00:05");
  ASSERT_TRUE(p.window->commandEnabledNow(kCmdCallTrace));
  p.window->runCommand(kCmdCallTrace);
  ASSERT_EQ(p.window->viewState(), ViewState::VoiceTrace);
  auto* trace = dynamic_cast<browse::CfwDbTrc*>(p.window->viewWidget(ViewState::VoiceTrace));
  ASSERT_NE(trace, nullptr);
  std::vector<int32_t> kinds;
  for (int i = 0; i < trace->count(); ++i) kinds.push_back(trace->lineAt(i)->kind);
  EXPECT_EQ(kinds, (std::vector<int32_t>{0, 0, browse::kTraceCmdrLineKind, 0, 0, browse::kRecordingLineKind}));
  EXPECT_NE(trace->lineText(5).find("10:00:05"), std::string::npos);
}

}  // namespace
}  // namespace lumarc::ui
