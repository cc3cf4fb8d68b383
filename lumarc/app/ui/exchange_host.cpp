#include "lumarc/app/ui/exchange_host.h"

#include "lumarc/browse/ui/exchange_view.h"
#include "lumarc/discovery/multicast_socket.h"

namespace lumarc::ui {

ExchangeBrowserHost::ExchangeBrowserHost(MainWindow& window, QWidget* parent, std::unique_ptr<DiscoverySocket> socket)
    : window_(window) {
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
  view_ = new browse::CfwDbDsc(window_.texts(), window_.workDir(), std::move(socket), std::move(hooks), parent);
  view_->setObjectName("exchangeBrowser");
  window_.ticks().add(TickStep::Discovery, [this] {
    if (window_.viewState() == ViewState::ExchangeBrowser) view_->tick();
  });
}

ExchangeBrowserHost::~ExchangeBrowserHost() = default;

QWidget* ExchangeBrowserHost::widget() const { return view_; }

bool ExchangeBrowserHost::open() {
  // The installation call's platform code serves the first opening only.
  std::string target;
  if (!targetTaken_ && window_.commandLine().hasWizardTarget) target = window_.commandLine().wizardTarget;
  if (!view_->openBrowser(target)) return false;
  targetTaken_ = true;
  return true;
}

void ExchangeBrowserHost::close() { view_->closeBrowser(); }

bool ExchangeBrowserHost::commandEnabled(int command) const { return view_->commandEnabled(command); }

void ExchangeBrowserHost::command(int command) { view_->command(command); }

}  // namespace lumarc::ui
