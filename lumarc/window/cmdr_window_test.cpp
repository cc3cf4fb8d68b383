// The CMDR browser in the main window: Select, the form, List and the
// browser's lines, with the program's own database on a real SQLite file.
#include "common/format.h"
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/main_window.h"
#include "lumarc/window/program.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/browse/ui/cmdr_view.h"
#include "lumarc/browse/ui/selection_form.h"
#include "lumarc/store/record_store.h"

#include <gtest/gtest.h>

#include <QComboBox>

#include <filesystem>
#include <memory>

namespace lumarc::ui {
namespace {

TEST(CmdrWindow, SelectFormThenListShowsTheUsersGroupedCalls) {
  testApplication();
  corvane::testing::TempDir dir("cmdr-window");
  {
    store::Database db(sqliteConnectionString(dir.file(RecordStore::kMainFile)));
    db.ensureTables(store::mainTables());
    store::DrptCset c(db);
    for (int i = 0; i < 4; ++i) {
      CmdrRecord r;
      r.type = "A";
      r.tdate = DateTime{2024, 5, 1 + i, 9, 0, 0};
      r.cport = corvane::portText8(i % 2 ? "1002" : "1001");
      r.rpuls = 1;
      ASSERT_TRUE(c.add(r)) << c.error();
    }
  }
  std::filesystem::create_directories(dir.file("Wav"));
  SettingsBlock settings;
  auto program = std::make_unique<Program>(dir.path(), settings, englishTexts(), "", "");
  auto window = std::make_unique<MainWindow>(program->windowConfig("-x", dir.path(), false));
  ASSERT_TRUE(window->initialise());
  program->attach(*window);

  window->runCommand(kCmdCmdr);
  ASSERT_EQ(window->viewState(), ViewState::CmdrBrowser);
  auto* view = qobject_cast<browse::CfwDbCdr*>(window->viewWidget(ViewState::CmdrBrowser));
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(window->commandEnabledNow(kCmdTrash));

  window->runCommand(kCmdSelect);
  ASSERT_EQ(window->viewState(), ViewState::CmdrSelection);
  auto* form = qobject_cast<browse::CfwSdlg*>(window->viewWidget(ViewState::CmdrSelection));
  ASSERT_NE(form, nullptr);
  form->listedUsers()->setCurrentIndex(1);  // "All, user sorted"
  window->runCommand(kCmdList);
  ASSERT_EQ(window->viewState(), ViewState::CmdrBrowser);
  EXPECT_EQ(view->count(), 11);  // two users: heading, 2 records, sub-total, empty; then the total
  EXPECT_EQ(view->selection().TLtyp, 1);
  EXPECT_EQ(view->header1(), englishTexts().text(kTextCmdrLongColumns));
  EXPECT_TRUE(window->commandEnabledNow(kCmdSave));
  EXPECT_TRUE(window->commandEnabledNow(kCmdChart));

  // List again in the browser keeps its own selection.
  window->runCommand(kCmdList);
  EXPECT_EQ(view->count(), 11);

  window->close();
  window.reset();
  program.reset();
}

}  // namespace
}  // namespace lumarc::ui
