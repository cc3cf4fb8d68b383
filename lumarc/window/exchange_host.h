// The exchange browser in the main window: its view, its socket, its step
// of the 100 ms tick (run only while the view is shown) and the hand-over
// of the installation call's platform code to the first opening; and the
// exchange's web pages and sibling programs opened from it: "Expert" and
// "Easy" (also a double-click on a listed exchange), the page view's
// Home, Page back and Page forward, and the installation chain's starting
// of `Halvern` and `Quillet` and opening of the Easy page.
#pragma once

#include "lumarc/window/browser_host.h"
#include "lumarc/window/sibling_programs.h"
#include "lumarc/discovery/discovery.h"

#include <functional>
#include <memory>

namespace lumarc::browse {
class CfwDbDsc;
class CfwBrowser;
class PageControl;
}  // namespace lumarc::browse

namespace lumarc::ui {

class ExchangeBrowserHost : public ExchangeDiscovery {
 public:
  // socket: null for the Linux multicast socket.
  ExchangeBrowserHost(MainWindow& window, QWidget* parent, std::unique_ptr<DiscoverySocket> socket = nullptr);
  ~ExchangeBrowserHost() override;

  bool open() override;
  void close() override;

  browse::CfwDbDsc* view() const { return view_; }
  // The view as the window's client area holds it.
  QWidget* widget() const;
  // The web page view (view state 13).
  browse::CfwBrowser* pages() const { return pages_; }
  // Replaces the page view's browser control; null sends every page to the
  // desktop browser.
  void setPageControl(std::unique_ptr<browse::PageControl> control);
  // Where `Halvern` and `Quillet` are looked for.
  void setPrograms(SiblingPrograms programs) { programs_ = std::move(programs); }

  // The commands of the exchange browser (state 12) and the web page (13).
  bool commandEnabled(int command) const;
  void command(int command);
  // The web page view is left.
  void pagesLeft();

  // The installation chain's window side.
  // Opens a page: in the page view (the exchange browser is left, which
  // closes its socket), or in the desktop browser while the exchange
  // browser stays.
  void openPage(const std::string& address);
  // Start the sibling programs; a missing one starts nothing and the
  // message bar names it.
  void startHalvern(const std::string& password, uint32_t exchange);
  void startQuillet();

 private:
  // The exchange "Expert" or "Easy" would open, or null when the command
  // cannot act: a listed exchange line selected, or the wizard's exchange
  // when it is ready; not unaccessible and with a web port; "Easy" needs
  // the page offered.
  const ExchangeEntry* pageExchange(int command) const;
  void started(ProgramStart result, const char* name);

  MainWindow& window_;
  browse::CfwDbDsc* view_ = nullptr;
  browse::CfwBrowser* pages_ = nullptr;
  SiblingPrograms programs_;
  bool targetTaken_ = false;
};

}  // namespace lumarc::ui
