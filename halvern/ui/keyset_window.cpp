#include "halvern/ui/keyset_window.h"

#include "common/qt/qt_text.h"
#include "halvern/texts.h"
#include "halvern/ui/tag_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <optional>

namespace halvern::ui {

namespace {

// The drawing of the keyset's looks: the look of a key ("normal", "sdon"
// lit, "sdoff" dark, "shift" shift active) and of a status lamp ("on",
// "off") are dynamic properties the style sheet picks up.
constexpr const char* kStyle = R"(
QPushButton[look] { border: 1px solid #5a5a5a; border-radius: 3px; padding: 0px; }
QPushButton[look="normal"] { background-color: #dcdcdc; color: #000000; }
QPushButton[look="normal"]:disabled { background-color: #c8c8c8; color: #909090; }
QPushButton[look="sdon"] { background-color: #ffb020; color: #000000; border-color: #a06000; }
QPushButton[look="sdoff"] { background-color: #3c3c3c; color: #f0f0f0; }
QPushButton[look="sdoff"]:disabled { color: #808080; }
QPushButton[look="shift"] { background-color: #3070d0; color: #ffffff; border-color: #103070; }
QPushButton[lamp] { border-radius: 4px; padding: 0px; }
QPushButton[lamp="on"] { background-color: #30e040; color: #000000; border: 1px solid #107020; }
QPushButton[lamp="off"] { background-color: #2c2c2c; color: #8a8a8a; border: 1px solid #101010; }
QListWidget#display { background-color: #c8d8b0; color: #102010; }
QListWidget#display::item { padding: 0px; margin: 0px; border: 0px; }
)";

// Sets a style-sheet property and lets the style see the change.
void setLookProperty(QWidget* w, const char* name, const char* value) {
  if (w->property(name).toString() == QLatin1String(value)) return;
  w->setProperty(name, QString::fromLatin1(value));
  w->style()->unpolish(w);
  w->style()->polish(w);
  w->update();
}

void setTextIfChanged(QPushButton* b, const QString& text) {
  if (b->text() != text) b->setText(text);
}

std::optional<NavKey> navKeyOf(int key) {
  switch (key) {
    case Qt::Key_Escape: return NavKey::Escape;
    case Qt::Key_Return:
    case Qt::Key_Enter: return NavKey::Enter;
    case Qt::Key_Left: return NavKey::Left;
    case Qt::Key_Up: return NavKey::Up;
    case Qt::Key_Right: return NavKey::Right;
    case Qt::Key_Down: return NavKey::Down;
    case Qt::Key_Delete: return NavKey::Delete;
    default: return std::nullopt;
  }
}

}  // namespace

CHalvernDlg::CHalvernDlg(int language, QWidget* parent) : QWidget(parent), language_(language), model_(language) {
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  build();
  retranslate();
  applyView(model_.view());
  qApp->installEventFilter(this);
}

CHalvernDlg::~CHalvernDlg() { qApp->removeEventFilter(this); }

QRect CHalvernDlg::fromDu(const DuRect& r) const {
  // Dialog units: a quarter of the average character width across, an
  // eighth of the character height down.
  QFontMetrics fm(font());
  int baseX =
      (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
  int baseY = fm.height();
  auto px = [](int du, int base, int div) { return (du * base + div / 2) / div; };
  return QRect(px(r.x, baseX, 4), px(r.y, baseY, 8), px(r.w, baseX, 4), px(r.h, baseY, 8));
}

void CHalvernDlg::build() {
  setStyleSheet(QString::fromLatin1(kStyle));

  menuBar_ = new QMenuBar(this);
  menu_ = menuBar_->addMenu(QString());
  voiceAction_ = menu_->addAction(QString(), this, &CHalvernDlg::voiceRecordingsRequested);
  menu_->addSeparator();
  settingsAction_ = menu_->addAction(QString(), this, &CHalvernDlg::settingsRequested);
  editTagsAction_ = menu_->addAction(QString());
  editTagsAction_->setCheckable(true);
  connect(editTagsAction_, &QAction::toggled, this, [this](bool on) { editingTags_ = on; });
  menu_->addSeparator();
  aboutAction_ = menu_->addAction(QString(), this, &CHalvernDlg::aboutRequested);

  auto* face = new QWidget(this);
  QRect whole = fromDu({0, 0, kWindowWidthDu, kWindowHeightDu});
  face->setFixedSize(whole.size());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(menuBar_);
  layout->addWidget(face);

  display_ = new QListWidget(face);
  display_->setObjectName(QStringLiteral("display"));
  display_->setProperty("control", kDisplayControl);
  display_->setGeometry(fromDu(kDisplayRect));
  display_->setFocusPolicy(Qt::NoFocus);
  display_->setSelectionMode(QAbstractItemView::NoSelection);
  display_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  display_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  display_->setUniformItemSizes(true);
  display_->setSpacing(0);
  display_->setFrameShape(QFrame::Box);
  // The keyset's font is 16 high; a smaller one where 8 lines of 25 would
  // not fit the list at this screen's dialog units.
  QFont fixedFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixedFont.setStyleHint(QFont::TypeWriter);
  fixedFont.setFixedPitch(true);
  const QSize room = display_->contentsRect().size();
  for (int size = kDisplayFontHeightPx; size > 6; --size) {
    fixedFont.setPixelSize(size);
    QFontMetrics fm(fixedFont);
    if (kDisplayLines * fm.height() <= room.height() &&
        fm.horizontalAdvance(QString(kDisplayColumns, QChar('W'))) + 4 <= room.width()) {
      break;
    }
  }
  display_->setFont(fixedFont);

  belowDisplay_ = new QLineEdit(face);
  belowDisplay_->setObjectName(QStringLiteral("control%1").arg(kBelowDisplayControl));
  belowDisplay_->setReadOnly(true);
  belowDisplay_->setFocusPolicy(Qt::NoFocus);
  belowDisplay_->setGeometry(fromDu(kBelowDisplayRect));

  auto makeButton = [&](int control, const DuRect& r) {
    auto* b = new QPushButton(face);
    b->setObjectName(QStringLiteral("control%1").arg(control));
    b->setGeometry(fromDu(r));
    b->setAutoDefault(false);
    b->setEnabled(false);
    return b;
  };
  for (std::size_t i = 0; i < kFixedKeys.size(); ++i) {
    const FixedKey& k = kFixedKeys[i];
    QPushButton* b = makeButton(k.control, k.rect);
    setLookProperty(b, "look", "normal");
    if (k.role == KeyRole::Hook) {
      connect(b, &QPushButton::clicked, this, [this] {
        if (running_) emit hookToggled();
      });
    } else {
      b->setFocusPolicy(Qt::NoFocus);
      connect(b, &QPushButton::clicked, this, [this, code = k.code] { sendKey(code); });
    }
    fixed_[i] = b;
  }
  for (int key = 0; key < kProgrammableKeyCount; ++key) {
    const ProgrammableKey& k = kProgrammableKeys[key];
    QPushButton* b = makeButton(k.control, programmableKeyRect(key));
    b->setFocusPolicy(Qt::NoFocus);
    setLookProperty(b, "look", "normal");
    connect(b, &QPushButton::clicked, this, [this, code = k.code] { sendKey(code); });
    programmable_[key] = b;

    auto* tag = new QLineEdit(face);
    tag->setObjectName(QStringLiteral("control%1").arg(k.tagControl));
    tag->setGeometry(fromDu(tagFieldRect(key)));
    tag->setReadOnly(true);
    tag->setFocusPolicy(Qt::ClickFocus);
    tagFields_[key] = tag;
  }
  for (std::size_t i = 0; i < kStatusLamps.size(); ++i) {
    QPushButton* b = makeButton(kStatusLamps[i].control, kStatusLamps[i].rect);
    b->setFocusPolicy(Qt::NoFocus);
    setLookProperty(b, "lamp", "off");
    if (int(i) == kVmsgLampIndex) connect(b, &QPushButton::clicked, this, &CHalvernDlg::vmsgPressed);
    statusLamps_[i] = b;
  }
  setFocusPolicy(Qt::StrongFocus);
}

void CHalvernDlg::retranslate() {
  const corvane::StringTable& t = textsFor(language_);
  menu_->setTitle(QStringLiteral("&Halvern"));
  voiceAction_->setText(corvane::qtext(t, kTextVoiceRecordingsMenu));
  settingsAction_->setText(corvane::qtext(t, kTextSettingsMenu));
  editTagsAction_->setText(corvane::qtext(t, kTextEditTagsMenu));
  aboutAction_->setText(corvane::qtext(t, kTextAboutMenu));
}

QWidget* CHalvernDlg::control(int id) const {
  return findChild<QWidget*>(id == kDisplayControl ? QStringLiteral("display") : QStringLiteral("control%1").arg(id));
}

void CHalvernDlg::setTags(const TagTexts& tags) {
  model_.setTags(tags);
  applyView(model_.view());
}

TagTexts CHalvernDlg::tags() const { return model_.tags(); }

void CHalvernDlg::setLanguage(int language) {
  language_ = language;
  model_.setLanguage(language);
  retranslate();
  applyView(model_.view());
}

void CHalvernDlg::setEditingTags(bool on) { editTagsAction_->setChecked(on); }

void CHalvernDlg::setVoiceRecordingsAvailable(bool available) {
  voiceAvailable_ = available;
  voiceAction_->setEnabled(running_ && voiceAvailable_);
}

void CHalvernDlg::closeNow() {
  closing_ = true;
  close();
}

void CHalvernDlg::showSnapshot(const halvern::KeysetSnapshot& snapshot) {
  ++phase_;
  const KeysetView& v = model_.refresh(snapshot, phase_);
  running_ = v.running;
  if (v.displayChanged) rebuildDisplay(v);
  applyView(v);
  if (v.enteredRunning || v.leftRunning) emit runningChanged(v.running);
}

void CHalvernDlg::bringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void CHalvernDlg::rebuildDisplay(const KeysetView& v) {
  const corvane::StringTable& t = textsFor(language_);
  display_->clear();
  for (const std::string& line : v.display) {
    if (v.socketFault && line.empty()) continue;
    display_->addItem(corvane::qtext(t, line));
  }
}

void CHalvernDlg::applyView(const KeysetView& v) {
  const corvane::StringTable& t = textsFor(language_);
  for (std::size_t i = 0; i < kFixedKeys.size(); ++i) {
    QPushButton* b = fixed_[i];
    setTextIfChanged(b, corvane::qtext(t, v.fixed[i].caption));
    b->setEnabled(v.fixed[i].enabled);
    setLookProperty(b, "look", std::string(lookName(v.fixed[i].look)).c_str());
  }
  for (int key = 0; key < kProgrammableKeyCount; ++key) {
    QPushButton* b = programmable_[key];
    setTextIfChanged(b, corvane::qtext(t, v.programmable[key].caption));
    b->setEnabled(v.programmable[key].enabled);
    setLookProperty(b, "look", std::string(lookName(v.programmable[key].look)).c_str());
    QString tag = corvane::qtext(t, v.tags[key]);
    if (tagFields_[key]->text() != tag) tagFields_[key]->setText(tag);
  }
  for (std::size_t i = 0; i < kStatusLamps.size(); ++i) {
    QPushButton* b = statusLamps_[i];
    setTextIfChanged(b, corvane::qtext(t, v.statusLamps[i].caption));
    b->setEnabled(v.statusLamps[i].enabled);
    setLookProperty(b, "lamp", v.statusLamps[i].enabled ? "on" : "off");
  }
  voiceAction_->setEnabled(v.running && voiceAvailable_);
  if (v.liveHookKey != liveHookKey_) {
    liveHookKey_ = v.liveHookKey;
    focusLiveHookKey();
  }
}

void CHalvernDlg::focusLiveHookKey() {
  if (liveHookKey_ >= 0) {
    fixed_[liveHookKey_]->setFocus(Qt::OtherFocusReason);
  } else if (QWidget* f = focusWidget()) {
    f->clearFocus();
  }
}

void CHalvernDlg::sendKey(std::uint16_t code) {
  if (running_) emit keyPressed(code);
}

bool CHalvernDlg::handleKey(QKeyEvent* e) {
  if (std::optional<NavKey> nav = navKeyOf(e->key())) {
    // Taken whether or not Running: they never close the window nor move
    // the focus.
    sendKey(navKeyCode(*nav));
    return true;
  }
  if (!running_ || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) return false;
  const QList<uint> chars = e->text().toUcs4();
  if (chars.size() != 1) return false;
  std::optional<std::uint16_t> code = keyCodeForChar(char32_t(chars[0]));
  if (!code) return false;
  sendKey(*code);
  return true;
}

bool CHalvernDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    return handleKey(static_cast<QKeyEvent*>(event));
  }
  if (event->type() == QEvent::FocusIn) {
    for (int key = 0; key < kProgrammableKeyCount; ++key) {
      if (watched != tagFields_[key]) continue;
      // A tag field never keeps the focus; in "Edit tags" mode it opens
      // the key's tag dialog. Done once the focus change is over.
      QTimer::singleShot(0, this, [this, key] {
        if (editingTags_) openTagDialog(key);
        focusLiveHookKey();
      });
      break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CHalvernDlg::openTagDialog(int key) {
  if (tagDialog_) return;
  const TagTexts& all = model_.tags();
  std::array<std::string, 4> texts;
  for (int level = 0; level < kShiftLevels; ++level) texts[level] = all[level][key];
  auto* dlg = new CDtagupd(texts, language_, this);
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  tagDialog_ = dlg;
  connect(dlg, &QDialog::accepted, this, [this, dlg, key] {
    std::array<std::string, 4> edited = dlg->texts();
    for (int level = 0; level < kShiftLevels; ++level) model_.setTag(level, key, edited[level]);
    applyView(model_.view());
    emit tagsEdited();
  });
  connect(dlg, &QDialog::finished, this, [this] { focusLiveHookKey(); });
  dlg->open();
}

void CHalvernDlg::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  // The close box asks the program, which unregisters first.
  event->ignore();
  emit closeRequested();
}

}  // namespace halvern::ui
