// The selection form (CfwSdlg) of the CMDR and voice recording browsers:
// every field of one selection, the templates kept in Tmpl03 (Save, Trash,
// choice from the drop-down) and the rules that enable the fields for the
// browser it was opened for.
#pragma once

#include "common/string_table.h"
#include "lumarc/records/records.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimeEdit;

namespace lumarc::store {
class Database;
}

namespace lumarc::browse {

struct SelectionFormHooks {
  std::function<store::Database*()> database;       // the main database (templates, users, definitions)
  std::function<void(const std::string&)> message;  // message bar (8-bit text)
  std::function<void()> refreshToolbar;
};

class CfwSdlg : public QWidget {
  Q_OBJECT
 public:
  CfwSdlg(const corvane::StringTable& texts, SelectionFormHooks hooks, QWidget* parent = nullptr);

  // Shows the form for a browser: its title, the drop-downs filled anew,
  // selection s in the fields and the enabling rules of that browser.
  void showFor(bool voice, const TemplateRecord& s);
  bool voice() const { return voice_; }
  // The fields as a selection (key: the chosen template's, or -1).
  TemplateRecord read() const;
  // Puts a selection into the fields.
  void load(const TemplateRecord& s);

  // Save (327) and Trash (331).
  void command(int id);
  bool commandEnabled(int id) const;
  // The chosen template's key; -1 for "New record".
  int32_t chosenTemplate() const { return chosen_; }

  // The controls, for tests.
  QComboBox* templates() const { return templates_; }
  QComboBox* variant() const { return variant_; }
  QComboBox* listedUsers() const { return mode_; }
  QComboBox* listed() const { return listed_; }
  QLineEdit* usedPort() const { return portEdit_; }
  QComboBox* usedPortChoice() const { return portChoice_; }
  QComboBox* direction() const { return direction_; }
  QLineEdit* name() const { return name_; }
  QLineEdit* dialled() const { return dialledEdit_; }

 private:
  void fillTemplates();
  void fillChoices();
  void fillListed();
  void applyEnabling();
  void templateChosen(int index);
  void pairChanged(QLineEdit* edit, QComboBox* choice);
  std::string text(const QLineEdit* e) const;

  const corvane::StringTable& texts_;
  SelectionFormHooks hooks_;
  bool voice_ = false;
  int32_t chosen_ = -1;
  std::vector<int32_t> templateKeys_;
  bool filling_ = false;

  QLabel* title_ = nullptr;
  QComboBox* templates_ = nullptr;
  QLineEdit* name_ = nullptr;
  QComboBox* variant_ = nullptr;
  QCheckBox* noDetails_ = nullptr;
  QDateEdit* dateFrom_ = nullptr;
  QDateEdit* dateTo_ = nullptr;
  QTimeEdit* timeFrom_ = nullptr;
  QTimeEdit* timeTo_ = nullptr;
  QTimeEdit* durationMin_ = nullptr;
  QTimeEdit* durationMax_ = nullptr;
  QDoubleSpinBox* price_ = nullptr;
  QLineEdit* unit_ = nullptr;
  QSpinBox* rpulsMin_ = nullptr;
  QSpinBox* rpulsMax_ = nullptr;
  QSpinBox* ppulsMin_ = nullptr;
  QSpinBox* ppulsMax_ = nullptr;
  QComboBox* incoming_ = nullptr;
  QComboBox* outgoing_ = nullptr;
  QComboBox* star_ = nullptr;
  QComboBox* lineFormat_ = nullptr;
  QComboBox* replace_ = nullptr;
  QCheckBox* ackedFree_ = nullptr;
  QComboBox* mode_ = nullptr;
  QComboBox* listed_ = nullptr;
  QLineEdit* portEdit_ = nullptr;
  QComboBox* portChoice_ = nullptr;
  QLineEdit* dialledEdit_ = nullptr;
  QComboBox* dialledChoice_ = nullptr;
  QLineEdit* callingEdit_ = nullptr;
  QComboBox* callingChoice_ = nullptr;
  QLineEdit* address_ = nullptr;
  QComboBox* direction_ = nullptr;
};

}  // namespace lumarc::browse
