#include "halvern/ui/settings_dialog.h"
#include "halvern/ui/test_support.h"

#include "common/test_support.h"
#include "halvern/profiles.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace halvern::ui {
namespace {

using corvane::testing::TempDir;

SettingsRecord storedRecord() {
  SettingsRecord r;
  AccountBlock a;
  a.setHost("10.0.0.1");
  a.setAccountId("100");
  a.setAuthId("u100");
  a.setPassword("password1234");
  r.setAccount(a);
  return r;
}

TEST(SettingsDialog, OkStoresTheFieldsCutToTheirSizes) {
  app();
  TempDir dir;
  SettingsRecord r = storedRecord();
  CDSett d(r, dir.path());
  EXPECT_EQ(d.hostField()->text(), "10.0.0.1");
  EXPECT_EQ(d.passwordField()->echoMode(), QLineEdit::Password);
  d.hostField()->setText(QString(64, 'h'));
  d.accountField()->setText("204");
  d.languageBox()->setCurrentIndex(2);
  d.accept();
  EXPECT_EQ(r.account().host(), std::string(63, 'h'));
  EXPECT_EQ(r.account().accountId(), "204");
  EXPECT_EQ(r.account().password(), "password1234");
  EXPECT_EQ(r.language(), 2);
}

TEST(SettingsDialog, CancelKeepsTheRecordButNotWhatLoadAndSaveDid) {
  app();
  TempDir dir;
  SettingsRecord r = storedRecord();
  {
    CDSett d(r, dir.path());
    d.accountField()->setText("999");
    d.reject();
  }
  EXPECT_EQ(r.account().accountId(), "100") << "a cancelled dialog changed the settings";

  {
    CDSett d(r, dir.path());
    EXPECT_FALSE(d.saveButton()->isEnabled());
    d.accountField()->setText("204");
    for (QChar c : QString("of -fice")) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(d.profileNameField(), &press);
    }
    EXPECT_EQ(d.profileNameField()->text(), "office");
    ASSERT_TRUE(d.saveButton()->isEnabled());
    d.saveButton()->click();
    d.reject();
  }
  // Save stored the fields at once and wrote a private 128-byte profile.
  EXPECT_EQ(r.account().accountId(), "204");
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("office.ads").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 128);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  AccountBlock other = r.account();
  other.setAccountId("300");
  r.setAccount(other);
  {
    CDSett d(r, dir.path());
    ASSERT_EQ(d.profileBox()->count(), 1);
    d.loadButton()->click();
    EXPECT_EQ(d.accountField()->text(), "204");
    d.reject();
  }
  EXPECT_EQ(r.account().accountId(), "204") << "Load must reach the settings even when cancelled";
  {
    CDSett d(r, dir.path());
    d.deleteButton()->click();
    EXPECT_EQ(d.profileBox()->count(), 0);
  }
  EXPECT_TRUE(listProfiles(dir.path()).empty());
}

}  // namespace
}  // namespace halvern::ui
