// The views of the main window's client area: the users and definition
// lists, the record browsers' homes and the properties window, with what
// showing each one starts.
#pragma once

#include "lumarc/app/ui/main_window.h"

#include <memory>
#include <string>

namespace lumarc {
class Station;
namespace browse {
class CfwDbUsr;
class CfwDbDgt;
class CfwDblist;
class PropWnd;
}  // namespace browse
}  // namespace lumarc

namespace lumarc::ui {

// The exchange browser's discovery socket.
class ExchangeDiscovery {
 public:
  virtual ~ExchangeDiscovery() = default;
  // Opens the socket and starts a discovery; false when the socket cannot
  // be opened (the browser has said why).
  virtual bool open() = 0;
  virtual void close() = 0;
};

class BrowserViews : public ViewHost {
 public:
  BrowserViews(MainWindow& window, Station& station);
  ~BrowserViews() override;

  // The properties window, put into its docking pane.
  browse::PropWnd* properties() const { return properties_; }
  void setDiscovery(ExchangeDiscovery* d) { discovery_ = d; }

  std::vector<QWidget*> createViews(QWidget* parent) override;
  void viewShown(ViewState s, bool first) override;
  void viewLeft(ViewState s) override;
  bool enterView(ViewState s) override;
  void viewCommand(int command, ViewState s) override;
  bool viewCommandEnabled(int command, ViewState s) const override;

  // Lets go of the browsers' own connections (program end).
  void closeConnections();
  // The database the CMDR browser reads (empty path while none is connected).
  const std::string& cmdrBrowserPath() const { return cmdrPath_; }
  browse::CfwDbUsr* usersView() const { return users_; }
  browse::CfwDbDgt* definitionsView(int32_t type) const;

 private:
  browse::CfwDblist* listOf(ViewState s) const;
  bool connectCmdrBrowser();
  bool openVoiceBrowser();
  void relist(ViewState s);

  MainWindow& window_;
  Station& station_;
  ExchangeDiscovery* discovery_ = nullptr;
  browse::PropWnd* properties_ = nullptr;
  browse::CfwDbUsr* users_ = nullptr;
  browse::CfwDbDgt* dialled_ = nullptr;
  browse::CfwDbDgt* calling_ = nullptr;
  struct CmdrConnection;
  std::unique_ptr<CmdrConnection> cmdr_;
  std::string cmdrPath_;
};

}  // namespace lumarc::ui
