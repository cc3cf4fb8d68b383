#include "lumarc/discovery/wizard_analysis.h"

#include "common/string_table.h"

namespace lumarc {

const char* englishWizardText(WizardText t) {
  switch (t) {
    case WizardText::Observations: return "Observations:";
    case WizardText::Recommendations: return "Recommendations:";
    case WizardText::NotAccessible: return "%s is not accessible via web browser!";
    case WizardText::Protected: return "%s 'save IP' and 'Factory' are protected!";
    case WizardText::FactoryManually: return "Bring %s to factory settings manually (See Installation manual).";
    case WizardText::DiscoveryAgain: return "Start Discovery again (If it does not start automatically).";
    case WizardText::NoDhcpServer: return "No DHCP server found!";
    case WizardText::LearnPcSettings: return "Run 'ip addr' in a terminal to learn IP settings of your computer.";
    case WizardText::SimilarAddress:
      return "Set exchange 'IP address' similar to your computer (only last digit different).";
    case WizardText::SameMask: return "Set exchange 'Subnet mask' same as your computer.";
    case WizardText::SameGateway: return "Set exchange 'Default gateway' same as your computer.";
    case WizardText::PressSaveIp: return "Press 'Save IP'.";
    case WizardText::WillReboot: return "%s will reboot with the new settings (This may take a few minutes).";
    case WizardText::ConflictsWithDhcp: return "Your computer's IP settings conflicts with DHCP server!";
    case WizardText::AutomaticDhcp: return "Set your computers IP settings as 'Automatic (DHCP)'.";
    case WizardText::PowerOff: return "Power off %s.";
    case WizardText::PowerOn: return "Power on %s.";
    case WizardText::ShouldRequery: return "%s should requery DHCP server!";
    case WizardText::SetAddress: return "Set exchange IP address as %s.";
    case WizardText::SetMask: return "Set exchange Subnet mask as %s.";
    case WizardText::SetGateway: return "Set exchange Default gateway as %s.";
    case WizardText::GatewayInconsistent: return "%s Gateway is inconsistent!";
    case WizardText::GatewayNotDhcp: return "%s Gateway is not DHCP server recommended!";
    case WizardText::MaskNotDhcp: return "%s Subnet mask is not DHCP server recommended!";
    case WizardText::AddressInconsistent: return "IP address is inconsistent!";
    case WizardText::EditSettings: return "To edit system settings press 'Easy' setup or 'Expert' settings.";
    case WizardText::FillBoxes: return "To fill boxes with recommended values. Press 'Recommended IP'.";
  }
  return "";
}

std::string platformCode(const ExchangeEntry& e) {
  std::string s;
  for (size_t i = 0; i < 8 && e.platform[i] != 0; ++i) {
    const uint8_t b = e.platform[i];
    s += (b < 0x20 || b == 0x7F) ? ' ' : char(b);
  }
  return s;
}

namespace {

class Writer {
 public:
  Writer(WizardAnalysis& a, std::string name) : a_(a), name_(std::move(name)) {}
  void observe(WizardText t, bool named = false) { a_.items.push_back({false, t, named ? name_ : ""}); }
  void recommend(WizardText t, bool named = false) { a_.items.push_back({true, t, named ? name_ : ""}); }
  // "Set exchange ... as %s.": never for a value of 0, which stays unrecommended.
  void set(WizardText t, uint32_t value, uint32_t& recommended) {
    if (value == 0) return;
    recommended = value;
    a_.items.push_back({true, t, dottedIp(value)});
  }
  void rebootAfterSave() {
    recommend(WizardText::PressSaveIp);
    recommend(WizardText::WillReboot, true);
  }

 private:
  WizardAnalysis& a_;
  std::string name_;
};

// a and b differ in at least one bit of m.
bool differ(uint32_t a, uint32_t b, uint32_t m) { return ((a ^ b) & m) != 0; }

}  // namespace

WizardAnalysis analyseExchange(const ExchangeEntry& e, const AnalysisContext& c) {
  WizardAnalysis a;
  Writer w(a, platformCode(e));
  const uint32_t ip = e.id.ip, mask = e.mask, gw = e.gateway;
  const uint32_t di = e.dhcpIp, dm = e.dhcpMask, dg = e.dhcpGateway, ds = e.dhcpServer;

  if (e.unaccessible) {
    w.observe(WizardText::NotAccessible, true);
    if (!(e.flags & dscv::kFlagWizard)) {
      w.recommend(WizardText::Protected, true);
      w.recommend(WizardText::FactoryManually, true);
      w.recommend(WizardText::DiscoveryAgain);
    } else if (ds == 0) {
      w.observe(WizardText::NoDhcpServer);
      w.recommend(WizardText::LearnPcSettings);
      w.recommend(WizardText::SimilarAddress);
      w.recommend(WizardText::SameMask);
      w.recommend(WizardText::SameGateway);
      w.rebootAfterSave();
    } else if (differ(di, c.pc, dm)) {
      w.observe(WizardText::ConflictsWithDhcp);
      w.recommend(WizardText::AutomaticDhcp);
      w.recommend(WizardText::PowerOff, true);
      w.recommend(WizardText::PowerOn, true);
      w.recommend(WizardText::DiscoveryAgain);
    } else if (di == c.pc) {
      w.observe(WizardText::ShouldRequery, true);
      w.recommend(WizardText::PowerOff, true);
      w.recommend(WizardText::PowerOn, true);
      w.recommend(WizardText::DiscoveryAgain);
    } else {
      w.set(WizardText::SetAddress, di, a.recommendedIp);
      w.set(WizardText::SetMask, dm, a.recommendedMask);
      w.set(WizardText::SetGateway, dg, a.recommendedGateway);
      w.rebootAfterSave();
    }
    return a;
  }

  bool easyCheck = true;
  if (dg == 0) {
    easyCheck = false;
    if (differ(gw, ip, mask)) {
      w.observe(WizardText::GatewayInconsistent, true);
      w.recommend(WizardText::SameGateway);
      w.rebootAfterSave();
    }
  } else if (dg != gw) {
    const bool maskDiffers = dm != mask;
    const bool inconsistent = differ(dg, ip, dm);
    w.observe(WizardText::GatewayNotDhcp, true);
    if (maskDiffers) w.observe(WizardText::MaskNotDhcp, true);
    if (inconsistent) w.observe(WizardText::AddressInconsistent);
    w.set(WizardText::SetGateway, dg, a.recommendedGateway);
    if (maskDiffers) w.set(WizardText::SetMask, dm, a.recommendedMask);
    if (inconsistent) w.set(WizardText::SetAddress, di, a.recommendedIp);
    w.rebootAfterSave();
  } else if (dm != mask) {
    const bool inconsistent = differ(dg, ip, dm);
    w.observe(WizardText::MaskNotDhcp, true);
    if (inconsistent) w.observe(WizardText::AddressInconsistent);
    w.set(WizardText::SetMask, dm, a.recommendedMask);
    if (inconsistent) w.set(WizardText::SetAddress, di, a.recommendedIp);
    w.rebootAfterSave();
  } else if (differ(ip, dg, dm)) {
    w.observe(WizardText::AddressInconsistent);
    w.set(WizardText::SetAddress, di, a.recommendedIp);
    w.recommend(WizardText::WillReboot, true);
  }

  if (easyCheck && a.items.empty() && c.targetSet && !c.easyOpenedBefore && (e.flags & dscv::kFlagEasy)) {
    a.openEasy = true;
    return a;
  }
  w.recommend(WizardText::EditSettings);
  if (a.recommendedIp | a.recommendedMask | a.recommendedGateway) w.recommend(WizardText::FillBoxes);
  return a;
}

std::vector<std::string> analysisLines(const WizardAnalysis& a, const std::function<std::string(WizardText)>& text) {
  std::vector<std::string> out;
  int observations = 0, recommendations = 0;
  for (const AnalysisItem& item : a.items) {
    int& counter = item.recommendation ? recommendations : observations;
    if (counter == 0) out.push_back(text(item.recommendation ? WizardText::Recommendations : WizardText::Observations));
    ++counter;
    const std::string body = item.arg.empty() ? text(item.text) : corvane::formatText(text(item.text), {item.arg});
    out.push_back(std::to_string(counter) + ". " + body);
  }
  return out;
}

}  // namespace lumarc
