#include "lumarc/browse/ui/dblist.h"

#include "common/qt/qt_text.h"
#include "lumarc/browse/ui/list_print.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>

namespace lumarc::browse {

CfwDblist::CfwDblist(const corvane::StringTable& texts, QWidget* parent) : QWidget(parent), texts_(texts) {
  control_ = new QListWidget(this);
  control_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // The control holds only the visible rows; the list's own scroll bar
  // pages through the store.
  control_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  control_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  control_->setUniformItemSizes(true);
  control_->setSelectionMode(QAbstractItemView::SingleSelection);
  control_->setContextMenuPolicy(Qt::CustomContextMenu);
  control_->installEventFilter(this);
  control_->viewport()->installEventFilter(this);

  scrollBar_ = new QScrollBar(Qt::Vertical, this);
  scrollBar_->setRange(0, 0);

  connect(scrollBar_, &QScrollBar::actionTriggered, this, &CfwDblist::onScrollAction);
  connect(control_, &QListWidget::itemDoubleClicked, this, [this] {
    if (int line = selectedLine(); line >= 0) emit lineActivated(line);
  });
  connect(control_, &QListWidget::itemSelectionChanged, this, [this] {
    if (!filling_) emit selectionChanged(selectedLine());
  });
  connect(control_, &QListWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (QListWidgetItem* item = control_->itemAt(pos)) control_->setCurrentItem(item);
    emit contextMenuAt(control_->viewport()->mapToGlobal(pos), selectedLine());
  });
  measureRows();
  layoutControls();
}

CfwDblist::~CfwDblist() = default;

void CfwDblist::initialiseStore(const std::string& dir) {
  control_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  measureRows();
  store_ = std::make_unique<LineStore>(dir);
  if (!store_->ok()) store_.reset();
  clear();
}

bool CfwDblist::hasStore() const { return store_ != nullptr; }

uint64_t CfwDblist::recordReads() const { return store_ ? store_->reads() : 0; }

void CfwDblist::clear() {
  filling_ = true;
  control_->clear();
  filling_ = false;
  if (store_) store_->clear();
  list_.reset();
  updateScrollBar();
  control_->setEnabled(true);
  scrollBar_->setEnabled(true);
  if (statusSink_) statusSink_({});
}

void CfwDblist::addLine(std::string_view text, int32_t kind, int32_t index, int32_t extra) {
  if (!store_) return;
  store_->add(text, kind, index, extra);
  list_.setCount(store_->count());
}

void CfwDblist::setHeaders(std::string header1, std::string header2) {
  list_.setHeaders(std::move(header1), std::move(header2));
  redraw();
  updateScrollBar();
}

void CfwDblist::redraw() {
  if (!store_) return;
  // A line that could not be written is not shown as if it were there.
  store_->flush();
  list_.setCount(store_->count());
  if (list_.count() == 0) return;
  const Clbws::Window window = list_.visibleWindow();
  const bool hadSelection = selectedLine() >= 0;
  filling_ = true;
  control_->setUpdatesEnabled(false);
  control_->clear();
  if (!list_.header1().empty()) addRow(corvane::qtext(texts_, list_.header1()));
  if (!list_.header2().empty()) addRow(corvane::qtext(texts_, list_.header2()));
  for (int i = window.first; i < window.first + window.rows; ++i) {
    std::optional<LineRecord> r = store_->read(i);
    if (!r) break;
    addRow(corvane::qtext(texts_, r->text));
  }
  control_->setUpdatesEnabled(true);
  filling_ = false;
  updateScrollBar();
  if (statusSink_) statusSink_(list_.statusText());
  if (hadSelection) emit selectionChanged(-1);
}

void CfwDblist::addPlainText(std::string_view text) { addRow(corvane::qtext(texts_, text)); }

int CfwDblist::selectedLine() const {
  const QList<QListWidgetItem*> selected = control_->selectedItems();
  return list_.selectedLine(selected.isEmpty() ? -1 : control_->row(selected.first()));
}

std::optional<LineRecord> CfwDblist::lineAt(int line) const { return store_ ? store_->read(line) : std::nullopt; }

std::string CfwDblist::lineText(int line) const {
  std::optional<LineRecord> r = lineAt(line);
  return r ? r->text : std::string();
}

void CfwDblist::setTop(int top) {
  list_.setTop(top);
  redraw();
}

void CfwDblist::setStatusSink(std::function<void(const std::string&)> sink) { statusSink_ = std::move(sink); }

bool CfwDblist::printTo(QPrinter& printer) {
  if (store_) store_->flush();
  PrintSource src;
  src.header1 = list_.header1();
  src.header2 = list_.header2();
  src.count = size_t(store_ ? store_->count() : 0);
  src.line = [this](size_t i) { return lineText(int(i)); };
  src.texts = &texts_;
  return printLines(printer, src);
}

bool CfwDblist::printWithDialog() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return false;
  if (printTo(printer)) return true;
  emit printFailed();
  return false;
}

void CfwDblist::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  layoutControls();
}

bool CfwDblist::eventFilter(QObject* watched, QEvent* e) {
  if (watched == control_->viewport()) {
    if (e->type() == QEvent::Resize) {
      const int before = list_.visibleRows();
      measureRows();
      if (list_.visibleRows() != before) redraw();
    } else if (e->type() == QEvent::Wheel) {
      const int dy = static_cast<QWheelEvent*>(e)->angleDelta().y();
      if (dy == 0) return false;  // sideways: the control scrolls itself
      // Whole notches page; fine-grained wheels gather until one is whole.
      wheelRest_ += dy;
      bool moved = false;
      for (; wheelRest_ <= -120; wheelRest_ += 120, moved = true) list_.wheel(true);
      for (; wheelRest_ >= 120; wheelRest_ -= 120, moved = true) list_.wheel(false);
      if (moved) redraw();
      return true;
    }
  } else if (watched == control_ && e->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(e)->key()) {
      case Qt::Key_Up: move(Clbws::Key::Up); return true;
      case Qt::Key_Down: move(Clbws::Key::Down); return true;
      case Qt::Key_PageUp: move(Clbws::Key::PageUp); return true;
      case Qt::Key_PageDown: move(Clbws::Key::PageDown); return true;
      case Qt::Key_Home: move(Clbws::Key::Home); return true;
      case Qt::Key_End: move(Clbws::Key::End); return true;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (int line = selectedLine(); line >= 0) emit lineActivated(line);
        return true;
      default: break;
    }
  }
  return QWidget::eventFilter(watched, e);
}

void CfwDblist::layoutControls() {
  const int w = std::max(0, width() - kScrollBarWidth);
  const int h = std::max(0, height() - kBandHeight);
  control_->setGeometry(0, kBandHeight, w, h);
  scrollBar_->setGeometry(w, kBandHeight, kScrollBarWidth, h);
}

void CfwDblist::measureRows() {
  list_.setGeometry(control_->viewport()->height(), QFontMetrics(control_->font()).height());
}

void CfwDblist::updateScrollBar() {
  const QSignalBlocker block(scrollBar_);
  scrollBar_->setRange(0, list_.scrollMaximum());
  scrollBar_->setSingleStep(1);
  scrollBar_->setPageStep(std::max(1, list_.visibleRows() / list_.scrollStep()));
  scrollBar_->setValue(list_.scrollPosition());
}

void CfwDblist::onScrollAction(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: list_.key(Clbws::Key::Down); break;
    case QAbstractSlider::SliderSingleStepSub: list_.key(Clbws::Key::Up); break;
    case QAbstractSlider::SliderPageStepAdd: list_.key(Clbws::Key::PageDown); break;
    case QAbstractSlider::SliderPageStepSub: list_.key(Clbws::Key::PageUp); break;
    case QAbstractSlider::SliderToMinimum: list_.key(Clbws::Key::Home); break;
    case QAbstractSlider::SliderToMaximum: list_.key(Clbws::Key::End); break;
    case QAbstractSlider::SliderMove: list_.scrollTo(scrollBar_->sliderPosition()); break;
    default: return;
  }
  redraw();
  // The slider takes this position once the action is over.
  scrollBar_->setSliderPosition(list_.scrollPosition());
}

void CfwDblist::addRow(const QString& text) {
  auto* item = new QListWidgetItem(text);
  item->setSizeHint(QSize(kHorizontalExtent, list_.rowHeight()));
  control_->addItem(item);
}

void CfwDblist::move(Clbws::Key k) {
  list_.key(k);
  redraw();
}

}  // namespace lumarc::browse
