#include "lumarc/window/browser_host.h"

#include "common/files.h"
#include "lumarc/app/db_connection.h"
#include "lumarc/app/station.h"
#include "lumarc/texts/texts.h"
#include "lumarc/window/exchange_host.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/trace.h"
#include "lumarc/browse/ui/chart_view.h"
#include "lumarc/browse/ui/cmdr_view.h"
#include "lumarc/browse/ui/selection_form.h"
#include "lumarc/browse/ui/list_views.h"
#include "lumarc/browse/ui/trace_view.h"
#include "lumarc/browse/ui/voice_view.h"
#include "lumarc/browse/ui/web_view.h"
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
  createRecordingViews(parent, views);
  createCmdrViews(parent, views);
  exchange_ = std::make_unique<ExchangeBrowserHost>(window_, parent);
  views[size_t(ViewState::ExchangeBrowser)] = exchange_->widget();
  views[size_t(ViewState::WebPage)] = exchange_->pages();
  if (!discovery_) discovery_ = exchange_.get();
  return views;
}

void BrowserViews::createRecordingViews(QWidget* parent, std::vector<QWidget*>& views) {
  const corvane::StringTable& texts = window_.texts();
  auto message = [this](const std::string& text) { window_.setCaptionMessage(text); };
  auto refresh = [this] { window_.refreshToolbar(); };

  browse::VoiceViewHooks v;
  v.voiceDatabase = [this] { return openVoiceBrowser() ? station_.store().voiceDatabase() : nullptr; };
  v.mainDatabase = [this] { return station_.store().mainDatabase(); };
  v.message = message;
  v.status = [this](const std::string& text) { window_.statusText(2, text); };
  v.ensureUser = [this](const std::string& port, std::string& error) {
    return !station_.store().mainOpen() || station_.store().ensureUserRow(port, error);
  };
  v.wakeConverter = [this] {
    if (VoiceConverter* c = station_.converter()) c->wake();
  };
  v.refreshToolbar = refresh;
  v.formSelection = [this] { return takeFormSelection(ViewState::VoiceBrowser); };
  v.formSelection = [this] { return takeFormSelection(ViewState::VoiceBrowser); };
  const std::string wav = corvane::joinPath(station_.config().workDir, RecordStore::kVoiceFolder) + "/";
  voice_ = new browse::CfwDbVrc(texts, wav, std::move(v), parent);

  chart_ = new browse::CfwChart(texts, parent);

  browse::TraceViewHooks t;
  // The CMDR browser's database, connected first when the browser has none yet.
  t.cmdrDatabase = [this] { return cmdr_ || connectCmdrBrowser() ? cmdrBrowserDatabase() : nullptr; };
  // The recordings of the voice browser's database ("Wav" until "Database" chose another).
  t.voiceDatabase = [this] { return voice_->database(); };
  t.mainDatabase = [this] { return station_.store().mainDatabase(); };
  t.editUser = [this](const UserRecord& u) {
    properties_->showUser(u);
    window_.showProperties();
  };
  t.message = message;
  t.refreshToolbar = refresh;
  trace_ = new browse::CfwDbTrc(texts, std::move(t), parent);

  for (browse::CfwDblist* list : {static_cast<browse::CfwDblist*>(voice_), static_cast<browse::CfwDblist*>(trace_)}) {
    list->setStatusSink([this](const std::string& text) { window_.statusText(2, text); });
    QObject::connect(list, &browse::CfwDblist::selectionChanged, &window_, [this] { window_.refreshToolbar(); });
  }
  views[size_t(ViewState::VoiceBrowser)] = voice_;
  views[size_t(ViewState::CmdrCharts)] = chart_;
  views[size_t(ViewState::VoiceCharts)] = chart_;
  views[size_t(ViewState::CmdrTrace)] = trace_;
  views[size_t(ViewState::VoiceTrace)] = trace_;
}

void BrowserViews::createCmdrViews(QWidget* parent, std::vector<QWidget*>& views) {
  const corvane::StringTable& texts = window_.texts();
  browse::CmdrViewHooks c;
  c.database = [this] { return cmdrBrowserDatabase(); };
  c.userDatabase = [this] { return station_.store().mainDatabase(); };
  c.store = [this] { return &station_.store(); };
  c.formSelection = [this] { return takeFormSelection(ViewState::CmdrBrowser); };
  c.openDatabases = [this] {
    std::vector<std::string> open;
    if (!cmdrPath_.empty()) open.push_back(cmdrPath_);
    if (station_.config().db.empty()) {
      open.push_back(corvane::joinPath(station_.config().workDir, RecordStore::kMainFile));
      open.push_back(corvane::joinPath(corvane::joinPath(station_.config().workDir, RecordStore::kVoiceFolder),
                                       RecordStore::kVoiceFile));
    }
    return open;
  };
  c.connectDatabase = [this](const std::string& path) { return reconnectCmdrBrowser(path); };
  c.message = [this](const std::string& text) { window_.setCaptionMessage(text); };
  c.status = [this](const std::string& text) { window_.statusText(2, text); };
  c.editUser = [this](const UserRecord& u) {
    properties_->showUser(u);
    window_.showProperties();
  };
  c.refreshToolbar = [this] { window_.refreshToolbar(); };
  c.workingDirectory = station_.config().workDir;
  cmdrView_ = new browse::CfwDbCdr(texts, std::move(c), parent);
  cmdrView_->setStatusSink([this](const std::string& text) { window_.statusText(2, text); });

  browse::SelectionFormHooks f;
  f.database = [this] { return station_.store().mainDatabase(); };
  f.message = [this](const std::string& text) { window_.setCaptionMessage(text); };
  f.refreshToolbar = [this] { window_.refreshToolbar(); };
  form_ = new browse::CfwSdlg(texts, std::move(f), parent);
  views[size_t(ViewState::CmdrBrowser)] = cmdrView_;
  views[size_t(ViewState::CmdrSelection)] = form_;
  views[size_t(ViewState::VoiceSelection)] = form_;
}

std::optional<TemplateRecord> BrowserViews::takeFormSelection(ViewState browser) {
  const ViewState form = browser == ViewState::CmdrBrowser ? ViewState::CmdrSelection : ViewState::VoiceSelection;
  if (!form_ || formShownFor_ != form) return std::nullopt;
  formShownFor_ = ViewState::Start;
  return form_->read();
}

bool BrowserViews::reconnectCmdrBrowser(const std::string& path) {
  cmdr_.reset();
  cmdrPath_.clear();
  auto c = std::make_unique<CmdrConnection>();
  c->archive = station_.store().openCmdrArchive(path, false);
  if (!c->archive) return false;
  cmdrPath_ = path;
  cmdr_ = std::move(c);
  return true;
}

store::Database* BrowserViews::cmdrBrowserDatabase() const {
  if (!cmdr_) return nullptr;
  if (cmdr_->archive) return cmdr_->archive->db.get();
  return station_.store().mainDatabase();
}

// What showing the voice browser, the charts and the trace starts. The
// chart and the trace of the CMDR browser are started by that browser.
bool BrowserViews::recordingViewShown(ViewState s, bool first) {
  switch (s) {
    case ViewState::VoiceBrowser:
      if (first) voice_->initialiseStore();
      voice_->redraw();
      return true;
    case ViewState::VoiceCharts: chart_->showStatistics(voice_->statistics(), false); return true;
    case ViewState::CmdrTrace:
    case ViewState::VoiceTrace:
      if (!trace_->hasStore()) trace_->initialiseStore();
      if (s == ViewState::VoiceTrace) {
        std::optional<VoiceRecord> r = voice_->selectedRecording();
        trace_->trace(r ? browse::TraceKey::ofRecording(*r) : browse::TraceKey{});
      } else if (cmdrView_) {
        std::optional<CmdrRecord> r = cmdrView_->selectedRecord();
        trace_->trace(r ? browse::TraceKey::ofRecord(*r) : browse::TraceKey{});
      }
      return true;
    default: return false;
  }
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
  if (cmdrView_) {
    switch (s) {
      case ViewState::CmdrBrowser:
        if (!cmdrView_->hasStore()) cmdrView_->initialiseStore();
        cmdrView_->redraw();
        return;
      case ViewState::CmdrSelection:
      case ViewState::VoiceSelection:
        form_->showFor(s == ViewState::VoiceSelection,
                       s == ViewState::VoiceSelection && voice_ ? voice_->selection() : cmdrView_->selection());
        formShownFor_ = s;
        return;
      case ViewState::CmdrCharts: chart_->showStatistics(cmdrView_->statistics(), true); return;
      default: break;
    }
  }
  if (voice_ && recordingViewShown(s, first)) return;
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
  if (s == ViewState::WebPage && exchange_) exchange_->pagesLeft();
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
  if (s == ViewState::VoiceBrowser && voice_) return voice_->commandEnabled(command);
  if (s == ViewState::CmdrBrowser && cmdrView_) return cmdrView_->commandEnabled(command);
  if ((s == ViewState::CmdrSelection || s == ViewState::VoiceSelection) && form_) return form_->commandEnabled(command);
  if ((s == ViewState::CmdrTrace || s == ViewState::VoiceTrace) && trace_) return trace_->commandEnabled(command);
  if (s == ViewState::CmdrCharts || s == ViewState::VoiceCharts) return false;
  if ((s == ViewState::ExchangeBrowser || s == ViewState::WebPage) && exchange_)
    return exchange_->commandEnabled(command);
  if ((s == ViewState::DialledNumbers || s == ViewState::CallingNumbers) && listOf(s))
    return static_cast<browse::CfwDbDgt*>(listOf(s))->commandEnabled(command);
  // The start view owns no commands of its own.
  return false;
}

void BrowserViews::viewCommand(int command, ViewState s) {
  switch (command) {
    case kCmdAbout: {
      window_.setCaptionMessage("");
      browse::RuntimeStatus status;
      const StationConfig& c = station_.config();
      const std::string wav = corvane::joinPath(c.workDir, RecordStore::kVoiceFolder);
      status.workingDirectory = c.workDir;
      status.cmdrBrowser = cmdrPath_;
      if (station_.store().voiceOpen()) status.voiceBrowser = wav + "/";
      status.mainConnection =
          c.db.empty() ? corvane::joinPath(c.workDir, RecordStore::kMainFile) : withoutPassword(c.db);
      const std::string& voice = c.voiceDb.empty() ? c.db : c.voiceDb;
      status.voiceConnection = voice.empty() ? corvane::joinPath(wav, RecordStore::kVoiceFile) : withoutPassword(voice);
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
  if (s == ViewState::VoiceBrowser && voice_) voice_->command(command);
  if (s == ViewState::CmdrBrowser && cmdrView_) cmdrView_->command(command);
  if ((s == ViewState::CmdrSelection || s == ViewState::VoiceSelection) && form_) form_->command(command);
  if ((s == ViewState::ExchangeBrowser || s == ViewState::WebPage) && exchange_) exchange_->command(command);
  if ((s == ViewState::CmdrTrace || s == ViewState::VoiceTrace) && trace_) trace_->command(command);
  if ((s == ViewState::DialledNumbers || s == ViewState::CallingNumbers) && listOf(s))
    static_cast<browse::CfwDbDgt*>(listOf(s))->command(command);
  window_.refreshToolbar();
}

}  // namespace lumarc::ui
