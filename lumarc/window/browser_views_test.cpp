// The views of the main window with the program's parts behind them, on a
// real SQLite file and real widgets on the offscreen platform: switching
// views, the users and definition lists, and edits through the properties
// window changing the lines a person reads.
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/main_window.h"
#include "lumarc/window/program.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/ui/list_views.h"
#include "lumarc/browse/ui/prop_wnd.h"
#include "lumarc/store/record_store.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDockWidget>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>

#include <filesystem>
#include <memory>

namespace lumarc::ui {
namespace {

using browse::CfwDbDgt;
using browse::CfwDbUsr;
using browse::PropertyField;
using browse::PropWnd;
using corvane::testing::TempDir;

void type(QWidget* w, const QString& text) {
  ASSERT_NE(w, nullptr);
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
  }
}

UserRecord user(const char* port, const char* surname, const char* name) {
  UserRecord u;
  u.cport = port;
  u.surn = surname;
  u.name = name;
  u.pra0 = 5;
  return u;
}

// The program as started in dir, with users and definitions stored before.
struct Lumarc {
  explicit Lumarc(int users = 3) : dir("browser-views") {
    testApplication();
    {
      store::Database db(sqliteConnectionString(dir.file(RecordStore::kMainFile)));
      db.ensureTables(store::mainTables());
      store::DrptPset rs(db);
      const char* surnames[] = {"smith", "Adams", "brown"};
      for (int i = 0; i < users; ++i) {
        UserRecord u =
            user(("10" + std::to_string(10 + i)).c_str(), surnames[i % 3], ("N" + std::to_string(i)).c_str());
        EXPECT_TRUE(rs.add(u)) << rs.error();
      }
    }
    std::filesystem::create_directories(dir.file("Wav"));
    program = std::make_unique<Program>(dir.path(), settings, englishTexts(), "", "");
    window = std::make_unique<MainWindow>(program->windowConfig("-x", dir.path(), false));
    EXPECT_TRUE(window->initialise());
    program->attach(*window);
  }
  ~Lumarc() {
    window->close();
    window.reset();
    program.reset();
  }
  CfwDbUsr* users() const { return qobject_cast<CfwDbUsr*>(window->viewWidget(ViewState::Users)); }
  CfwDbDgt* dialled() const { return qobject_cast<CfwDbDgt*>(window->viewWidget(ViewState::DialledNumbers)); }
  PropWnd* properties() const { return qobject_cast<PropWnd*>(window->dock(Pane::Properties)->widget()); }
  template <class W>
  W* editor(PropertyField f) const {
    for (W* e : properties()->findChildren<W*>())
      if (e->property("field").isValid() && e->property("field").toInt() == int(f)) return e;
    return nullptr;
  }
  // Selects a line shown in a list, as a click on its row would.
  static void select(browse::CfwDblist* list, int line) {
    int headers = int(!list->header1().empty()) + int(!list->header2().empty());
    list->listControl()->setCurrentRow(line - list->top() + headers);
  }
  std::unique_ptr<store::Database> openDb() const {
    return std::make_unique<store::Database>(sqliteConnectionString(dir.file(RecordStore::kMainFile)));
  }

  TempDir dir;
  SettingsBlock settings;
  std::unique_ptr<Program> program;
  std::unique_ptr<MainWindow> window;
};

TEST(BrowserViews, UsersListThemselvesOnceAndKeepTheirLinesAndPositionWhileHidden) {
  Lumarc l(60);
  l.window->runCommand(kCmdUsers);
  ASSERT_EQ(l.window->viewState(), ViewState::Users);
  CfwDbUsr* users = l.users();
  ASSERT_NE(users, nullptr);
  EXPECT_EQ(users->count(), 60);
  EXPECT_EQ(l.window->statusTextOf(4), "Users");
  EXPECT_EQ(l.window->statusTextOf(2), "1 / 60");
  EXPECT_EQ(users->header1().rfind("User charge pulse counters ", 0), 0u) << users->header1();
  users->setTop(30);

  // A user stored meanwhile shows only at the next Scan.
  UserRecord late = user("2000", "Zeta", "Late");
  {
    auto db = l.openDb();
    store::DrptPset rs(*db);
    ASSERT_TRUE(rs.add(late)) << rs.error();
  }
  l.window->runCommand(kCmdDigits);
  EXPECT_EQ(l.window->viewState(), ViewState::DialledNumbers);
  EXPECT_EQ(l.window->statusTextOf(4), "Dialled numbers");
  l.window->runCommand(kCmdUsers);
  EXPECT_EQ(users->count(), 60);
  EXPECT_EQ(users->top(), 30);
  EXPECT_EQ(l.window->statusTextOf(2), "31 / 60");

  l.window->runCommand(kCmdScan);
  EXPECT_EQ(users->count(), 61);
  EXPECT_EQ(users->top(), 30) << "Scan keeps the top line";

  // Close shows the start view; the list waits as it was.
  l.window->runCommand(kCmdCloseView);
  EXPECT_EQ(l.window->viewState(), ViewState::Start);
  EXPECT_EQ(l.window->statusTextOf(4), "");
  l.window->runCommand(kCmdUsers);
  EXPECT_EQ(users->count(), 61);
}

TEST(BrowserViews, ListFormatAndSortOrderToggleAndAreKeptInTheSettings) {
  Lumarc l;
  l.window->runCommand(kCmdUsers);
  CfwDbUsr* users = l.users();
  ASSERT_EQ(users->count(), 3);
  // Sort 0: by surname, whatever its case.
  EXPECT_EQ(users->lineText(0).substr(0, 4), "1011");  // Adams
  EXPECT_EQ(users->lineText(1).substr(0, 4), "1012");  // brown
  EXPECT_EQ(users->lineText(2).substr(0, 4), "1010");  // smith

  l.window->runCommand(kCmdChangeSort);
  EXPECT_EQ(l.settings.usersSort(), 1u);
  EXPECT_EQ(users->lineText(0).substr(0, 4), "1010");

  const std::string before = users->header2();
  l.window->runCommand(kCmdChangeFormat);
  EXPECT_EQ(l.settings.usersFormat(), 1u);
  EXPECT_EQ(users->header2(), browse::usersHeader2(englishTexts(), 1));
  EXPECT_NE(users->header2(), before);
  EXPECT_EQ(users->lineText(0), browse::userLine(user("1010", "smith", "N0"), 1));
}

TEST(BrowserViews, DefinitionsAreAddedAndEditedInThePropertiesWindow) {
  Lumarc l;
  l.window->runCommand(kCmdDigits);
  CfwDbDgt* dialled = l.dialled();
  ASSERT_NE(dialled, nullptr);
  EXPECT_EQ(dialled->count(), 0);

  // Add, then Save with no number: refused, nothing stored.
  l.window->runCommand(kCmdAdd);
  EXPECT_EQ(l.properties()->kind(), 3);
  type(l.editor<QLineEdit>(PropertyField::DefinitionName), "Ankara");
  l.window->runCommand(kCmdSaveProperties);
  EXPECT_EQ(l.window->captionMessage(), "Digit definition missing!");
  EXPECT_EQ(l.openDb()->rowCount(store::routTable()), 0);

  // Letters typed into the number are refused; the digits are stored.
  type(l.editor<QLineEdit>(PropertyField::DefinitionNumber), "03x12");
  l.window->runCommand(kCmdSaveProperties);
  EXPECT_EQ(l.window->captionMessage(), "");
  ASSERT_EQ(dialled->count(), 1);
  RouteRecord stored;
  stored.RName = "Ankara";
  stored.RDgts = "0312";
  EXPECT_EQ(dialled->lineText(0), browse::definitionLine(stored));

  // Edit the line: the comment lands in the same row and the line changes.
  Lumarc::select(dialled, 0);
  ASSERT_TRUE(l.window->commandEnabledNow(kCmdEdit));
  l.window->runCommand(kCmdEdit);
  type(l.editor<QLineEdit>(PropertyField::DefinitionComment), "capital");
  l.window->runCommand(kCmdSaveProperties);
  ASSERT_EQ(dialled->count(), 1);
  stored.RCmnt = "capital";
  EXPECT_EQ(dialled->lineText(0), browse::definitionLine(stored));
  EXPECT_EQ(l.openDb()->rowCount(store::routTable()), 1);

  // The context menu of a definition line offers the sort order.
  std::unique_ptr<QMenu> menu = dialled->contextMenu(0);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), "Recordr");
  EXPECT_EQ(menu->actions().size(), 1);
}

TEST(BrowserViews, DeletingTheLastDefinitionLeavesTheListOnTheNewLastLine) {
  Lumarc l;
  {
    auto db = l.openDb();
    for (const char* digits : {"01", "02", "03"}) {
      RouteRecord r;
      r.RName = "D";
      r.RDgts = digits;
      std::string error;
      ASSERT_EQ(browse::saveDefinition(*db, r, error), browse::SaveResult::Saved) << error;
    }
  }
  l.window->runCommand(kCmdDigits);
  CfwDbDgt* dialled = l.dialled();
  ASSERT_EQ(dialled->count(), 3);
  dialled->setTop(2);
  Lumarc::select(dialled, 2);
  l.window->runCommand(kCmdDelete);
  ASSERT_EQ(dialled->count(), 2);
  EXPECT_EQ(dialled->top(), 1);
  EXPECT_EQ(dialled->selectedLine(), 1);
  EXPECT_EQ(dialled->lineText(1).find("02") != std::string::npos, true) << dialled->lineText(1);
}

TEST(BrowserViews, AUserEditedInThePropertiesWindowChangesItsLineAndSelectionToggles) {
  Lumarc l;
  l.window->runCommand(kCmdUsers);
  CfwDbUsr* users = l.users();
  Lumarc::select(users, 0);  // Adams
  EXPECT_TRUE(l.window->commandEnabledNow(kCmdToggleSelection));
  l.window->runCommand(kCmdEdit);
  ASSERT_EQ(l.properties()->kind(), 4);
  QLineEdit* surname = l.editor<QLineEdit>(PropertyField::UserSurname);
  ASSERT_NE(surname, nullptr);
  surname->clear();
  type(surname, "Aaron");
  EXPECT_TRUE(l.window->commandEnabledNow(kCmdSaveProperties));
  l.window->runCommand(kCmdSaveProperties);
  EXPECT_EQ(users->lineText(0), browse::userLine(user("1011", "Aaron", "N1"), 0));

  // Toggle selection twice: the mark comes and goes, the top line stays.
  Lumarc::select(users, 1);
  l.window->runCommand(kCmdToggleSelection);
  EXPECT_EQ(users->lineText(1).substr(9, 1), "*");
  Lumarc::select(users, 1);
  l.window->runCommand(kCmdToggleSelection);
  EXPECT_EQ(users->lineText(1).substr(9, 1), " ");

  std::unique_ptr<QMenu> menu = users->contextMenu(0);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), "Recordp");
  EXPECT_EQ(menu->actions().size(), 6);
}

TEST(BrowserViews, RecordBrowsersFallBackToTheStartViewWhenTheirDatabaseCannotBeConnected) {
  Lumarc l;
  // The voice database is open from the start; the CMDR browser connects
  // the main file.
  l.window->runCommand(kCmdVoice);
  EXPECT_EQ(l.window->viewState(), ViewState::VoiceBrowser);
  EXPECT_EQ(l.window->statusTextOf(4), "Voice recording browser");

  Lumarc broken;
  // The file is gone and a folder stands in its place.
  std::filesystem::remove(broken.dir.file(RecordStore::kMainFile));
  std::filesystem::create_directories(broken.dir.file(RecordStore::kMainFile));
  broken.window->runCommand(kCmdCmdr);
  EXPECT_EQ(broken.window->viewState(), ViewState::Start);
  EXPECT_NE(broken.window->captionMessage().find("Database access Failed!"), std::string::npos);

  l.window->runCommand(kCmdCmdr);
  EXPECT_EQ(l.window->viewState(), ViewState::CmdrBrowser);
  EXPECT_EQ(l.window->statusTextOf(4), "Cmdr browser");
  // About shows where the browser reads.
  l.window->runCommand(kCmdAbout);
  EXPECT_EQ(l.properties()->kind(), 1);
}

}  // namespace
}  // namespace lumarc::ui
