#include "halvern/ui/settings_dialog.h"

#include "common/files.h"
#include "common/qt/qt_text.h"
#include "halvern/profiles.h"
#include "halvern/texts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace halvern::ui {

CDSett::CDSett(SettingsRecord& record, std::string workDir, QWidget* parent)
    : QDialog(parent), record_(record), workDir_(std::move(workDir)) {
  const corvane::StringTable& t = textsFor(record_.language());
  setWindowTitle(corvane::qtext(t, kTextSettingsTitle));

  language_ = new QComboBox(this);
  for (int id : {kTextEnglish, kTextTurkish, kTextPolish, kTextHungarian}) language_->addItem(corvane::qtext(t, id));
  language_->setCurrentIndex(record_.language() <= 3 ? record_.language() : 0);
  host_ = new QLineEdit(this);
  host_->setMaxLength(int(AccountBlock::kHostSize));
  account_ = new QLineEdit(this);
  account_->setMaxLength(int(AccountBlock::kAccountIdSize - 1));
  auth_ = new QLineEdit(this);
  auth_->setMaxLength(int(AccountBlock::kAuthIdSize - 1));
  password_ = new QLineEdit(this);
  password_->setMaxLength(int(AccountBlock::kPasswordSize - 1));
  password_->setEchoMode(QLineEdit::Password);

  auto* form = new QFormLayout;
  form->addRow(corvane::qtext(t, kTextLanguage), language_);
  form->addRow(corvane::qtext(t, kTextHostLabel), host_);
  form->addRow(corvane::qtext(t, kTextAccountLabel), account_);
  form->addRow(corvane::qtext(t, kTextAuthIdLabel), auth_);
  form->addRow(corvane::qtext(t, kTextPasswordLabel), password_);

  profiles_ = new QComboBox(this);
  load_ = new QPushButton(corvane::qtext(t, kTextLoad), this);
  delete_ = new QPushButton(corvane::qtext(t, kTextDelete), this);
  auto* chooseRow = new QHBoxLayout;
  chooseRow->addWidget(profiles_, 1);
  chooseRow->addWidget(load_);
  chooseRow->addWidget(delete_);
  profileName_ = new QLineEdit(this);
  profileName_->setMaxLength(int(kProfileNameMax));
  save_ = new QPushButton(corvane::qtext(t, kTextSave), this);
  save_->setEnabled(false);
  auto* saveRow = new QHBoxLayout;
  saveRow->addWidget(profileName_, 1);
  saveRow->addWidget(save_);
  form->addRow(corvane::qtext(t, kTextProfile), chooseRow);
  form->addRow(QString(), saveRow);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(corvane::qtext(t, kTextOk), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(corvane::qtext(t, kTextCancel), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDSett::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CDSett::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  // Only letters and digits make a profile name; anything else is taken out
  // as it is typed.
  connect(profileName_, &QLineEdit::textEdited, this, [this](const QString& typed) {
    const QString clean = QString::fromLatin1(cleanProfileName(typed.toLatin1().toStdString()));
    if (clean != typed) {
      const int pos = profileName_->cursorPosition() - int(typed.size() - clean.size());
      profileName_->setText(clean);
      profileName_->setCursorPosition(std::max(0, pos));
    }
    save_->setEnabled(!clean.isEmpty());
  });
  connect(load_, &QPushButton::clicked, this, &CDSett::loadChosen);
  connect(save_, &QPushButton::clicked, this, &CDSett::saveProfileNow);
  connect(delete_, &QPushButton::clicked, this, &CDSett::deleteChosen);

  showAccount();
  fillProfiles();
}

std::string CDSett::fieldBytes(const QLineEdit* field, std::size_t max) const {
  std::string b = corvane::bytes(textsFor(record_.language()), field->text());
  if (b.size() > max) b.resize(max);
  return b;
}

void CDSett::storeFields() {
  AccountBlock a = record_.account();
  a.setHost(fieldBytes(host_, AccountBlock::kHostSize - 1));
  a.setAccountId(fieldBytes(account_, AccountBlock::kAccountIdSize - 1));
  a.setAuthId(fieldBytes(auth_, AccountBlock::kAuthIdSize - 1));
  a.setPassword(fieldBytes(password_, AccountBlock::kPasswordSize - 1));
  record_.setAccount(a);
  record_.setLanguage(std::uint16_t(std::max(0, language_->currentIndex())));
}

void CDSett::showAccount() {
  const corvane::StringTable& t = textsFor(record_.language());
  const AccountBlock a = record_.account();
  host_->setText(corvane::qtext(t, a.host()));
  account_->setText(corvane::qtext(t, a.accountId()));
  auth_->setText(corvane::qtext(t, a.authId()));
  password_->setText(corvane::qtext(t, a.password()));
}

void CDSett::fillProfiles() {
  profiles_->clear();
  for (const ProfileEntry& p : listProfiles(workDir_))
    profiles_->addItem(QString::fromLocal8Bit(p.name), QString::fromLocal8Bit(p.fileName));
  load_->setEnabled(profiles_->count() > 0);
  delete_->setEnabled(profiles_->count() > 0);
}

void CDSett::loadChosen() {
  if (profiles_->currentIndex() < 0) return;
  const std::string file = profiles_->currentData().toString().toLocal8Bit().toStdString();
  AccountBlock a = record_.account();
  if (!loadProfile(corvane::joinPath(workDir_, file), a)) return;
  record_.setAccount(a);
  showAccount();
}

void CDSett::saveProfileNow() {
  const std::string name = cleanProfileName(profileName_->text().toLatin1().toStdString());
  if (name.empty()) return;
  storeFields();
  saveProfile(workDir_, name, record_.account());
  fillProfiles();
  const int at = profiles_->findText(QString::fromLatin1(name));
  if (at >= 0) profiles_->setCurrentIndex(at);
  showAccount();
}

void CDSett::deleteChosen() {
  if (profiles_->currentIndex() < 0) return;
  const std::string file = profiles_->currentData().toString().toLocal8Bit().toStdString();
  deleteProfile(corvane::joinPath(workDir_, file));
  fillProfiles();
}

void CDSett::accept() {
  storeFields();
  QDialog::accept();
}

}  // namespace halvern::ui
