// The wizard's analysis of one exchange's IP settings: what it observes
// about the exchange, the PC's adapter and the DHCP findings the exchange
// reported, what it recommends, the recommended address, mask and gateway,
// and whether the Easy page opens by itself instead. A pure function; the
// list lines are worded by the caller's texts.
#pragma once

#include "lumarc/discovery/discovery.h"

#include <functional>
#include <string>
#include <vector>

namespace lumarc {

// The analysis texts; "%s" is the exchange's platform code or a dotted value.
enum class WizardText : int {
  Observations,
  Recommendations,
  NotAccessible,  // "%s is not accessible via web browser!"
  Protected,      // "%s 'save IP' and 'Factory' are protected!"
  FactoryManually,
  DiscoveryAgain,
  NoDhcpServer,
  LearnPcSettings,  // "Run 'ip addr' in a terminal ..."
  SimilarAddress,
  SameMask,
  SameGateway,
  PressSaveIp,
  WillReboot,  // "%s will reboot ..."
  ConflictsWithDhcp,
  AutomaticDhcp,
  PowerOff,
  PowerOn,
  ShouldRequery,
  SetAddress,  // "Set exchange IP address as %s."
  SetMask,
  SetGateway,
  GatewayInconsistent,
  GatewayNotDhcp,
  MaskNotDhcp,
  AddressInconsistent,
  EditSettings,
  FillBoxes,
};

// The English text of an entry.
const char* englishWizardText(WizardText t);

struct AnalysisItem {
  bool recommendation = false;
  WizardText text{};
  std::string arg;  // for "%s"; empty when the text has none
};

struct WizardAnalysis {
  std::vector<AnalysisItem> items;  // observations first, then recommendations
  uint32_t recommendedIp = 0, recommendedMask = 0, recommendedGateway = 0;
  bool openEasy = false;  // nothing to say: the Easy page opens instead
};

struct AnalysisContext {
  uint32_t pc = 0;         // the selected adapter's address
  bool targetSet = false;  // a wizard target (installation call) is set
  bool easyOpenedBefore = false;
};

WizardAnalysis analyseExchange(const ExchangeEntry& e, const AnalysisContext& c);

// The list lines: "Observations:", "1. text", ..., "Recommendations:",
// "1. text", ...; text(t) gives the wording of an entry.
std::vector<std::string> analysisLines(const WizardAnalysis& a, const std::function<std::string(WizardText)>& text);

// The platform code the texts name the exchange by: the first 8 bytes of
// the platform field up to a zero byte, control bytes as blanks.
std::string platformCode(const ExchangeEntry& e);

}  // namespace lumarc
