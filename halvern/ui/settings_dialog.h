// The settings dialog `CDSett`: language, exchange host, account id,
// authentication id and password, and the account profiles (".ads" files in
// the working directory). Load, Save and Delete act on the settings record
// and the files at once, even when the dialog is then cancelled; OK stores
// the fields into the record, and the caller then restarts the core.
#pragma once

#include "halvern/settings_record.h"

#include <QDialog>

#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace halvern::ui {

class CDSett : public QDialog {
  Q_OBJECT
 public:
  CDSett(SettingsRecord& record, std::string workDir, QWidget* parent = nullptr);

  QComboBox* languageBox() const { return language_; }
  QLineEdit* hostField() const { return host_; }
  QLineEdit* accountField() const { return account_; }
  QLineEdit* authField() const { return auth_; }
  QLineEdit* passwordField() const { return password_; }
  QComboBox* profileBox() const { return profiles_; }
  QLineEdit* profileNameField() const { return profileName_; }
  QPushButton* loadButton() const { return load_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* deleteButton() const { return delete_; }

  // OK: the fields go into the record (language = chosen index; host cut to
  // 63 bytes, account and authentication id to 23, password to 15).
  void accept() override;

 private:
  void storeFields();
  void showAccount();
  void fillProfiles();
  void loadChosen();
  void saveProfileNow();
  void deleteChosen();
  std::string fieldBytes(const QLineEdit* field, std::size_t max) const;

  SettingsRecord& record_;
  std::string workDir_;
  QComboBox* language_ = nullptr;
  QLineEdit* host_ = nullptr;
  QLineEdit* account_ = nullptr;
  QLineEdit* auth_ = nullptr;
  QLineEdit* password_ = nullptr;
  QComboBox* profiles_ = nullptr;
  QLineEdit* profileName_ = nullptr;
  QPushButton* load_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* delete_ = nullptr;
};

}  // namespace halvern::ui
