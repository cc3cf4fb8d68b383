#include "lumarc/browse/ui/prop_wnd.h"

#include "common/qt/qt_text.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/ui/db_settings.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lumarc::browse {

namespace {

// Item data of column 0: the property's description.
constexpr int kDescriptionRole = Qt::UserRole + 1;
// Editor property: the PropertyField it edits.
constexpr const char* kFieldProperty = "field";

}  // namespace

PropWnd::PropWnd(const corvane::StringTable& texts, SettingsBlock& settings, PropWndHooks hooks, QWidget* parent)
    : QWidget(parent), texts_(texts), settings_(settings), hooks_(std::move(hooks)), set_(texts),
      dbSettingsPath_(defaultDbSettingsPath()) {
  grid_ = new QTreeWidget(this);
  grid_->setColumnCount(2);
  grid_->setHeaderLabels({corvane::qtext(texts_, kTextPropProperty), corvane::qtext(texts_, kTextPropValue)});
  grid_->setRootIsDecorated(true);
  grid_->setAlternatingRowColors(true);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->header()->setStretchLastSection(true);

  description_ = new QLabel(this);
  description_->setWordWrap(true);
  description_->setFrameShape(QFrame::StyledPanel);
  description_->setMinimumHeight(description_->fontMetrics().lineSpacing() * 3);
  description_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  save_ = new QPushButton(corvane::qtext(texts_, commandLabel(texts_, kCmdSaveProperties)), this);
  save_->setToolTip(corvane::qtext(texts_, commandTip(texts_, kCmdSaveProperties)));
  save_->hide();
  connect(save_, &QPushButton::clicked, this, [this] { save(); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(grid_, 1);
  layout->addWidget(description_);
  layout->addWidget(save_);

  connect(grid_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    description_->setText(item ? item->data(0, kDescriptionRole).toString() : QString());
  });
}

PropWnd::~PropWnd() {
  // A database choice edited last, with no editing finished since, is kept.
  if (set_.databasesChanged()) storeDatabases();
}

void PropWnd::showProgramInfo(const RuntimeStatus& status) {
  set_.showProgramInfo(status);
  rebuild();
}

void PropWnd::showSettings() {
  set_.showSettings(settings_, loadDbSettings(dbSettingsPath_));
  rebuild();
}

void PropWnd::showDefinition(const RouteRecord& row) {
  set_.showDefinition(row);
  rebuild();
}

void PropWnd::showUser(const UserRecord& row) {
  set_.showUser(row);
  rebuild();
}

bool PropWnd::save() {
  message("");
  switch (set_.kind()) {
    case PropertyKind::Definition: {
      RouteRecord& row = set_.definition();
      // A definition without digits is never stored, changed or not.
      if (row.RDgts.empty()) {
        message(t(kTextDigitDefinitionMissing));
        return false;
      }
      store::Database* db = hooks_.database ? hooks_.database() : nullptr;
      if (!db) {
        message(t(kTextDatabaseAccessFailed));
        return false;
      }
      std::string error;
      switch (saveDefinition(*db, row, error)) {
        case SaveResult::Saved: break;
        case SaveResult::DigitsMissing: message(t(kTextDigitDefinitionMissing)); return false;
        case SaveResult::NotDigits: message(t(kTextDigitsOnly)); return false;
        case SaveResult::TooLong: message(t(kTextTextTooLong)); return false;
        case SaveResult::Failed: message(error); return false;
      }
      if (hooks_.definitionSaved) hooks_.definitionSaved(row.RType);
      break;
    }
    case PropertyKind::User: {
      if (!set_.changed()) break;
      store::Database* db = hooks_.database ? hooks_.database() : nullptr;
      if (!db) {
        message(t(kTextDatabaseAccessFailed));
        return false;
      }
      std::string error;
      if (!saveUser(*db, set_.user(), error)) {
        message(error);
        return false;
      }
      if (hooks_.userSaved) hooks_.userSaved();
      break;
    }
    case PropertyKind::SystemSettings:
      if (set_.databasesChanged()) storeDatabases();
      break;
    default: break;
  }
  set_.clearChanged();
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
  return true;
}

void PropWnd::rebuild() {
  grid_->clear();
  save_->setVisible(set_.kind() == PropertyKind::Definition || set_.kind() == PropertyKind::User);
  description_->clear();

  QTreeWidgetItem* group = nullptr;
  QTreeWidgetItem* parent = nullptr;  // the level-0 row that detail rows go under
  std::string groupName;
  for (const Property& p : set_.properties()) {
    if (!group || p.group != groupName) {
      groupName = p.group;
      group = new QTreeWidgetItem(grid_, {corvane::qtext(texts_, p.group)});
      QFont bold = group->font(0);
      bold.setBold(true);
      group->setFont(0, bold);
      group->setFirstColumnSpanned(true);
      group->setExpanded(true);
      parent = nullptr;
    }
    QTreeWidgetItem* under = p.level > 0 && parent ? parent : group;
    auto* item = new QTreeWidgetItem(under);
    if (!p.command) item->setText(0, corvane::qtext(texts_, p.name));
    item->setData(0, kDescriptionRole, corvane::qtext(texts_, p.description));
    if (p.level == 0) parent = item;
    if (p.editable || p.command) {
      grid_->setItemWidget(item, 1, editorFor(p, item));
    } else {
      item->setText(1, toQt(p, p.value));
      item->setToolTip(1, item->text(1));
    }
    under->setExpanded(true);
  }
  grid_->resizeColumnToContents(0);
}

QWidget* PropWnd::editorFor(const Property& p, QTreeWidgetItem* item) {
  QWidget* editor = nullptr;
  const PropertyField field = p.field;
  if (p.command) {
    auto* button = new QPushButton(corvane::qtext(texts_, p.name));
    const bool voice = isVoiceField(field);
    connect(button, &QPushButton::clicked, this, [this, voice] { testConnection(voice); });
    editor = button;
  } else if (!p.choices.empty()) {
    auto* box = new QComboBox;
    for (const std::string& c : p.choices) box->addItem(toQt(p, c));
    for (size_t i = 0; i < p.choices.size(); ++i)
      if (p.choices[i] == p.value) box->setCurrentIndex(int(i));
    const std::vector<std::string> choices = p.choices;
    connect(box, &QComboBox::activated, this, [this, field, choices](int i) {
      if (i >= 0 && size_t(i) < choices.size()) edited(field, choices[size_t(i)]);
    });
    editor = box;
  } else {
    auto* line = new QLineEdit(toQt(p, p.value));
    if (p.maxLength > 0) line->setMaxLength(int(p.maxLength));
    if (p.digitsOnly) line->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), line));
    if (p.secret) line->setEchoMode(QLineEdit::Password);
    const Property shape = p;
    connect(line, &QLineEdit::textEdited, this,
            [this, field, shape](const QString& s) { edited(field, fromQt(shape, s)); });
    if (isDatabaseField(field)) {
      connect(line, &QLineEdit::editingFinished, this, [this] {
        if (set_.databasesChanged()) storeDatabases();
      });
    }
    editor = line;
  }
  editor->setProperty(kFieldProperty, int(field));
  editor->setAccessibleName(corvane::qtext(texts_, p.name));
  editor->installEventFilter(this);
  // Focus on an editor makes its row the current one (for the description).
  editor->setProperty("row", QVariant::fromValue(static_cast<void*>(item)));
  return editor;
}

bool PropWnd::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (auto* item = static_cast<QTreeWidgetItem*>(watched->property("row").value<void*>()))
      grid_->setCurrentItem(item);
  }
  return QWidget::eventFilter(watched, event);
}

void PropWnd::edited(PropertyField field, const std::string& value) {
  const bool wasChanged = set_.changed();
  if (!set_.edit(field, value)) return;
  if (isDatabaseField(field) && dbFieldOf(field) == DbField::Kind) {
    // Other rows belong to the new kind; the combo box that reported the
    // edit must outlive its signal, so the grid is rebuilt afterwards.
    storeDatabases();
    QTimer::singleShot(0, this, [this] { rebuild(); });
  }
  if (!wasChanged && hooks_.refreshToolbar) hooks_.refreshToolbar();
}

void PropWnd::storeDatabases() {
  if (saveDbSettings(set_.databases(), dbSettingsPath_)) {
    set_.clearDatabasesChanged();
  } else {
    message(t(kTextDatabaseSettingsNotStored));
  }
}

void PropWnd::testConnection(bool voice) {
  const std::string conn = connectionString(voice ? set_.databases().voice : set_.databases().main);
  if (conn.empty()) return;
  std::string result;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    store::Database db(conn, texts_.codePage(), true);
    result = t(kTextConnectionSucceeded);
  } catch (const std::exception& e) {
    result = store::failureText(e);
  }
  QApplication::restoreOverrideCursor();
  message(result);
}

void PropWnd::message(const std::string& text) {
  if (hooks_.message) hooks_.message(text);
}

QString PropWnd::toQt(const Property& p, const std::string& value) const {
  return p.utf8 ? QString::fromStdString(value) : corvane::qtext(texts_, value);
}

std::string PropWnd::fromQt(const Property& p, const QString& value) const {
  return p.utf8 ? value.toStdString() : corvane::bytes(texts_, value);
}

}  // namespace lumarc::browse
