// The exchange browser in the main window: its view, its socket, its step
// of the 100 ms tick (run only while the view is shown) and the hand-over
// of the installation call's platform code to the first opening.
#pragma once

#include "lumarc/app/ui/browser_host.h"
#include "lumarc/discovery/discovery.h"

#include <functional>
#include <memory>

namespace lumarc::browse {
class CfwDbDsc;
}

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
  bool commandEnabled(int command) const;
  void command(int command);

 private:
  MainWindow& window_;
  browse::CfwDbDsc* view_ = nullptr;
  bool targetTaken_ = false;
};

}  // namespace lumarc::ui
