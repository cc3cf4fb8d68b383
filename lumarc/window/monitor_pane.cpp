#include "lumarc/window/monitor_pane.h"

#include "lumarc/texts/texts.h"
#include "common/qt/qt_text.h"
#include "lumarc/links/net/datagram_socket.h"

#include <QAction>
#include <QApplication>
#include <QTabWidget>
#include <QToolBar>

namespace lumarc::ui {

LinkFactory monitorPaneFactory(const SettingsBlock& settings) {
  MonitorLinkSetup setup;
  setup.makeSocket = net::qtDatagramTransportFactory();
  setup.decodeOptions = [&settings] {
    DecodeOptions o;
    o.layer2 = settings.layer2() != 0;
    return o;
  };
  return monitorLinkFactory(setup);
}

MonitorPane::MonitorPane(SettingsBlock& settings, const corvane::StringTable& texts,
                         std::function<void(const std::string&)> setCaptionMessage,
                         std::function<void()> refreshToolbar, std::string workDir, LinkFactory factory,
                         std::unique_ptr<ProcessRunner> runner, QWidget* parent)
    : LinkPane(LinkKind::Monitor, settings, texts, std::move(setCaptionMessage), std::move(refreshToolbar),
               std::move(workDir), std::move(factory), parent),
      runner_(std::move(runner)) {
  QToolBar* bar = findChild<QToolBar*>();
  mail_ = new QAction(qtext(texts, kTextMailLabel), this);
  mail_->setToolTip(qtext(texts, kTextMailTip));
  if (bar) bar->addAction(mail_);
  connect(mail_, &QAction::triggered, this, [this] { mailActiveLink(); });
  connect(tabs(), &QTabWidget::currentChanged, this, [this] { updateMail(); });
  updateMail();
}

int MonitorPane::activeSlot() const {
  QWidget* w = tabs()->currentWidget();
  return w ? w->property("slot").toInt() : -1;
}

bool MonitorPane::canMail() const {
  int slot = activeSlot();
  return slot >= 0 && canMailMonitorLog(const_cast<MonitorPane*>(this)->links(), slot);
}

void MonitorPane::mailActiveLink() {
  int slot = activeSlot();
  if (slot < 0 || !runner_) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  mailMonitorLog(links(), slot, *runner_);
  QApplication::restoreOverrideCursor();
  updateMail();
}

void MonitorPane::updateMail() {
  if (mail_) mail_->setEnabled(canMail());
}

void MonitorPane::tabAdded(int slot, const std::string& label) {
  LinkPane::tabAdded(slot, label);
  updateMail();
}

void MonitorPane::tabRemoved(int slot) {
  LinkPane::tabRemoved(slot);
  updateMail();
}

void MonitorPane::lineAppended(int slot, const std::string& line, bool dropFirst) {
  LinkPane::lineAppended(slot, line, dropFirst);
  updateMail();
}

}  // namespace lumarc::ui
