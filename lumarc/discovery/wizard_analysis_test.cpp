#include "lumarc/discovery/wizard_analysis.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

constexpr uint32_t addr(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }
constexpr uint32_t kPc = addr(192, 168, 1, 20);
constexpr uint32_t k24 = addr(255, 255, 255, 0), k16 = addr(255, 255, 0, 0);

struct Settings {
  bool unaccessible = false;
  uint8_t flags = 1;
  uint32_t ip = addr(192, 168, 1, 10), mask = k24, gw = addr(192, 168, 1, 1);
  uint32_t di = addr(192, 168, 1, 60), dm = k24, dg = addr(192, 168, 1, 1), ds = addr(192, 168, 1, 1);
};

ExchangeEntry entry(const Settings& s) {
  ExchangeEntry e;
  const char* p = "CRV-PX48TRAILING";
  std::copy(p, p + 16, e.platform.begin());
  e.unaccessible = s.unaccessible;
  e.flags = s.flags;
  e.id.ip = s.ip;
  e.mask = s.mask;
  e.gateway = s.gw;
  e.dhcpIp = s.di;
  e.dhcpMask = s.dm;
  e.dhcpGateway = s.dg;
  e.dhcpServer = s.ds;
  return e;
}

std::vector<std::string> lines(const WizardAnalysis& a) {
  return analysisLines(a, [](WizardText t) { return std::string(englishWizardText(t)); });
}

const char* kEdit = "To edit system settings press 'Easy' setup or 'Expert' settings.";
const char* kFill = "To fill boxes with recommended values. Press 'Recommended IP'.";
const char* kReboot = "CRV-PX48 will reboot with the new settings (This may take a few minutes).";

TEST(WizardAnalysis, EveryBranchWritesItsLinesAndRecommendedValues) {
  struct Case {
    const char* branch;
    Settings s;
    std::vector<std::string> lines;
    uint32_t rIp, rMask, rGw;
  } cases[] = {
      {"A1 protected",
       {.unaccessible = true, .flags = 0},
       {"Observations:", "1. CRV-PX48 is not accessible via web browser!",
        "Recommendations:", "1. CRV-PX48 'save IP' and 'Factory' are protected!",
        "2. Bring CRV-PX48 to factory settings manually (See Installation manual).",
        "3. Start Discovery again (If it does not start automatically)."},
       0,
       0,
       0},
      {"A2 no DHCP server",
       {.unaccessible = true, .ds = 0},
       {"Observations:", "1. CRV-PX48 is not accessible via web browser!", "2. No DHCP server found!",
        "Recommendations:", "1. Run 'ip addr' in a terminal to learn IP settings of your computer.",
        "2. Set exchange 'IP address' similar to your computer (only last digit different).",
        "3. Set exchange 'Subnet mask' same as your computer.",
        "4. Set exchange 'Default gateway' same as your computer.", "5. Press 'Save IP'.",
        std::string("6. ") + kReboot},
       0,
       0,
       0},
      {"A3 PC conflicts with DHCP",
       {.unaccessible = true, .di = addr(10, 0, 0, 50)},
       {"Observations:", "1. CRV-PX48 is not accessible via web browser!",
        "2. Your computer's IP settings conflicts with DHCP server!",
        "Recommendations:", "1. Set your computers IP settings as 'Automatic (DHCP)'.", "2. Power off CRV-PX48.",
        "3. Power on CRV-PX48.", "4. Start Discovery again (If it does not start automatically)."},
       0,
       0,
       0},
      {"A4 requery",
       {.unaccessible = true, .di = kPc},
       {"Observations:", "1. CRV-PX48 is not accessible via web browser!", "2. CRV-PX48 should requery DHCP server!",
        "Recommendations:", "1. Power off CRV-PX48.", "2. Power on CRV-PX48.",
        "3. Start Discovery again (If it does not start automatically)."},
       0,
       0,
       0},
      {"A5 DHCP values, gateway unknown and not recommended",
       {.unaccessible = true, .dg = 0},
       {"Observations:", "1. CRV-PX48 is not accessible via web browser!",
        "Recommendations:", "1. Set exchange IP address as 192.168.1.60.",
        "2. Set exchange Subnet mask as 255.255.255.0.", "3. Press 'Save IP'.", std::string("4. ") + kReboot},
       addr(192, 168, 1, 60),
       k24,
       0},
      {"B gateway outside the subnet",
       {.gw = addr(10, 0, 0, 1), .dg = 0},
       {"Observations:", "1. CRV-PX48 Gateway is inconsistent!",
        "Recommendations:", "1. Set exchange 'Default gateway' same as your computer.", "2. Press 'Save IP'.",
        std::string("3. ") + kReboot, std::string("4. ") + kEdit},
       0,
       0,
       0},
      {"B consistent", {.dg = 0}, {"Recommendations:", std::string("1. ") + kEdit}, 0, 0, 0},
      {"C gateway and mask",
       {.dm = k16, .dg = addr(192, 168, 1, 254)},
       {"Observations:", "1. CRV-PX48 Gateway is not DHCP server recommended!",
        "2. CRV-PX48 Subnet mask is not DHCP server recommended!", "Recommendations:",
        "1. Set exchange Default gateway as 192.168.1.254.", "2. Set exchange Subnet mask as 255.255.0.0.",
        "3. Press 'Save IP'.", std::string("4. ") + kReboot, std::string("5. ") + kEdit, std::string("6. ") + kFill},
       0,
       k16,
       addr(192, 168, 1, 254)},
      {"C address inconsistent",
       {.ip = addr(192, 168, 2, 10), .dg = addr(192, 168, 1, 254)},
       {"Observations:", "1. CRV-PX48 Gateway is not DHCP server recommended!", "2. IP address is inconsistent!",
        "Recommendations:", "1. Set exchange Default gateway as 192.168.1.254.",
        "2. Set exchange IP address as 192.168.1.60.", "3. Press 'Save IP'.", std::string("4. ") + kReboot,
        std::string("5. ") + kEdit, std::string("6. ") + kFill},
       addr(192, 168, 1, 60),
       0,
       addr(192, 168, 1, 254)},
      {"D1 mask",
       {.dm = k16},
       {"Observations:", "1. CRV-PX48 Subnet mask is not DHCP server recommended!",
        "Recommendations:", "1. Set exchange Subnet mask as 255.255.0.0.", "2. Press 'Save IP'.",
        std::string("3. ") + kReboot, std::string("4. ") + kEdit, std::string("5. ") + kFill},
       0,
       k16,
       0},
      {"D2 address, no Save IP line",
       {.ip = addr(192, 168, 2, 10)},
       {"Observations:", "1. IP address is inconsistent!",
        "Recommendations:", "1. Set exchange IP address as 192.168.1.60.", std::string("2. ") + kReboot,
        std::string("3. ") + kEdit, std::string("4. ") + kFill},
       addr(192, 168, 1, 60),
       0,
       0},
      {"D2 without a DHCP address recommends no zero address",
       {.ip = addr(192, 168, 2, 10), .di = 0},
       {"Observations:", "1. IP address is inconsistent!", "Recommendations:", std::string("1. ") + kReboot,
        std::string("2. ") + kEdit},
       0,
       0,
       0},
      {"D3 all consistent", {}, {"Recommendations:", std::string("1. ") + kEdit}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const WizardAnalysis a = analyseExchange(entry(c.s), {kPc, false, false});
    EXPECT_EQ(lines(a), c.lines) << c.branch;
    EXPECT_EQ(a.recommendedIp, c.rIp) << c.branch;
    EXPECT_EQ(a.recommendedMask, c.rMask) << c.branch;
    EXPECT_EQ(a.recommendedGateway, c.rGw) << c.branch;
    EXPECT_FALSE(a.openEasy) << c.branch;
  }
}

TEST(WizardAnalysis, EasyPageOpensOnceOnlyForAnInstallationCallToAnExchangeOfferingIt) {
  struct Case {
    const char* what;
    uint8_t flags;
    bool target, openedBefore, opens;
  } cases[] = {
      {"installation call, Easy offered", 3, true, false, true},
      {"opened before in this run", 3, true, true, false},
      {"no installation call", 3, false, false, false},
      {"Easy page not offered", 1, true, false, false},
  };
  for (const Case& c : cases) {
    const WizardAnalysis a = analyseExchange(entry({.flags = c.flags}), {kPc, c.target, c.openedBefore});
    EXPECT_EQ(a.openEasy, c.opens) << c.what;
    EXPECT_EQ(a.items.empty(), c.opens) << c.what;
  }
  // Gateway branch B never opens it.
  EXPECT_FALSE(analyseExchange(entry({.flags = 3, .dg = 0}), {kPc, true, false}).openEasy);
}

}  // namespace
}  // namespace lumarc
