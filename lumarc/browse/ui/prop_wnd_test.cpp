// The properties window on a real SQLite file, with real widgets on the
// offscreen platform: what a person types, what Save stores, and where the
// database choice is kept.
#include "lumarc/browse/ui/prop_wnd.h"

#include "common/test_support.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/ui/db_settings.h"
#include "lumarc/store/record_store.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <sys/stat.h>

#include <cstring>
#include <memory>

namespace lumarc::browse {
namespace {

using corvane::testing::TempDir;

// Types text into a widget key by key, as a person would.
void type(QWidget* w, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
  }
}

void pressReturn(QWidget* w) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

template <class W>
W* editorOf(QWidget& window, PropertyField f) {
  for (W* e : window.findChildren<W*>()) {
    const QVariant v = e->property("field");
    if (v.isValid() && v.toInt() == int(f)) return e;
  }
  return nullptr;
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// A window over a fresh main database, recording what it asks of the
// main window.
struct Fixture {
  Fixture() : dir("prop-wnd") {
    ui::testApplication();
    db = std::make_unique<store::Database>(sqliteConnectionString(dir.file("Lumarc.mdb")));
    db->ensureTables(store::mainTables());
    PropWndHooks hooks;
    hooks.message = [this](const std::string& m) { messages.push_back(m); };
    hooks.definitionSaved = [this](int rtype) { listedAgain.push_back("definitions " + std::to_string(rtype)); };
    hooks.userSaved = [this] { listedAgain.push_back("users"); };
    hooks.refreshToolbar = [this] { ++toolbarRefreshes; };
    hooks.database = [this] { return db.get(); };
    window = std::make_unique<PropWnd>(englishTexts(), settings, hooks);
    window->setDbSettingsPath(QString::fromStdString(dir.file("config/database.ini")));
  }
  std::string lastMessage() const { return messages.empty() ? "(none)" : messages.back(); }

  TempDir dir;
  SettingsBlock settings;
  std::unique_ptr<store::Database> db;
  std::vector<std::string> messages, listedAgain;
  int toolbarRefreshes = 0;
  std::unique_ptr<PropWnd> window;
};

TEST(PropWndDefinition, SavingWithoutANumberShowsDigitDefinitionMissingAndStoresNothing) {
  struct Case {
    const char* what;
    const char* name;  // typed into "Name"; "" = nothing typed
  };
  for (const Case& c : {Case{"a new definition left as it is", ""}, Case{"a new definition with a name", "Ankara"}}) {
    Fixture f;
    RouteRecord fresh;
    fresh.RType = kDialledDigits;
    f.window->showDefinition(fresh);
    type(editorOf<QLineEdit>(*f.window, PropertyField::DefinitionName), c.name);

    EXPECT_FALSE(f.window->save()) << c.what;
    EXPECT_EQ(f.lastMessage(), "Digit definition missing!") << c.what;
    EXPECT_EQ(f.db->rowCount(store::routTable()), 0) << c.what;
    EXPECT_TRUE(f.listedAgain.empty()) << c.what;
  }
}

TEST(PropWndDefinition, LettersTypedIntoNumberAreRefusedByTheField) {
  Fixture f;
  RouteRecord fresh;
  fresh.RType = kCallingNumber;
  f.window->showDefinition(fresh);
  QLineEdit* number = editorOf<QLineEdit>(*f.window, PropertyField::DefinitionNumber);
  ASSERT_NE(number, nullptr);
  type(number, "02a1b2-5 ");
  EXPECT_EQ(number->text(), "02125");
  type(number, "12345678901234567890");
  EXPECT_EQ(number->text().size(), 16) << "the column holds 16 digits";

  // What the field took is what Save stores; the view is listed again.
  ASSERT_TRUE(f.window->save()) << f.lastMessage();
  EXPECT_EQ(f.listedAgain, std::vector<std::string>{"definitions 1"});
  store::DrptRset rs(*f.db);
  ASSERT_TRUE(rs.open());
  RouteRecord stored;
  ASSERT_TRUE(rs.next(stored));
  EXPECT_EQ(stored.RDgts, "0212512345678901");
  EXPECT_EQ(stored.RType, kCallingNumber);
  EXPECT_FALSE(f.window->changed());
}

TEST(PropWndUser, EditingANameAndSavingUpdatesTheRowAndListsTheUsersAgain) {
  Fixture f;
  store::DrptPset ps(*f.db);
  UserRecord u;
  u.cport = "     101";
  u.name = "Ali";
  u.surn = "Veli";
  u.pra0 = 7;
  u.ppc = 3;
  ASSERT_TRUE(ps.add(u)) << ps.error();
  f.window->showUser(u);

  QLineEdit* name = editorOf<QLineEdit>(*f.window, PropertyField::UserName);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(editorOf<QLineEdit>(*f.window, PropertyField::None), nullptr) << "port and pulses are read-only";
  name->selectAll();
  type(name, "Zoë");
  EXPECT_TRUE(f.window->changed());
  ASSERT_TRUE(f.window->save()) << f.lastMessage();

  EXPECT_EQ(f.listedAgain, std::vector<std::string>{"users"});
  EXPECT_EQ(f.messages.front(), "") << "Save clears the message bar first";
  std::optional<UserRecord> row = ps.find(u.sqno);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->name, "Zo\xEB") << "stored through the code page";
  EXPECT_EQ(row->surn, "Veli");
  EXPECT_EQ(row->pra0 + row->ppc, 10u);
  EXPECT_FALSE(f.window->changed());
  EXPECT_GE(f.toolbarRefreshes, 1);
}

TEST(PropWndDatabase, TheChoiceIsStoredPrivatelyAndNeverInLumarcSet) {
  struct Case {
    const char* what;
    bool fileBefore;  // an older, world-readable file is already there
  };
  for (const Case& c : {Case{"first stored", false}, Case{"stored over a readable file", true}}) {
    Fixture f;
    const std::string ini = f.dir.file("config/database.ini");
    if (c.fileBefore) {
      ::mkdir(f.dir.file("config").c_str(), 0700);
      ASSERT_TRUE(corvane::testing::writeAll(ini, "[main]\nkind=embedded\n"));
      ::chmod(ini.c_str(), 0644);
    }
    f.settings.setLayer2(1);
    const SettingsBlock before = f.settings;
    f.window->showSettings();

    QComboBox* kind = editorOf<QComboBox>(*f.window, PropertyField::MainKind);
    ASSERT_NE(kind, nullptr);
    emit kind->activated(1);  // "PostgreSQL server"
    QApplication::processEvents();
    QLineEdit* host = editorOf<QLineEdit>(*f.window, PropertyField::MainHost);
    QLineEdit* password = editorOf<QLineEdit>(*f.window, PropertyField::MainPassword);
    ASSERT_TRUE(host && password) << c.what;
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    type(host, "db.example");
    type(password, "s3cret;x");
    pressReturn(password);

    EXPECT_EQ(modeOf(ini), 0600u) << c.what;
    const DbChoice stored = loadDbSettings(QString::fromStdString(ini));
    EXPECT_EQ(stored.main.kind, DbConnection::Kind::Postgres) << c.what;
    EXPECT_EQ(stored.main.host, "db.example") << c.what;
    EXPECT_EQ(stored.main.password, "s3cret;x") << c.what;
    EXPECT_EQ(stored.voice.kind, DbConnection::Kind::Embedded) << c.what;

    ASSERT_TRUE(saveSettings(f.settings, f.dir.path()));
    SettingsBlock reread;
    ASSERT_TRUE(loadSettings(reread, f.dir.path()));
    EXPECT_EQ(std::memcmp(reread.data(), before.data(), kSettingsSize), 0) << c.what;
  }
}

TEST(PropWndDatabase, TestConnectionShowsSuccessOrTheDriversWords) {
  Fixture f;
  f.window->showSettings();
  emit editorOf<QComboBox>(*f.window, PropertyField::VoiceKind)->activated(2);  // "ODBC connection string"
  QApplication::processEvents();
  QLineEdit* conn = editorOf<QLineEdit>(*f.window, PropertyField::VoiceOdbc);
  ASSERT_NE(conn, nullptr);

  type(conn, QString::fromStdString(sqliteConnectionString(f.dir.file("voice.db"))));
  editorOf<QPushButton>(*f.window, PropertyField::VoiceTest)->click();
  EXPECT_EQ(f.lastMessage(), "Database connection succeeded");

  conn->clear();
  type(conn, "DRIVER=NoSuchLumarcDriver;");
  editorOf<QPushButton>(*f.window, PropertyField::VoiceTest)->click();
  EXPECT_NE(f.lastMessage(), "Database connection succeeded");
  EXPECT_NE(f.lastMessage().find("NoSuchLumarcDriver"), std::string::npos) << f.lastMessage();
}

}  // namespace
}  // namespace lumarc::browse
