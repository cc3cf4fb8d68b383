// The "Monitor" pane: the common link pane plus what only monitor links
// have, the "Mail" command (close the active link and mail its log as
// "Monitor.txt"), enabled while the active tab's link has logged a line.
// Tab labels (host "-" access code) come from the monitor links themselves.
#pragma once

#include "lumarc/window/link_pane.h"
#include "lumarc/links/mail_file.h"
#include "lumarc/links/monitor_link.h"

#include <memory>

class QAction;

namespace lumarc::ui {

// Monitor links on Qt datagram sockets, decoding with the settings' layer 2
// flag of the moment.
LinkFactory monitorPaneFactory(const SettingsBlock& settings);

class MonitorPane : public LinkPane {
  Q_OBJECT
 public:
  // As LinkPane with kind monitor; runner starts the mail program.
  MonitorPane(SettingsBlock& settings, const corvane::StringTable& texts,
              std::function<void(const std::string&)> setCaptionMessage, std::function<void()> refreshToolbar,
              // clang-format off
              std::string workDir, LinkFactory factory,
              std::unique_ptr<ProcessRunner> runner = systemProcessRunner(), QWidget* parent = nullptr);
  // clang-format on

  // "Mail" on the active tab; nothing when it is not a monitor link.
  void mailActiveLink();
  // True when "Mail" may run now.
  bool canMail() const;
  QAction* mailAction() const { return mail_; }
  // The slot of the active tab, or -1.
  int activeSlot() const;

  // PaneView: keep "Mail" in step with the links.
  void tabAdded(int slot, const std::string& label) override;
  void tabRemoved(int slot) override;
  void lineAppended(int slot, const std::string& line, bool dropFirst) override;

 private:
  void updateMail();

  std::unique_ptr<ProcessRunner> runner_;
  QAction* mail_ = nullptr;
};

}  // namespace lumarc::ui
