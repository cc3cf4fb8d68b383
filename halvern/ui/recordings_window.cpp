#include "halvern/ui/recordings_window.h"

#include "common/files.h"
#include "common/qt/qt_text.h"
#include "halvern/recording_list.h"
#include "halvern/texts.h"
#include "halvern/ui/tag_dialog.h"  // completes the keyset window's tag dialog pointer
#include "halvern/ui/keyset_window.h"
#include "halvern/ui/recording_service.h"

#include <QAction>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

namespace halvern::ui {

namespace {

// The list line's bytes ride along with each item, so a double-click finds
// the file even where the code page cannot show its name.
constexpr int kLineRole = Qt::UserRole;

// Lines and columns the window shows at its default size: the names the
// naming rule makes with all their numbers run well past the 43 of the
// padding.
constexpr int kDefaultLines = 14;
constexpr int kDefaultColumns = 80;

}  // namespace

CDVrec::CDVrec(RecordingService& service, int language, QWidget* parent)
    : QWidget(parent, Qt::Window), service_(service), language_(language) {
  auto* menuBar = new QMenuBar(this);
  menu_ = menuBar->addMenu(QString());
  downloadAction_ = menu_->addAction(QString(), this, [this] { service_.download(); });

  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menuBar);
  for (QLineEdit*& field : status_) {
    field = new QLineEdit(this);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(field);
  }
  list_ = new QListWidget(this);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Long names scroll sideways rather than losing their durations.
  list_->setTextElideMode(Qt::ElideNone);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Fixed pitch, so the names and the durations after the "/" line up.
  QFont fixedFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixedFont.setStyleHint(QFont::TypeWriter);
  fixedFont.setFixedPitch(true);
  list_->setFont(fixedFont);
  layout->addWidget(list_, 1);
  connect(list_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { play(item->data(kLineRole).toByteArray().toStdString()); });

  const QFontMetrics fm(fixedFont);
  const int lineWidth = fm.horizontalAdvance(QString(kDefaultColumns, QChar('0')));
  const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const QMargins m = layout->contentsMargins();
  resize(lineWidth + scrollBar + 2 * list_->frameWidth() + m.left() + m.right() + 8,
         kDefaultLines * fm.lineSpacing() + 2 * status_[0]->sizeHint().height() + menuBar->sizeHint().height() +
             m.top() + m.bottom() + 3 * layout->spacing());

  connect(&service_, &RecordingService::statusChanged, this, &CDVrec::showStatus);
  connect(&service_, &RecordingService::filesChanged, this, &CDVrec::refreshList);
  retranslate();
  showStatus();
}

void CDVrec::setLanguage(int language) {
  language_ = language;
  retranslate();
  showStatus();
  refreshList();
}

void CDVrec::retranslate() {
  const corvane::StringTable& t = textsFor(language_);
  setWindowTitle(corvane::qtext(t, kTextVoiceRecordingsTitle));
  menu_->setTitle(QStringLiteral("&Halvern"));
  downloadAction_->setText(corvane::qtext(t, kTextDownload));
}

void CDVrec::showStatus() {
  const corvane::StringTable& t = textsFor(language_);
  for (int line = 0; line < 2; ++line) {
    const QString text = corvane::qtext(t, service_.statusLine(line));
    if (status_[line]->text() != text) status_[line]->setText(text);
  }
}

void CDVrec::setStoredRectangle(const WindowRect& r) {
  stored_ = r;
  if (!shownOnce_) place_ = r;
}

WindowRect CDVrec::rectangle() const { return place_; }

void CDVrec::open() {
  if (isMinimized())
    showNormal();
  else
    show();
  raise();
  activateWindow();
}

void CDVrec::refreshList() {
  const corvane::StringTable& t = textsFor(language_);
  list_->clear();
  for (const std::string& line : listRecordings(service_.wavDir())) {
    auto* item = new QListWidgetItem(corvane::qtext(t, line), list_);
    item->setData(kLineRole, QByteArray::fromStdString(line));
  }
  if (list_->count() == 0) return;
  list_->setCurrentRow(list_->count() - 1);
  list_->scrollToItem(list_->item(list_->count() - 1));
}

bool CDVrec::play(const std::string& line) {
  const std::string name = recordingFileName(line);
  if (name.empty()) return false;
  const std::string path = corvane::joinPath(service_.wavDir(), name);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  // The desktop's own choice of player; the path is one argument, never
  // seen by a shell.
  return QProcess::startDetached(QStringLiteral("xdg-open"), {QFile::decodeName(QByteArray::fromStdString(path))});
}

void CDVrec::showEvent(QShowEvent* event) {
  if (!shownOnce_ && !event->spontaneous()) {
    shownOnce_ = true;
    // A stored place with no area would show nothing; the default place
    // is taken then.
    if (stored_.right > 0 && stored_.bottom > 0 && stored_.right > stored_.left && stored_.bottom > stored_.top)
      setGeometry(stored_.left, stored_.top, stored_.right - stored_.left, stored_.bottom - stored_.top);
  }
  QWidget::showEvent(event);
  refreshList();
  rememberPlace();
}

void CDVrec::hideEvent(QHideEvent* event) {
  rememberPlace();
  QWidget::hideEvent(event);
}

void CDVrec::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  rememberPlace();
}

void CDVrec::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  rememberPlace();
}

void CDVrec::rememberPlace() {
  if (!shownOnce_) return;
  const QRect g = isMinimized() || isMaximized() ? normalGeometry() : geometry();
  if (g.width() <= 0 || g.height() <= 0) return;
  place_ = {g.x(), g.y(), g.x() + g.width(), g.y() + g.height()};
}

void connectRecordings(CHalvernDlg& keyset, RecordingService& service, CDVrec& recordings) {
  auto offered = [&keyset, &service] { return keyset.running() && service.available(); };
  QObject::connect(&keyset, &CHalvernDlg::voiceRecordingsRequested, &recordings, [&recordings, offered] {
    if (offered()) recordings.open();
  });
  QObject::connect(&keyset, &CHalvernDlg::vmsgPressed, &recordings, [&recordings, &service, offered] {
    if (!offered()) return;
    recordings.open();
    service.download();
  });
  QObject::connect(&keyset, &CHalvernDlg::runningChanged, &recordings, [&recordings](bool running) {
    if (!running) recordings.hide();
  });
}

}  // namespace halvern::ui
