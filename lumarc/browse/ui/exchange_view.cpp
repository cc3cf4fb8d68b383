#include "lumarc/browse/ui/exchange_view.h"

#include "common/qt/qt_text.h"
#include "lumarc/app/texts.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>

namespace lumarc::browse {

namespace {

int faultText(SocketFault f) {
  switch (f) {
    case SocketFault::Creation: return kTextSocketCreationFault;
    case SocketFault::Binding: return kTextSocketBindingFault;
    case SocketFault::Options: return kTextSocketOptionsFault;
    case SocketFault::Ioctl: return kTextSocketIoctlFault;
    case SocketFault::None: break;
  }
  return kTextSocketBindingFault;
}

}  // namespace

CfwDbDsc::CfwDbDsc(const corvane::StringTable& texts, std::string workDir, std::unique_ptr<DiscoverySocket> socket,
                   ExchangeViewHooks hooks, QWidget* parent)
    : CfwDblist(texts, parent), texts_(texts), workDir_(std::move(workDir)), socket_(std::move(socket)),
      hooks_(std::move(hooks)) {
  engine_ = std::make_unique<DiscoveryEngine>(*socket_, static_cast<DiscoveryEvents&>(*this), DiscoveryConfig{});
  adapterLabel_ = new QLabel(corvane::qtext(texts, texts.text(kTextNetworkAdapter)), this);
  adapters_ = new QComboBox(this);
  adapterLabel_->hide();
  adapters_->hide();
  connect(adapters_, &QComboBox::activated, this, &CfwDbDsc::onAdapterPicked);
  connect(this, &CfwDblist::selectionChanged, this, [this] {
    if (hooks_.refreshToolbar) hooks_.refreshToolbar();
  });
}

CfwDbDsc::~CfwDbDsc() = default;

void CfwDbDsc::resizeEvent(QResizeEvent* e) {
  CfwDblist::resizeEvent(e);
  adapterLabel_->setGeometry(4, 2, 120, kBandHeight - 4);
  adapters_->setGeometry(128, 2, 180, kBandHeight - 4);
}

bool CfwDbDsc::openBrowser(const std::string& wizardTarget) {
  if (!storeMade_) {
    initialiseStore();
    storeMade_ = true;
  }
  // A new engine per opening: the adapters are enumerated again and the
  // stored choice read afresh.
  DiscoveryConfig config;
  config.workDir = workDir_;
  config.texts = {texts_.text(kTextDiscoveryEnabled), texts_.text(kTextDiscoveryDisabled)};
  config.storedAdapter = hooks_.storedAdapter ? hooks_.storedAdapter() : 0;
  engine_.reset();
  engine_ = std::make_unique<DiscoveryEngine>(*socket_, static_cast<DiscoveryEvents&>(*this), std::move(config));
  return engine_->open(wizardTarget);
}

void CfwDbDsc::closeBrowser() {
  const bool keep = engine_->state() == DiscoveryState::Listed;
  engine_->close();
  if (!keep) clear();
  adapterLabel_->hide();
  adapters_->hide();
}

void CfwDbDsc::tick() { engine_->tick(); }

int CfwDbDsc::selectedExchange() const {
  const std::optional<LineRecord> line = lineAt(selectedLine());
  if (!line || line->kind != kExchangeLine || line->index < 0 || size_t(line->index) >= engine_->exchanges().size())
    return -1;
  return line->index;
}

bool CfwDbDsc::commandEnabled(int command) const {
  const DiscoveryState s = engine_->state();
  switch (command) {
    case kCmdScan: return s == DiscoveryState::Listed || s == DiscoveryState::WizardReady;
    case kCmdWizard: {
      const int i = selectedExchange();
      return s == DiscoveryState::Listed && i >= 0 && (engine_->exchanges()[size_t(i)].flags & dscv::kFlagWizard);
    }
    default: return false;
  }
}

void CfwDbDsc::command(int command) {
  if (!commandEnabled(command)) return;
  if (command == kCmdScan) engine_->scan();
  if (command == kCmdWizard) engine_->enterWizard(size_t(selectedExchange()));
}

void CfwDbDsc::wizardEntered(size_t) {
  clear();
  redraw();
  setEnabled(false);
  adapterLabel_->hide();
  adapters_->hide();
}

void CfwDbDsc::analysed(const std::vector<std::string>& lines, bool openEasy) {
  setEnabled(true);
  clear();
  // Opening the Easy page belongs to the web view; until then its
  // address stands in the list.
  if (openEasy) addPlainText(easyPageAddress(engine_->exchanges()[engine_->wizardIndex()]));
  for (const std::string& line : lines) addPlainText(line);
}

void CfwDbDsc::connectionLost() {
  if (hooks_.message) hooks_.message("Connection lost!, rediscovering network for Corvane");
}

void CfwDbDsc::onAdapterPicked(int row) {
  if (filling_ || row < 0 || row >= int(engine_->adapters().size())) return;
  const uint32_t a = adapters_->itemData(row).toUInt();
  if (a == 0 || a == engine_->adapter()) return;
  engine_->selectAdapter(a);
}

void CfwDbDsc::fault(SocketFault f) {
  if (hooks_.message) hooks_.message(texts_.text(faultText(f)));
}

void CfwDbDsc::clearMessage() {
  if (hooks_.message) hooks_.message("");
}

void CfwDbDsc::progress(size_t lines, unsigned cycles) {
  if (hooks_.status) hooks_.status(std::to_string(lines) + " / " + std::to_string(cycles));
}

void CfwDbDsc::started(const std::vector<uint32_t>& adapters, uint32_t selected) {
  clear();
  redraw();
  filling_ = true;
  {
    QSignalBlocker block(adapters_);
    adapters_->clear();
    for (uint32_t a : adapters) {
      adapters_->addItem(QString::fromStdString(dottedIp(a)), QVariant::fromValue(a));
      if (a == selected) adapters_->setCurrentIndex(adapters_->count() - 1);
    }
  }
  filling_ = false;
  const bool several = adapters.size() >= 2;
  adapterLabel_->setVisible(several);
  adapters_->setVisible(several);
}

void CfwDbDsc::lineAdded(size_t index, const std::string& line) {
  addLine(line, kExchangeLine, int32_t(index), int32_t(index));
  redraw();
}

void CfwDbDsc::finished(size_t lines) {
  if (lines > 0)
    setHeaders(texts_.text(kTextDiscoveryColumns), "");
  else
    addPlainText(texts_.text(kTextNoCorvaneFound));
}

void CfwDbDsc::stateChanged(DiscoveryState s) {
  const bool ready = s == DiscoveryState::WizardReady;
  if (ready != wizardReady_) {
    wizardReady_ = ready;
    if (hooks_.wizardReady) hooks_.wizardReady(ready);
  }
  if (s != DiscoveryState::WizardStarting) setEnabled(true);
  const bool selector = (s == DiscoveryState::Discovering || s == DiscoveryState::Listed) && adapters_->count() >= 2;
  adapterLabel_->setVisible(selector);
  adapters_->setVisible(selector);
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
}

void CfwDbDsc::wizardTarget(bool found, size_t index) {
  if (found && engine_->enterWizard(index)) return;
  if (hooks_.message) hooks_.message(texts_.text(kTextWizardStartupFailed));
}

void CfwDbDsc::adapterChosen(uint32_t adapter) {
  if (hooks_.storeAdapter) hooks_.storeAdapter(adapter);
}

}  // namespace lumarc::browse
