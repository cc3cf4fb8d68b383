#include "lumarc/window/link_pane.h"

#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/icons.h"
#include "common/qt/qt_text.h"

#include <QAction>
#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace lumarc::ui {

namespace {
int addressTip(LinkKind kind) {
  switch (kind) {
    case LinkKind::Monitor: return kTextMonitorAddressTip;
    case LinkKind::Voice: return kTextVoiceAddressTip;
    default: return kTextCmdrAddressTip;
  }
}
}  // namespace

LinkPane::LinkPane(LinkKind kind, SettingsBlock& settings, const corvane::StringTable& texts,
                   std::function<void(const std::string&)> setCaptionMessage, std::function<void()> refreshToolbar,
                   std::string workDir, LinkFactory factory, QWidget* parent)
    // clang-format off
    : QWidget(parent),
      kind_(kind),
      settings_(settings),
      texts_(texts),
      caption_(std::move(setCaptionMessage)),
      // clang-format on
      refreshToolbar_(std::move(refreshToolbar)) {
  if (factory) {
    LinkEnvironment env;
    env.workDir = std::move(workDir);
    env.messageText = linkMessages(texts_);
    env.view = this;
    env.addToHistory = [this](const ConnectionTarget& t) { settings_.history(kind_).add(t); };
    env.flipAutoScroll = [this] { settings_.setAutoScroll(settings_.autoScroll() ? 0 : 1); };
    own_ = std::make_unique<LinkList>(kind, std::move(env), std::move(factory));
    links_ = own_.get();
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  bar_ = new QToolBar(this);
  bar_->setIconSize(QSize(16, 16));
  address_ = new QComboBox(bar_);
  address_->setEditable(true);
  address_->setInsertPolicy(QComboBox::NoInsert);
  address_->setMinimumContentsLength(28);
  address_->setToolTip(qtext(texts_, addressTip(kind)));
  bar_->addWidget(address_);
  open_ = bar_->addAction(qtext(texts_, kTextOpenLabel));
  open_->setToolTip(qtext(texts_, kTextOpenTip));
  close_ = bar_->addAction(qtext(texts_, kTextCloseLabel));
  close_->setToolTip(qtext(texts_, kTextCloseTip));
  scroll_ = bar_->addAction(qtext(texts_, kTextScrollLabel));
  scroll_->setToolTip(qtext(texts_, kTextScrollTip));
  layout->addWidget(bar_);
  tabs_ = new QTabWidget(this);
  tabs_->setDocumentMode(true);
  layout->addWidget(tabs_, 1);

  connect(open_, &QAction::triggered, this, [this] { openLink(bytes(texts_, address_->currentText())); });
  connect(address_->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { openLink(bytes(texts_, address_->currentText())); });
  connect(close_, &QAction::triggered, this, [this] { closeActiveLink(); });
  connect(scroll_, &QAction::triggered, this, [this] { toggleScroll(); });
  refillAddressBox();
}

LinkPane::~LinkPane() {
  // The derived pane is gone already: its handlers of tab changes must not
  // run while the links close.
  tabs_->blockSignals(true);
  closeAll();
}

int LinkPane::openLink(const std::string& addressText) { return links_ ? links_->openLink(addressText) : -1; }

int LinkPane::openTarget(const ConnectionTarget& target) {
  setCaptionMessage("");
  return links_ ? links_->openTarget(target) : -1;
}

void LinkPane::closeActiveLink() {
  int index = tabs_->currentIndex();
  if (index < 0) {
    setCaptionMessage("");
    return;
  }
  if (links_) links_->closeLink(tabs_->widget(index)->property("slot").toInt());
}

void LinkPane::toggleScroll() {
  if (links_) links_->toggleScroll();
}

void LinkPane::tick() {
  if (links_) links_->tick();
}

void LinkPane::closeAll() {
  if (links_) links_->closeAll();
}

QListWidget* LinkPane::listOf(int slot) const {
  auto it = lists_.find(slot);
  return it == lists_.end() ? nullptr : it->second;
}

void LinkPane::refillAddressBox() {
  const ConnectionHistory h = settings_.history(kind_);
  address_->clear();
  for (size_t i = 0; i < kHistorySlots; ++i)
    if (h.used(i)) address_->addItem(qtext(texts_, addressBoxText(h.slot(i), kind_)));
  address_->setCurrentIndex(-1);
}

void LinkPane::setCaptionMessage(const std::string& text) {
  if (caption_) caption_(text);
}

int LinkPane::tabIndexOf(int slot) const {
  QListWidget* l = listOf(slot);
  return l ? tabs_->indexOf(l) : -1;
}

void LinkPane::tabAdded(int slot, const std::string& label) {
  auto* list = new QListWidget(tabs_);
  list->setProperty("slot", slot);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  list->setFont(font);
  list->setUniformItemSizes(true);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lists_[slot] = list;
  int index = tabs_->addTab(list, linkStateIcon(kIconConnecting), qtext(texts_, label));
  tabs_->setCurrentIndex(index);
}

void LinkPane::tabRemoved(int slot) {
  int index = tabIndexOf(slot);
  QListWidget* list = listOf(slot);
  lists_.erase(slot);
  if (index >= 0) tabs_->removeTab(index);
  delete list;
}

void LinkPane::tabIcon(int slot, int icon) {
  int index = tabIndexOf(slot);
  if (index >= 0) tabs_->setTabIcon(index, linkStateIcon(icon));
}

void LinkPane::lineAppended(int slot, const std::string& line, bool dropFirst) {
  QListWidget* list = listOf(slot);
  if (!list) return;
  if (dropFirst && list->count() > 0) delete list->takeItem(0);
  list->addItem(qtext(texts_, line));
  while (size_t(list->count()) > kMaxListLines) delete list->takeItem(0);
  if (settings_.autoScroll()) list->scrollToBottom();
}

void LinkPane::historyChanged() {
  refillAddressBox();
  if (refreshToolbar_) refreshToolbar_();
}

}  // namespace lumarc::ui
