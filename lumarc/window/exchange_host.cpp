#include "lumarc/window/exchange_host.h"

#include "lumarc/texts/texts.h"
#include "lumarc/browse/ui/exchange_view.h"
#include "lumarc/browse/ui/web_view.h"
#include "lumarc/discovery/multicast_socket.h"

#include <QTimer>

namespace lumarc::ui {

ExchangeBrowserHost::ExchangeBrowserHost(MainWindow& window, QWidget* parent, std::unique_ptr<DiscoverySocket> socket)
    : window_(window), programs_(window.workDir()) {
  if (!socket) socket = std::make_unique<MulticastDiscoverySocket>();
  browse::ExchangeViewHooks hooks;
  hooks.message = [this](const std::string& text) { window_.setCaptionMessage(text); };
  hooks.status = [this](const std::string& text) { window_.statusText(2, text); };
  hooks.refreshToolbar = [this] { window_.refreshToolbar(); };
  hooks.storedAdapter = [this] { return window_.settings().adapter(); };
  hooks.storeAdapter = [this](uint32_t a) {
    window_.settings().setAdapter(a);
    saveSettings(window_.settings(), window_.workDir());
  };
  hooks.wizardReady = [this](bool ready) { window_.setWizardReady(ready); };
  hooks.startHalvern = [this](const std::string& password, uint32_t exchange) { startHalvern(password, exchange); };
  hooks.startQuillet = [this] { startQuillet(); };
  // The engine reports the page from inside its step; the page view may
  // close its socket only once that step is done.
  hooks.openPage = [this](const std::string& address) {
    QTimer::singleShot(0, view_, [this, address] { openPage(address); });
  };
  view_ = new browse::CfwDbDsc(window_.texts(), window_.workDir(), std::move(socket), std::move(hooks), parent);
  view_->setObjectName("exchangeBrowser");
  window_.ticks().add(TickStep::Discovery, [this] {
    if (window_.viewState() == ViewState::ExchangeBrowser) view_->tick();
  });
  // A double-click on a listed exchange opens its Expert page, when
  // "Expert" could.
  QObject::connect(view_, &browse::CfwDblist::lineActivated, view_, [this](int) {
    if (view_->state() != DiscoveryState::Listed || !commandEnabled(kCmdExpert)) return;
    command(kCmdExpert);
    window_.refreshToolbar();
  });

  browse::WebViewHooks pageHooks;
  pageHooks.message = [this](const std::string& text) { window_.setCaptionMessage(text); };
  pageHooks.loading = [this](bool loading) { window_.setLoading(loading); };
  pageHooks.refreshToolbar = [this] { window_.refreshToolbar(); };
  pageHooks.leave = [this] {
    if (window_.viewState() == ViewState::WebPage) window_.runCommand(kCmdBack);
  };
  pages_ = new browse::CfwBrowser(window_.texts(), std::move(pageHooks), nullptr, parent);
  pages_->useEmbeddedBrowser();
  pages_->setObjectName("exchangePages");
}

ExchangeBrowserHost::~ExchangeBrowserHost() = default;

QWidget* ExchangeBrowserHost::widget() const { return view_; }

void ExchangeBrowserHost::setPageControl(std::unique_ptr<browse::PageControl> control) {
  pages_->setControl(std::move(control));
}

bool ExchangeBrowserHost::open() {
  // The installation call's platform code and follow-up actions serve the
  // first opening only.
  std::string target;
  FollowUps followUps;
  const CommandLine& line = window_.commandLine();
  if (!targetTaken_ && line.hasWizardTarget) {
    target = line.wizardTarget;
    followUps.halvern = line.flagHalvern;
    followUps.quillet = line.flagQuillet;
    followUps.uploadPath = line.parameterFile;
  }
  if (!view_->openBrowser(target, std::move(followUps))) return false;
  targetTaken_ = true;
  return true;
}

void ExchangeBrowserHost::close() { view_->closeBrowser(); }

const ExchangeEntry* ExchangeBrowserHost::pageExchange(int command) const {
  const DiscoveryEngine& engine = view_->engine();
  int index = -1;
  if (engine.state() == DiscoveryState::Listed) {
    const std::optional<browse::LineRecord> line = view_->lineAt(view_->selectedLine());
    if (line && line->kind == browse::CfwDbDsc::kExchangeLine) index = line->index;
  } else if (engine.state() == DiscoveryState::WizardReady) {
    index = int(engine.wizardIndex());
  }
  if (index < 0 || size_t(index) >= engine.exchanges().size()) return nullptr;
  const ExchangeEntry& e = engine.exchanges()[size_t(index)];
  if (e.unaccessible || e.webPort == 0) return nullptr;
  if (command == kCmdEasy && !(e.flags & dscv::kFlagEasy)) return nullptr;
  return &e;
}

bool ExchangeBrowserHost::commandEnabled(int command) const {
  switch (command) {
    case kCmdExpert:
    case kCmdEasy: return window_.viewState() != ViewState::WebPage && pageExchange(command);
    case kCmdHome:
    case kCmdPageBack:
    case kCmdPageForward: return window_.viewState() == ViewState::WebPage && pages_->commandEnabled(command);
    default: return view_->commandEnabled(command);
  }
}

void ExchangeBrowserHost::command(int command) {
  if (!commandEnabled(command)) return;
  switch (command) {
    case kCmdExpert:
    case kCmdEasy: {
      const ExchangeEntry& e = *pageExchange(command);
      window_.setCaptionMessage("");
      openPage(command == kCmdExpert ? expertPageAddress(e) : easyPageAddress(e));
      return;
    }
    case kCmdHome:
    case kCmdPageBack:
    case kCmdPageForward: pages_->command(command); return;
    default: view_->command(command); return;
  }
}

void ExchangeBrowserHost::pagesLeft() { pages_->leave(); }

void ExchangeBrowserHost::openPage(const std::string& address) {
  if (pages_->embedded()) {
    // Leaving the exchange browser for the page view closes its socket.
    if (window_.viewState() == ViewState::ExchangeBrowser) window_.showWebPage();
    if (window_.viewState() != ViewState::WebPage) return;
  }
  pages_->open(address);
}

void ExchangeBrowserHost::startHalvern(const std::string& password, uint32_t exchange) {
  started(programs_.startHalvern(password, exchange), SiblingPrograms::kHalvern);
}

void ExchangeBrowserHost::startQuillet() { started(programs_.startQuillet(), SiblingPrograms::kQuillet); }

void ExchangeBrowserHost::started(ProgramStart result, const char* name) {
  const corvane::StringTable& texts = window_.texts();
  switch (result) {
    case ProgramStart::Started: return;
    case ProgramStart::Missing: window_.setCaptionMessage(texts.text(kTextProgramNotFound) + " " + name); return;
    case ProgramStart::Failed: window_.setCaptionMessage(texts.text(kTextProgramNotStarted) + " " + name); return;
  }
}

}  // namespace lumarc::ui
