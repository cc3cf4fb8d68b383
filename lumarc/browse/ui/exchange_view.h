// The exchange browser (`CfwDbDsc`): the discovery engine's list in the
// paged browser list, with the adapter selector ("Network adapter") in the
// band above it, or in the wizard the exchange's three IP fields and the
// upload's progress. It is ticked by the main window while it is the
// visible view; the socket exists from opening until the view is left.
#pragma once

#include "lumarc/browse/ui/dblist.h"
#include "lumarc/discovery/discovery.h"

#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QString;

namespace lumarc::browse {

struct ExchangeViewHooks {
  // The message bar (empty: clear it) and status-bar pane 2.
  std::function<void(const std::string&)> message;
  std::function<void(const std::string&)> status;
  std::function<void()> refreshToolbar;
  // The adapter in the settings (host-order IPv4, 0 = none), and storing a new choice.
  std::function<uint32_t()> storedAdapter;
  std::function<void(uint32_t)> storeAdapter;
  // The wizard became ready (true) or was left (false): toolbar and caption.
  std::function<void(bool)> wizardReady;
  // The installation chain's steps that belong to the window: start
  // `Halvern` with the account's password and the exchange's address
  // (host order), start `Quillet`, open the Easy page at the address.
  // Without openPage the address is shown in the list instead.
  std::function<void(const std::string& password, uint32_t address)> startHalvern;
  std::function<void()> startQuillet;
  std::function<void(const std::string& url)> openPage;
  // The "Upload" file question; empty: cancelled. Unset: an open dialog.
  std::function<QString()> askUploadFile;
};

class CfwDbDsc : public CfwDblist, private DiscoveryEvents {
  Q_OBJECT
 public:
  // Lines are kind 9 with the exchange's table index.
  static constexpr int32_t kExchangeLine = 9;

  CfwDbDsc(const corvane::StringTable& texts, std::string workDir, std::unique_ptr<DiscoverySocket> socket,
           ExchangeViewHooks hooks, QWidget* parent = nullptr);
  ~CfwDbDsc() override;

  // Opens the socket and starts discovering, for the installation call's
  // platform code when one is given, with its follow-up actions (upload,
  // `Halvern`, `Quillet`). False: the message bar says why.
  bool openBrowser(const std::string& wizardTarget = {}, FollowUps followUps = {});
  // Closes the socket (the view is left).
  void closeBrowser();
  // The 100 ms tick while visible.
  void tick();
  bool commandEnabled(int command) const;
  void command(int command);

  DiscoveryState state() const { return engine_->state(); }
  const DiscoveryEngine& engine() const { return *engine_; }
  QComboBox* adapterSelector() const { return adapters_; }
  // The wizard's "IP address", "Subnet mask" and "Default gateway" fields.
  QLineEdit* ipField(int i) const { return ipFields_[i]; }
  QLabel* uploadProgress() const { return upload_; }

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void fault(SocketFault f) override;
  void clearMessage() override;
  void progress(size_t lines, unsigned cycles) override;
  void started(const std::vector<uint32_t>& adapters, uint32_t selected) override;
  void lineAdded(size_t index, const std::string& line) override;
  void finished(size_t lines) override;
  void stateChanged(DiscoveryState s) override;
  void wizardTarget(bool found, size_t index) override;
  void adapterChosen(uint32_t adapter) override;
  void wizardEntered(size_t index) override;
  void analysed(const std::vector<std::string>& lines, bool openEasy) override;
  void connectionLost() override;
  void commandDone(uint8_t command, bool accepted, const std::string& refusal) override;
  void startHalvern(const std::string& password, uint32_t address) override;
  void startQuillet() override;
  void openPage(const std::string& url) override;
  void uploadProgress(size_t sent, size_t total, const std::string& path) override;
  void uploadFailed(const std::string& path) override;
  void showIpFields(bool shown);
  void saveIp();
  void recommendedIp();
  void factory();
  void uploadFile();
  void say(const std::string& text);
  // The table index of the selected exchange line, or -1.
  int selectedExchange() const;
  void onAdapterPicked(int row);

  const corvane::StringTable& texts_;
  std::string workDir_;
  std::unique_ptr<DiscoverySocket> socket_;
  ExchangeViewHooks hooks_;
  std::unique_ptr<DiscoveryEngine> engine_;
  QLabel* adapterLabel_ = nullptr;
  QComboBox* adapters_ = nullptr;
  QLabel* ipLabels_[3] = {};
  QLineEdit* ipFields_[3] = {};
  QLabel* upload_ = nullptr;
  bool storeMade_ = false;
  bool filling_ = false;
  bool wizardReady_ = false;
};

}  // namespace lumarc::browse
