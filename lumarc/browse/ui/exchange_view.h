// The exchange browser (`CfwDbDsc`): the discovery engine's list in the
// paged browser list, with the adapter selector ("Network adapter") in the
// band above it. It is ticked by the main window while it is the visible
// view; the socket exists from opening until the view is left.
#pragma once

#include "lumarc/browse/ui/dblist.h"
#include "lumarc/discovery/discovery.h"

#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QLabel;

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
  // platform code when one is given. False: the message bar says why.
  bool openBrowser(const std::string& wizardTarget = {});
  // Closes the socket (the view is left).
  void closeBrowser();
  // The 100 ms tick while visible.
  void tick();
  bool commandEnabled(int command) const;
  void command(int command);

  DiscoveryState state() const { return engine_->state(); }
  const DiscoveryEngine& engine() const { return *engine_; }
  QComboBox* adapterSelector() const { return adapters_; }

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
  bool storeMade_ = false;
  bool filling_ = false;
  bool wizardReady_ = false;
};

}  // namespace lumarc::browse
