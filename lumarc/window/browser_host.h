// The views of the main window's client area: the users and definition
// lists, the record browsers' homes and the properties window, with what
// showing each one starts.
#pragma once

#include "lumarc/window/main_window.h"
#include "lumarc/records/records.h"

#include <memory>
#include <optional>
#include <string>

namespace lumarc {
class Station;
namespace store {
class Database;
}
namespace browse {
class CfwDbUsr;
class CfwDbDgt;
class CfwDblist;
class PropWnd;
class CfwDbVrc;
class CfwChart;
class CfwDbTrc;
class CfwDbCdr;
class CfwSdlg;
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
  browse::CfwDbVrc* voiceView() const { return voice_; }
  browse::CfwChart* chartView() const { return chart_; }
  browse::CfwDbTrc* traceView() const { return trace_; }
  browse::CfwDbCdr* cmdrView() const { return cmdrView_; }
  browse::CfwSdlg* selectionForm() const { return form_; }
  // The database the CMDR browser reads (null while none is connected).
  store::Database* cmdrBrowserDatabase() const;

 private:
  browse::CfwDblist* listOf(ViewState s) const;
  bool connectCmdrBrowser();
  // "Database" of the CMDR browser: closes its connection and opens path.
  bool reconnectCmdrBrowser(const std::string& path);
  void createCmdrViews(QWidget* parent, std::vector<QWidget*>& views);
  // The form's selection for a browser when the form was last shown for it.
  std::optional<TemplateRecord> takeFormSelection(ViewState browser);
  bool openVoiceBrowser();
  void relist(ViewState s);
  void createRecordingViews(QWidget* parent, std::vector<QWidget*>& views);
  bool recordingViewShown(ViewState s, bool first);

  MainWindow& window_;
  Station& station_;
  ExchangeDiscovery* discovery_ = nullptr;
  std::unique_ptr<class ExchangeBrowserHost> exchange_;
  browse::PropWnd* properties_ = nullptr;
  browse::CfwDbUsr* users_ = nullptr;
  browse::CfwDbDgt* dialled_ = nullptr;
  browse::CfwDbDgt* calling_ = nullptr;
  browse::CfwDbVrc* voice_ = nullptr;
  browse::CfwChart* chart_ = nullptr;
  browse::CfwDbTrc* trace_ = nullptr;
  browse::CfwDbCdr* cmdrView_ = nullptr;
  browse::CfwSdlg* form_ = nullptr;
  ViewState formShownFor_ = ViewState::Start;  // the browser of the form's last showing
  struct CmdrConnection;
  std::unique_ptr<CmdrConnection> cmdr_;
  std::string cmdrPath_;
};

}  // namespace lumarc::ui
