// The keyset window offscreen: the keyboard while not Running and while
// Running, a lamp following the snapshots, and the tag dialog.
#include "halvern/ui/keyset_window.h"
#include "halvern/ui/test_support.h"

#include "halvern/keyset_keys.h"
#include "halvern/texts.h"
#include "halvern/ui/tag_dialog.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace halvern::ui {
namespace {

template <typename Pred>
bool waitFor(Pred pred) {
  QDeadlineTimer deadline(5000);
  while (!pred()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

KeysetSnapshot inState(LinkState state) {
  KeysetSnapshot s;
  s.state = state;
  s.display.fill(' ');
  return s;
}

class KeysetWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { app(); }

  void SetUp() override {
    QObject::connect(&window, &CHalvernDlg::keyPressed, [this](quint16 code) { sent.push_back(code); });
    QObject::connect(&window, &CHalvernDlg::closeRequested, [this] { ++closeRequests; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(waitFor([&] { return window.isVisible(); }));
  }

  // A key as the user types it, delivered where Qt would deliver it: the
  // focused widget of the window, else the window.
  void type(int key, const QString& text = QString()) {
    QWidget* target = window.focusWidget() ? window.focusWidget() : &window;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
  }

  CHalvernDlg window;
  std::vector<quint16> sent;
  int closeRequests = 0;
};

TEST_F(KeysetWindow, EscapeAndEnterWhileNotRunningNeitherCloseItNorSendAnything) {
  for (LinkState st : {LinkState::Initial, LinkState::Registering, LinkState::Synchronizing}) {
    window.showSnapshot(inState(st));
    // With the focus on a key and with none.
    for (bool onKey : {false, true}) {
      if (onKey) window.control(1093)->setFocus();
      type(Qt::Key_Escape);
      type(Qt::Key_Return);
      type(Qt::Key_Enter);
      type(Qt::Key_A, "a");
      type(Qt::Key_1, "1");
      QApplication::processEvents();
      EXPECT_TRUE(window.isVisible());
    }
  }
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(closeRequests, 0);
}

TEST_F(KeysetWindow, TheCloseBoxAsksTheProgramAndOnlyCloseNowCloses) {
  window.close();
  QApplication::processEvents();
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(closeRequests, 1);
  window.closeNow();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(closeRequests, 1);
}

TEST_F(KeysetWindow, TypingWhileRunningSendsEachMappedKeyOnce) {
  window.showSnapshot(inState(LinkState::Running));
  ASSERT_TRUE(window.running());
  // The live hook key has the focus, as after every refresh in Running.
  EXPECT_EQ(window.focusWidget(), window.control(1093));
  type(Qt::Key_A, "a");
  type(Qt::Key_A, "A");
  type(Qt::Key_5, "5");
  type(Qt::Key_NumberSign, "#");
  type(Qt::Key_Slash, "/");  // not a key: passes
  type(Qt::Key_Space, " ");  // not a key: goes to the focused hook key
  type(Qt::Key_Escape);
  type(Qt::Key_Return);
  type(Qt::Key_Left);
  type(Qt::Key_Down);
  type(Qt::Key_Delete);
  QApplication::processEvents();
  const std::vector<quint16> expected = {0xEFFE, 0xEFFE, 0xFBBF, 0xF7FE, 0xFD7F, 0xFDDF, 0xFDBF, 0xFDEF, 0xFDF7};
  EXPECT_EQ(sent, expected);
  EXPECT_TRUE(window.isVisible());

  // Clicking a key sends its code; after the link drops, nothing is sent.
  sent.clear();
  static_cast<QPushButton*>(window.control(1006))->click();
  window.showSnapshot(inState(LinkState::Registering));
  type(Qt::Key_A, "a");
  type(Qt::Key_Escape);
  static_cast<QPushButton*>(window.control(1006))->click();
  EXPECT_EQ(sent, std::vector<quint16>{0xEFFE});
}

TEST_F(KeysetWindow, LampPropertiesFollowTheSnapshots) {
  QWidget* fwd = window.control(1070);
  QWidget* key0 = window.control(1006);
  KeysetSnapshot s = inState(LinkState::Running);
  window.showSnapshot(s);
  EXPECT_EQ(fwd->property("lamp").toString(), "off");
  EXPECT_EQ(key0->property("look").toString(), "sdoff");

  s.lamps[32] = LampState::On;
  s.lamps[7] = LampState::On;
  window.showSnapshot(s);
  EXPECT_EQ(fwd->property("lamp").toString(), "on");
  EXPECT_EQ(key0->property("look").toString(), "sdon");

  // Slow flash: dark at some refresh within a cadence of 16, lit at another.
  s.lamps[32] = LampState::SlowFlash;
  bool sawOff = false, sawOn = false;
  for (int i = 0; i < 16; ++i) {
    window.showSnapshot(s);
    (fwd->property("lamp").toString() == "on" ? sawOn : sawOff) = true;
  }
  EXPECT_TRUE(sawOn && sawOff);

  s.state = LinkState::Registering;
  window.showSnapshot(s);
  EXPECT_EQ(fwd->property("lamp").toString(), "off");
  EXPECT_FALSE(key0->isEnabled());
}

TEST_F(KeysetWindow, SocketFaultTakesThePlaceOfTheDisplay) {
  KeysetSnapshot s = inState(LinkState::Registering);
  const std::string line = "Registering..";
  std::copy(line.begin(), line.end(), s.display.begin());
  s.displayCounter = 1;
  window.showSnapshot(s);
  ASSERT_EQ(window.display()->count(), kDisplayLines);
  EXPECT_EQ(window.display()->item(0)->text(), QString::fromLatin1(line.c_str()).leftJustified(kDisplayColumns));
  s.socketFault = true;
  window.showSnapshot(s);
  ASSERT_EQ(window.display()->count(), 1);
  EXPECT_EQ(window.display()->item(0)->text(), "Socket fault!");
}

TEST_F(KeysetWindow, DisplayBytesAreReadInTheLanguagesCodePage) {
  KeysetSnapshot s = inState(LinkState::Running);
  s.display[0] = '\xFE';
  s.display[1] = '\x07';
  s.displayCounter = 1;
  window.showSnapshot(s);
  EXPECT_EQ(window.display()->item(0)->text().left(2), QString::fromUtf8("\u00FE "));  // CP1252
  window.setLanguage(1);
  window.showSnapshot(s);
  EXPECT_EQ(window.display()->item(0)->text().left(2), QString::fromUtf8("\u015F "));  // CP1254
  window.setLanguage(3);
  window.showSnapshot(s);
  EXPECT_EQ(window.display()->item(0)->text().left(2), QString::fromUtf8("\u0163 "));  // CP1250
  EXPECT_EQ(static_cast<QPushButton*>(window.control(1093))->text(), "Igen");
  // Fixed pitch: the 25 columns line up.
  QFontMetrics fm(window.display()->font());
  EXPECT_EQ(fm.horizontalAdvance(QStringLiteral("iiiii")), fm.horizontalAdvance(QStringLiteral("WWWWW")));
}

TEST_F(KeysetWindow, TheTagDialogChangesTheTagOfItsKey) {
  TagTexts tags;
  tags[0][3] = "Reception";
  tags[2][3] = "Night";
  window.setTags(tags);
  int edits = 0;
  QObject::connect(&window, &CHalvernDlg::tagsEdited, [&] { ++edits; });
  KeysetSnapshot s = inState(LinkState::Running);
  window.showSnapshot(s);
  auto* field = static_cast<QLineEdit*>(window.control(1040));  // key 3
  EXPECT_EQ(field->text(), "Reception");

  // Without "Edit tags" a click into the field opens nothing.
  field->setFocus(Qt::MouseFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(window.tagDialog(), nullptr);

  window.setEditingTags(true);
  field->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(waitFor([&] { return window.tagDialog() != nullptr; }));
  CDtagupd* dlg = window.tagDialog();
  EXPECT_EQ(dlg->field(0)->text(), "Reception");
  EXPECT_EQ(dlg->field(2)->text(), "Night");
  dlg->field(0)->setText(QString::fromUtf8("Front desk"));
  dlg->field(3)->setText(QString(40, QChar('x')));
  dlg->okButton()->click();
  ASSERT_TRUE(waitFor([&] { return window.tagDialog() == nullptr; }));

  EXPECT_EQ(edits, 1);
  EXPECT_EQ(window.tags()[0][3], "Front desk");
  EXPECT_EQ(window.tags()[2][3], "Night");
  EXPECT_EQ(window.tags()[3][3], std::string(31, 'x'));
  EXPECT_EQ(field->text(), "Front desk");
  EXPECT_NE(window.focusWidget(), field);

  // Shift level 2 shows the level-2 tags.
  s.lamps[kShiftLamp] = LampState::SlowFlash;
  window.showSnapshot(s);
  EXPECT_EQ(field->text(), "Night");
}

TEST_F(KeysetWindow, ScreenshotWithLampsInEveryState) {
  KeysetSnapshot s = inState(LinkState::Running);
  const char* lines[kDisplayLines] = {
      "KV430 Tarnet Version 1.20", "Ext 201   Reception", "", "  12:04  09.12.26", "", "", "Line 3 busy",
      "Menu  Redial  Dir"};
  for (int i = 0; i < kDisplayLines; ++i) {
    std::string l = lines[i];
    std::copy(l.begin(), l.end(), s.display.begin() + i * kDisplayColumns);
  }
  s.displayCounter = 1;
  const LampState states[4] = {LampState::Off, LampState::FastFlash, LampState::SlowFlash, LampState::On};
  for (int key = 0; key < kProgrammableKeyCount; ++key) s.lamps[kProgrammableKeys[key].lamp] = states[key % 4];
  for (std::size_t i = 0; i < kStatusLamps.size(); ++i) s.lamps[kStatusLamps[i].lamp] = states[i % 4];
  s.lamps[34] = LampState::On;  // P1
  s.lamps[42] = LampState::On;  // Mute
  s.lamps[kShiftLamp] = LampState::On;
  TagTexts tags;
  for (int key = 0; key < kProgrammableKeyCount; ++key) tags[3][key] = "Tag " + std::to_string(key);
  window.setTags(tags);
  // Refresh 9 shows every flashing lamp lit (fast from phase 1, slow from 7),
  // refresh 15 every one dark.
  const char* path = std::getenv("HALVERN_WINDOW_PNG");
  const QString lit = QString::fromLocal8Bit(path ? path : "/tmp/halvern-window.png");
  QString dark = lit;
  dark.replace(QStringLiteral(".png"), QStringLiteral("-dark.png"));
  for (int i = 0; i < 9; ++i) window.showSnapshot(s);
  QApplication::processEvents();
  EXPECT_EQ(window.control(1085)->property("lamp").toString(), "on");  // WkUp, fast flash
  EXPECT_EQ(window.control(1096)->property("lamp").toString(), "on");  // Camp, slow flash
  EXPECT_TRUE(window.grab().save(lit));
  for (int i = 9; i < 15; ++i) window.showSnapshot(s);
  QApplication::processEvents();
  EXPECT_EQ(window.control(1085)->property("lamp").toString(), "off");
  EXPECT_EQ(window.control(1096)->property("lamp").toString(), "off");
  EXPECT_EQ(window.control(1097)->property("lamp").toString(), "on");  // Dsbl, steady
  EXPECT_TRUE(window.grab().save(dark));
}

}  // namespace
}  // namespace halvern::ui
