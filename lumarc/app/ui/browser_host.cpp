#include "lumarc/app/ui/browser_host.h"

#include "common/files.h"
#include "lumarc/app/db_connection.h"
#include "lumarc/app/station.h"
#include "lumarc/app/texts.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/ui/list_views.h"
#include "lumarc/browse/ui/prop_wnd.h"
#include "lumarc/store/record_store.h"

namespace lumarc::ui {

// The CMDR browser's own connection to an embedded file; on a database
// server the browser reads the main database.
struct BrowserViews::CmdrConnection {
  std::unique_ptr<CmdrArchive> archive;
};

BrowserViews::BrowserViews(MainWindow& window, Station& station) : window_(window), station_(station) {
  browse::PropWndHooks hooks;
  hooks.message = [this](const std::string& text) { window_.setCaptionMessage(text); };
  hooks.definitionSaved = [this](int type) {
    relist(type == browse::kDialledDigits ? ViewState::DialledNumbers : ViewState::CallingNumbers);
  };
  hooks.userSaved = [this] { relist(ViewState::Users); };
  hooks.refreshToolbar = [this] { window_.refreshToolbar(); };
  hooks.database = [this] { return station_.store().mainDatabase(); };
  properties_ = new browse::PropWnd(window_.texts(), window_.settings(), std::move(hooks));
  properties_->setObjectName("properties");
}

BrowserViews::~BrowserViews() = default;

std::vector<QWidget*> BrowserViews::createViews(QWidget* parent) {
  browse::ListViewHooks hooks;
  hooks.database = [this] { return station_.store().mainDatabase(); };
  hooks.message = [this](const std::string& text) { window_.setCaptionMessage(text); };
  hooks.editUser = [this](const UserRecord& u) {
    properties_->showUser(u);
    window_.showProperties();
  };
  hooks.editDefinition = [this](const RouteRecord& r) {
    properties_->showDefinition(r);
    window_.showProperties();
  };
  hooks.refreshToolbar = [this] { window_.refreshToolbar(); };
  const corvane::StringTable& texts = window_.texts();
  users_ = new browse::CfwDbUsr(texts, window_.settings(), hooks, parent);
  dialled_ = new browse::CfwDbDgt(texts, window_.settings(), browse::kDialledDigits, hooks, parent);
  calling_ = new browse::CfwDbDgt(texts, window_.settings(), browse::kCallingNumber, hooks, parent);
  for (browse::CfwDblist* list : {static_cast<browse::CfwDblist*>(users_), static_cast<browse::CfwDblist*>(dialled_),
                                  static_cast<browse::CfwDblist*>(calling_)}) {
    list->setStatusSink([this](const std::string& text) { window_.statusText(2, text); });
    QObject::connect(list, &browse::CfwDblist::selectionChanged, &window_, [this] { window_.refreshToolbar(); });
  }
  std::vector<QWidget*> views(size_t(ViewState::WebPage) + 1, nullptr);
  views[size_t(ViewState::Users)] = users_;
  views[size_t(ViewState::DialledNumbers)] = dialled_;
  views[size_t(ViewState::CallingNumbers)] = calling_;
  return views;
}

browse::CfwDbDgt* BrowserViews::definitionsView(int32_t type) const {
  return type == browse::kDialledDigits ? dialled_ : calling_;
}

browse::CfwDblist* BrowserViews::listOf(ViewState s) const {
  switch (s) {
    case ViewState::Users: return users_;
    case ViewState::DialledNumbers: return dialled_;
    case ViewState::CallingNumbers: return calling_;
    default: return nullptr;
  }
}

void BrowserViews::viewShown(ViewState s, bool first) {
  browse::CfwDblist* list = listOf(s);
  if (!list) return;
  if (first) list->initialiseStore();
  bool listed = s == ViewState::Users ? users_->listed() : static_cast<browse::CfwDbDgt*>(list)->listed();
  if (!listed) {
    relist(s);
  } else {
    // Shown again as it was left: its lines, headers and position.
    list->redraw();
  }
}

void BrowserViews::relist(ViewState s) {
  if (s == ViewState::Users && users_) users_->list(true);
  if (s == ViewState::DialledNumbers && dialled_) dialled_->list(true);
  if (s == ViewState::CallingNumbers && calling_) calling_->list(true);
  window_.refreshToolbar();
}

void BrowserViews::viewLeft(ViewState s) {
  // Leaving closes nothing but the exchange browser's socket.
  if (s == ViewState::ExchangeBrowser && discovery_) discovery_->close();
}

bool BrowserViews::enterView(ViewState s) {
  switch (s) {
    case ViewState::ExchangeBrowser: return !discovery_ || discovery_->open();
    case ViewState::CmdrBrowser: return connectCmdrBrowser();
    case ViewState::VoiceBrowser: return openVoiceBrowser();
    default: return true;
  }
}

bool BrowserViews::connectCmdrBrowser() {
  if (cmdr_) return true;
  RecordStore& store = station_.store();
  auto c = std::make_unique<CmdrConnection>();
  if (station_.config().db.empty()) {
    // The embedded file, as the browser's "Database" command connects it.
    std::string path = corvane::joinPath(station_.config().workDir, RecordStore::kMainFile);
    c->archive = store.openCmdrArchive(path, false);
    if (!c->archive) {
      window_.setCaptionMessage(window_.texts().text(kTextDatabaseAccessFailed) + " " + path);
      return false;
    }
    cmdrPath_ = path;
  } else {
    if (!store.mainOpen()) {
      window_.setCaptionMessage(window_.texts().text(kTextDatabaseAccessFailed));
      return false;
    }
    cmdrPath_ = withoutPassword(station_.config().db);
  }
  cmdr_ = std::move(c);
  return true;
}

void BrowserViews::closeConnections() {
  cmdr_.reset();
  cmdrPath_.clear();
}

bool BrowserViews::openVoiceBrowser() {
  RecordStore& store = station_.store();
  if (store.voiceOpen()) return true;
  std::string dir = corvane::joinPath(station_.config().workDir, RecordStore::kVoiceFolder) + "/";
  // The store reports why it could not open the database.
  return store.openVoiceDatabase(dir, station_.config().voiceDb);
}

bool BrowserViews::viewCommandEnabled(int command, ViewState s) const {
  if (command == kCmdSaveProperties) return properties_ && properties_->changed();
  if (s == ViewState::Users && users_) return users_->commandEnabled(command);
  if ((s == ViewState::DialledNumbers || s == ViewState::CallingNumbers) && listOf(s))
    return static_cast<browse::CfwDbDgt*>(listOf(s))->commandEnabled(command);
  // Commands of the views later work builds act there.
  return command != kCmdPrint && command != kCmdEdit && command != kCmdDelete;
}

void BrowserViews::viewCommand(int command, ViewState s) {
  switch (command) {
    case kCmdAbout: {
      window_.setCaptionMessage("");
      browse::RuntimeStatus status;
      status.workingDirectory = station_.config().workDir;
      status.cmdrBrowser = cmdrPath_;
      if (station_.store().voiceOpen())
        status.voiceBrowser = corvane::joinPath(station_.config().workDir, RecordStore::kVoiceFolder) + "/";
      status.mainConnection = station_.config().db.empty() ? corvane::joinPath(station_.config().workDir, RecordStore::kMainFile)
                                                           : withoutPassword(station_.config().db);
      status.voiceConnection = station_.config().voiceDb.empty() && station_.config().db.empty()
                                   ? corvane::joinPath(corvane::joinPath(station_.config().workDir, RecordStore::kVoiceFolder),
                                                       RecordStore::kVoiceFile)
                                   : withoutPassword(station_.config().voiceDb.empty() ? station_.config().db
                                                                                       : station_.config().voiceDb);
      properties_->showProgramInfo(status);
      return;
    }
    case kCmdSettings:
      window_.setCaptionMessage("");
      properties_->showSettings();
      return;
    case kCmdSaveProperties: properties_->save(); return;
    default: break;
  }
  if (s == ViewState::Users && users_) users_->command(command);
  if ((s == ViewState::DialledNumbers || s == ViewState::CallingNumbers) && listOf(s))
    static_cast<browse::CfwDbDgt*>(listOf(s))->command(command);
  window_.refreshToolbar();
}

}  // namespace lumarc::ui
