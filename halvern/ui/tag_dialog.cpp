#include "halvern/ui/tag_dialog.h"

#include "common/qt/qt_text.h"
#include "halvern/keyset_keys.h"
#include "halvern/texts.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace halvern::ui {

CDtagupd::CDtagupd(const std::array<std::string, 4>& texts, int language, QWidget* parent)
    : QDialog(parent), language_(language) {
  const corvane::StringTable& t = textsFor(language);
  setWindowTitle(corvane::qtext(t, kTextTagUpdateTitle));
  static constexpr int kLabels[4] = {kTextTagDefault, kTextTagShiftFastFlash, kTextTagShiftSlowFlash, kTextTagShiftOn};

  auto* form = new QFormLayout;
  for (int level = 0; level < 4; ++level) {
    auto* edit = new QLineEdit(corvane::qtext(t, texts[level]), this);
    edit->setObjectName(QStringLiteral("tag%1").arg(level));
    edit->setMaxLength(int(kTagTextMax));
    form->addRow(new QLabel(corvane::qtext(t, kLabels[level]), this), edit);
    fields_[level] = edit;
  }
  ok_ = new QPushButton(corvane::qtext(t, kTextOk), this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
  fields_[0]->setFocus();
}

std::array<std::string, 4> CDtagupd::texts() const {
  const corvane::StringTable& t = textsFor(language_);
  std::array<std::string, 4> out;
  // A character may take more than one byte only in UTF-8: in the code page
  // every character is one byte, so the cut counts characters.
  for (int level = 0; level < 4; ++level) out[level] = corvane::bytes(t, fields_[level]->text()).substr(0, kTagTextMax);
  return out;
}

}  // namespace halvern::ui
