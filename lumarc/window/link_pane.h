// The docking pane of one link kind ("Cmdr download", "Monitor", "Voice
// recording download"): the address box with its history drop-down, "Open",
// "Close" and "Scroll", and one tab per open link with its state icon and
// its list of lines in the fixed-pitch font. The links themselves are the
// plain engines of LinkList; this widget only shows them.
#pragma once

#include "common/string_table.h"
#include "lumarc/app/settings.h"
#include "lumarc/links/link.h"

#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QAction;
class QComboBox;
class QListWidget;
class QTabWidget;
class QToolBar;

namespace lumarc::ui {

class LinkPane : public QWidget, public PaneView {
  Q_OBJECT
 public:
  // kind: the pane's link kind. settings: the program's settings (history,
  // auto scroll). setCaptionMessage: the main window's message bar (8-bit
  // text). refreshToolbar: rebuilds the main toolbar after a history change.
  // factory: makes the links of this kind (sockets and store wired in);
  // empty: the links are someone else's (the station's), see attachLinks.
  LinkPane(LinkKind kind, SettingsBlock& settings, const corvane::StringTable& texts,
           std::function<void(const std::string&)> setCaptionMessage, std::function<void()> refreshToolbar,
           std::string workDir, LinkFactory factory, QWidget* parent = nullptr);
  ~LinkPane() override;

  // "Open" with the given address text (also the command line's items).
  // Returns the slot opened, or -1.
  int openLink(const std::string& addressText);
  // The same for a parsed target (the command line's -C and -V items).
  int openTarget(const ConnectionTarget& target);
  // "Close": ends the link of the active tab.
  void closeActiveLink();
  // "Scroll": flips the shared auto-scroll setting.
  void toggleScroll();
  // The 100 ms tick of this kind's links.
  void tick();
  // Ends every link (window close).
  void closeAll();

  // Shows links made elsewhere (the station's, whose view is this pane).
  void attachLinks(LinkList& links) { links_ = &links; }
  // Lets go of links made elsewhere (they are gone or going).
  void detachLinks() {
    if (!own_) links_ = nullptr;
  }
  // The pane's links.
  LinkList& links() { return *links_; }
  // The editable address box with the history drop-down.
  QComboBox* addressBox() const { return address_; }
  // The tab strip, one tab per open link.
  QTabWidget* tabs() const { return tabs_; }
  // The list widget of a slot's tab, or nullptr.
  QListWidget* listOf(int slot) const;
  // The pane's "Open", "Close" and "Scroll" commands.
  QAction* openAction() const { return open_; }
  QAction* closeAction() const { return close_; }
  QAction* scrollAction() const { return scroll_; }
  // Refills the address box from the kind's history (no selection).
  void refillAddressBox();

  // PaneView: what the links report, shown in the widgets.
  void setCaptionMessage(const std::string& text) override;
  void tabAdded(int slot, const std::string& label) override;
  void tabRemoved(int slot) override;
  void tabIcon(int slot, int icon) override;
  void lineAppended(int slot, const std::string& line, bool dropFirst) override;
  void historyChanged() override;

 protected:
  // The texts the pane shows, in their code page.
  const corvane::StringTable& texts() const { return texts_; }

 private:
  int tabIndexOf(int slot) const;

  LinkKind kind_;
  SettingsBlock& settings_;
  const corvane::StringTable& texts_;
  std::function<void(const std::string&)> caption_;
  std::function<void()> refreshToolbar_;
  std::unique_ptr<LinkList> own_;
  LinkList* links_ = nullptr;
  QToolBar* bar_ = nullptr;
  QComboBox* address_ = nullptr;
  QAction* open_ = nullptr;
  QAction* close_ = nullptr;
  QAction* scroll_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  std::map<int, QListWidget*> lists_;
};

}  // namespace lumarc::ui
