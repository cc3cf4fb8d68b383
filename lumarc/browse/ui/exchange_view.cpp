#include "lumarc/browse/ui/exchange_view.h"

#include "common/qt/qt_text.h"
#include "lumarc/texts/texts.h"
#include "lumarc/discovery/wizard_analysis.h"
#include "lumarc/discovery/wizard_commands.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalBlocker>

#include <cstdio>

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
  const int fieldLabels[3] = {kTextIpAddressField, kTextSubnetMaskField, kTextDefaultGatewayField};
  const char* fieldNames[3] = {"ipAddress", "subnetMask", "defaultGateway"};
  for (int i = 0; i < 3; ++i) {
    ipLabels_[i] = new QLabel(corvane::qtext(texts, texts.text(fieldLabels[i])), this);
    ipFields_[i] = new QLineEdit(this);
    ipFields_[i]->setObjectName(fieldNames[i]);
    ipFields_[i]->setMaxLength(15);
    ipLabels_[i]->hide();
    ipFields_[i]->hide();
  }
  upload_ = new QLabel(this);
  upload_->setObjectName("uploadProgress");
  upload_->hide();
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
  int x = 4;
  for (int i = 0; i < 3; ++i) {
    ipLabels_[i]->setGeometry(x, 2, 100, kBandHeight - 4);
    ipFields_[i]->setGeometry(x + 104, 2, 120, kBandHeight - 4);
    x += 232;
  }
  upload_->setGeometry(x, 2, std::max(100, width() - x - 4), kBandHeight - 4);
}

bool CfwDbDsc::openBrowser(const std::string& wizardTarget, FollowUps followUps) {
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
  // `SaveIp` tells the exchange the program's language: 0 English, 1 Turkish.
  config.languageSetting = texts_.text(kTextLanguageTag) == "Trk" ? 1 : 0;
  config.wizardText = [this](WizardText t) { return texts_.text(kTextWizardAnalysis + int(t)); };
  engine_.reset();
  engine_ = std::make_unique<DiscoveryEngine>(*socket_, static_cast<DiscoveryEvents&>(*this), std::move(config));
  engine_->setFollowUps(std::move(followUps));
  return engine_->open(wizardTarget);
}

void CfwDbDsc::closeBrowser() {
  const bool keep = engine_->state() == DiscoveryState::Listed;
  engine_->close();
  if (!keep) clear();
  adapterLabel_->hide();
  adapters_->hide();
  showIpFields(false);
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
    case kCmdSaveIp:
    case kCmdUpload:
    case kCmdFactory: return s == DiscoveryState::WizardReady && engine_->commandAllowed();
    case kCmdRecommendedIp: {
      if (s != DiscoveryState::WizardReady || !engine_->commandAllowed()) return false;
      const ExchangeEntry& e = engine_->exchanges()[engine_->wizardIndex()];
      return e.recommendedIp != 0 || e.recommendedMask != 0 || e.recommendedGateway != 0;
    }
    default: return false;
  }
}

void CfwDbDsc::command(int command) {
  if (!commandEnabled(command)) return;
  switch (command) {
    case kCmdScan: engine_->scan(); break;
    case kCmdWizard:
      // The user's own wizard ends the installation call's follow-ups.
      engine_->setFollowUps({});
      engine_->enterWizard(size_t(selectedExchange()));
      break;
    case kCmdSaveIp: saveIp(); break;
    case kCmdRecommendedIp: recommendedIp(); break;
    case kCmdFactory: factory(); break;
    case kCmdUpload: uploadFile(); break;
    default: break;
  }
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
}

void CfwDbDsc::say(const std::string& text) {
  if (hooks_.message) hooks_.message(text);
}

void CfwDbDsc::showIpFields(bool shown) {
  for (int i = 0; i < 3; ++i) {
    ipLabels_[i]->setVisible(shown);
    ipFields_[i]->setVisible(shown);
  }
  if (!shown) upload_->hide();
}

void CfwDbDsc::saveIp() {
  say("");
  uint32_t values[3];
  for (int i = 0; i < 3; ++i) {
    const std::optional<uint32_t> v = parseDottedIp(ipFields_[i]->text().trimmed().toStdString());
    if (!v) {
      // Nothing half-typed goes to the exchange.
      say(texts_.text(kTextInvalidIpField));
      ipFields_[i]->setFocus();
      return;
    }
    values[i] = *v;
  }
  engine_->saveIp(values[0], values[1], values[2]);
}

void CfwDbDsc::recommendedIp() {
  say("");
  const ExchangeEntry& e = engine_->exchanges()[engine_->wizardIndex()];
  const uint32_t values[3] = {e.recommendedIp, e.recommendedMask, e.recommendedGateway};
  for (int i = 0; i < 3; ++i)
    if (values[i] != 0) ipFields_[i]->setText(QString::fromStdString(dottedIp(values[i])));
}

void CfwDbDsc::factory() {
  say("");
  // Wiping an exchange needs a deliberate OK; Enter alone cancels.
  QMessageBox box(QMessageBox::Warning, corvane::qtext(texts_, commandLabel(texts_, kCmdFactory)),
                  corvane::qtext(texts_, texts_.text(kTextFactoryQuestion)), QMessageBox::Ok | QMessageBox::Cancel,
                  this);
  box.setObjectName("factoryQuestion");
  box.setDefaultButton(QMessageBox::Cancel);
  box.setEscapeButton(QMessageBox::Cancel);
  if (box.exec() != QMessageBox::Ok) return;
  engine_->factoryReset();
}

void CfwDbDsc::uploadFile() {
  say("");
  const QString path = hooks_.askUploadFile
                           ? hooks_.askUploadFile()
                           : QFileDialog::getOpenFileName(this, QString(), QString::fromStdString(workDir_), "*.*");
  if (path.isEmpty()) return;
  const std::string local = QFile::encodeName(path).toStdString();
  if (engine_->upload(local) == DiscoveryEngine::UploadStart::BadFile) uploadFailed(local);
}

void CfwDbDsc::wizardEntered(size_t index) {
  clear();
  redraw();
  setEnabled(false);
  adapterLabel_->hide();
  adapters_->hide();
  const ExchangeEntry& e = engine_->exchanges()[index];
  const uint32_t values[3] = {e.id.ip, e.mask, e.gateway};
  for (int i = 0; i < 3; ++i) {
    ipFields_[i]->setText(QString::fromStdString(dottedIp(values[i])));
    ipFields_[i]->setEnabled(false);
  }
  upload_->clear();
  showIpFields(true);
}

void CfwDbDsc::analysed(const std::vector<std::string>& lines, bool openEasy) {
  setEnabled(true);
  for (QLineEdit* f : ipFields_) f->setEnabled(true);
  clear();
  // Without a page view the Easy page's address stands in the list.
  if (openEasy && !hooks_.openPage) addPlainText(easyPageAddress(engine_->exchanges()[engine_->wizardIndex()]));
  for (const std::string& line : lines) addPlainText(line);
  redraw();
}

void CfwDbDsc::connectionLost() { say(texts_.text(kTextConnectionLost)); }

void CfwDbDsc::commandDone(uint8_t command, bool accepted, const std::string& refusal) {
  if (command == kSaveIp && !accepted) say(texts_.text(kTextCorvaneRefused) + refusal + "'");
  if (command == kUploadBlock) upload_->clear();
}

void CfwDbDsc::startHalvern(const std::string& password, uint32_t address) {
  if (hooks_.startHalvern) hooks_.startHalvern(password, address);
}

void CfwDbDsc::startQuillet() {
  if (hooks_.startQuillet) hooks_.startQuillet();
}

void CfwDbDsc::openPage(const std::string& url) {
  if (hooks_.openPage) hooks_.openPage(url);
}

void CfwDbDsc::uploadProgress(size_t sent, size_t total, const std::string& path) {
  // "Uploading %i/%i of %s." with the string table's wording; the path
  // is the file system's name, shown in the table's code page.
  const std::string& format = texts_.text(kTextUploading);
  const std::string shown = corvane::bytes(texts_, QFile::decodeName(QByteArray::fromStdString(path)));
  std::string text;
  const size_t a = format.find("%i"), b = format.find("%i", a == std::string::npos ? 0 : a + 2),
               c = format.find("%s", b == std::string::npos ? 0 : b + 2);
  if (a != std::string::npos && b != std::string::npos && c != std::string::npos)
    text = format.substr(0, a) + std::to_string(sent) + format.substr(a + 2, b - a - 2) + std::to_string(total) +
           format.substr(b + 2, c - b - 2) + shown + format.substr(c + 2);
  else
    text = format + " " + std::to_string(sent) + "/" + std::to_string(total) + " " + shown;
  say(text);
  upload_->setText(corvane::qtext(texts_, text));
  upload_->show();
}

void CfwDbDsc::uploadFailed(const std::string&) {
  const std::string& text = texts_.text(kTextUploadFailed);
  say(text);
  // The analysis that follows empties the list, unless a request goes out first.
  addPlainText(text);
  redraw();
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
  showIpFields(false);
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
