// "Tag update": the four tag texts of one programmable key, one per shift
// level ("Default", "Shift fast flash", "Shift slow flash", "Shift on").
#pragma once

#include <QDialog>

#include <array>
#include <string>

class QLineEdit;
class QPushButton;

namespace halvern::ui {

class CDtagupd : public QDialog {
  Q_OBJECT
 public:
  // texts: the key's tag texts by shift level, 8-bit text in the code page
  // of `language`.
  CDtagupd(const std::array<std::string, 4>& texts, int language, QWidget* parent = nullptr);

  // The texts as edited, 8-bit text cut to 31 bytes each.
  std::array<std::string, 4> texts() const;

  QLineEdit* field(int level) const { return fields_[level]; }
  QPushButton* okButton() const { return ok_; }

 private:
  int language_;
  std::array<QLineEdit*, 4> fields_{};
  QPushButton* ok_ = nullptr;
};

}  // namespace halvern::ui
