// lumarc-cli discover: the exchange browser without a window. Runs the
// window program's discovery engine on its 100 ms tick over the same
// multicast socket and adapter rule, writes "logD00.txt" in --dir and
// prints the header row and the list lines as the list shows them (8-bit
// texts as UTF-8), or "No Corvane found!". --adapter picks one of the
// eligible adapters and stores it in "Lumarc.set"; --target acts as the
// installation call's platform code (the long wait for that exchange, then
// the wizard and its analysis, or the Easy page's address where the window
// would open it); --wizard ADDRESS enters the wizard for that listed
// exchange and prints the analysis. Nothing that changes an exchange is sent.
#include "tools/cli/command.h"

#include "common/codepage.h"
#include "lumarc/app/session.h"
#include "lumarc/texts/texts.h"
#include "lumarc/discovery/discovery.h"
#include "lumarc/discovery/multicast_socket.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <cstdio>
#include <string>
#include <thread>

namespace lumarc::cli {
namespace {

int socketFaultText(SocketFault f) {
  switch (f) {
    case SocketFault::Creation: return kTextSocketCreationFault;
    case SocketFault::Binding: return kTextSocketBindingFault;
    case SocketFault::Options: return kTextSocketOptionsFault;
    case SocketFault::Ioctl: return kTextSocketIoctlFault;
    case SocketFault::None: break;
  }
  return kTextSocketBindingFault;
}

class ConsoleBrowser : public DiscoveryEvents {
 public:
  ConsoleBrowser(const corvane::StringTable& texts, corvane::Language lang) : texts_(texts), lang_(lang) {}

  void fault(SocketFault f) override { error(texts_.text(socketFaultText(f))); }
  void clearMessage() override {}
  void progress(size_t, unsigned) override {}
  void started(const std::vector<uint32_t>&, uint32_t) override {}
  void lineAdded(size_t, const std::string&) override {}
  void finished(size_t) override { done_ = true; }
  void stateChanged(DiscoveryState) override {}
  void wizardTarget(bool found, size_t index) override {
    if (!found) {
      error(texts_.text(kTextWizardStartupFailed));
      failed_ = true;
      return;
    }
    targetIndex_ = index;
  }
  void adapterChosen(uint32_t) override {}
  void analysed(const std::vector<std::string>& lines, bool openEasy) override {
    analysis_ = lines;
    openEasy_ = openEasy;
    analysed_ = true;
  }
  void connectionLost() override {
    error("Connection lost!, rediscovering network for Corvane");
    lost_ = true;
  }

  void print(const std::vector<std::string>& lines) const {
    if (lines.empty()) {
      out(texts_.text(kTextNoCorvaneFound));
      return;
    }
    out(texts_.text(kTextDiscoveryColumns));
    for (const std::string& line : lines) out(line);
  }
  bool done() const { return done_; }
  bool failed() const { return failed_; }
  void fail(const std::string& text) {
    error(text);
    failed_ = true;
  }
  std::optional<size_t> targetIndex() const { return targetIndex_; }
  bool analysedOrLost() const { return analysed_ || lost_; }
  bool lost() const { return lost_; }
  bool openEasy() const { return openEasy_; }
  void printAnalysis() const {
    for (const std::string& line : analysis_) out(line);
  }
  void printRaw(const std::string& text) const { out(text); }

 private:
  void out(const std::string& bytes) const {
    const std::string s = corvane::toUtf8(bytes, lang_);
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
  }
  void error(const std::string& bytes) const {
    std::fprintf(stderr, "lumarc-cli discover: %s\n", corvane::toUtf8(bytes, lang_).c_str());
  }

  const corvane::StringTable& texts_;
  corvane::Language lang_;
  bool done_ = false, failed_ = false, analysed_ = false, lost_ = false, openEasy_ = false;
  std::optional<size_t> targetIndex_;
  std::vector<std::string> analysis_;
};

// What the command line asks for.
struct DiscoverArgs {
  std::string adapterText, target, wizardText;
};

int discover(const Options& opt, const DiscoverArgs& a) {
  const std::string& adapterText = a.adapterText;
  const std::string& target = a.target;
  const std::string& wizardText = a.wizardText;
  Session session(opt.workDir);
  SettingsBlock& settings = session.settings;
  const corvane::StringTable& texts = *session.texts;
  const corvane::Language lang = session.language;

  MulticastDiscoverySocket socket;
  uint32_t stored = settings.adapter();
  if (!adapterText.empty()) {
    const auto wanted = parseDottedIp(adapterText);
    const std::vector<uint32_t> eligible = socket.adapters();
    if (!wanted || std::find(eligible.begin(), eligible.end(), *wanted) == eligible.end()) {
      std::fprintf(stderr, "lumarc-cli discover: %s is not an eligible network adapter\n", adapterText.c_str());
      return 1;
    }
    stored = *wanted;
  }
  ConsoleBrowser browser(texts, lang);
  DiscoveryConfig config;
  config.workDir = opt.workDir;
  config.texts = {texts.text(kTextDiscoveryEnabled), texts.text(kTextDiscoveryDisabled)};
  config.storedAdapter = stored;
  DiscoveryEngine engine(socket, browser, config);
  if (!engine.open(target)) return 1;
  if (!adapterText.empty() && settings.adapter() != engine.adapter()) {
    settings.setAdapter(engine.adapter());
    session.save();
  }
  auto next = std::chrono::steady_clock::now();
  auto runUntil = [&](const std::function<bool()>& done) {
    while (!done()) {
      next += std::chrono::milliseconds(100);
      std::this_thread::sleep_until(next);
      engine.tick();
    }
  };
  runUntil([&] { return browser.done(); });
  const std::vector<std::string> lines = engine.lines();
  browser.print(lines);
  std::fflush(stdout);
  if (browser.failed()) return 1;

  // The wizard: for the installation call's platform code, or for --wizard.
  std::optional<size_t> index = browser.targetIndex();
  if (!wizardText.empty()) {
    const auto wanted = parseDottedIp(wizardText);
    const auto& table = engine.exchanges();
    index.reset();
    for (size_t i = 0; wanted && i < table.size(); ++i)
      if (table[i].id.ip == *wanted) {
        index = i;
        break;
      }
    if (!index) {
      browser.fail(wizardText + " is not a listed Corvane");
      return 1;
    }
    if (!(table[*index].flags & dscv::kFlagWizard)) {
      browser.fail(wizardText + " does not accept the wizard");
      return 1;
    }
  }
  if (!index) return 0;
  const ExchangeEntry entry = engine.exchanges()[*index];
  engine.enterWizard(*index);
  runUntil([&] { return browser.analysedOrLost(); });
  engine.close();
  if (browser.lost()) return 1;
  if (browser.openEasy())
    browser.printRaw(easyPageAddress(entry));
  else
    browser.printAnalysis();
  std::fflush(stdout);
  return 0;
}

Runner define(CLI::App& parser) {
  auto a = std::make_shared<DiscoverArgs>();
  parser.add_option("--adapter", a->adapterText, "search on this eligible network adapter and keep it in Lumarc.set")
      ->type_name("ADDRESS");
  parser.add_option("--target", a->target, "act as the installation call for this platform code")
      ->type_name("PLATFORM");
  parser.add_option("--wizard", a->wizardText, "enter the wizard for this listed exchange and print its analysis")
      ->type_name("ADDRESS");
  return [a](const Options& opt) { return discover(opt, *a); };
}

Register reg({"discover",
              "find the Corvane exchanges on one network adapter's segment and list them as the exchange "
              "browser does",
              define});

}  // namespace
}  // namespace lumarc::cli
