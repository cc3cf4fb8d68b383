// Oracle comparison with tshark for SS7: the sample units and generated
// variations are written to an MTP2 capture and dissected by tshark; point
// codes, ISUP message types, circuit codes, parameter codes, cause values
// and number digits, and SCCP message types, classes, subsystem numbers and
// global title digits must agree with our decode text. Skipped when tshark
// is not installed.
#include "common/test_support.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/q931.h"
#include "lumarc/decoder/ss7.h"
#include "lumarc/decoder/ss7_pcap.h"
#include "lumarc/decoder/samples/ss7_samples.h"
#include "lumarc/decoder/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

extern char** environ;

namespace lumarc {
namespace {

using Bytes = std::vector<uint8_t>;

std::string findTshark() {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/"}) {
    const std::string p = std::string(dir) + "tshark";
    if (access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

int runTool(std::vector<std::string> args, const std::string& outFile) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
    int st = 0;
    waitpid(pid, &st, 0);
    status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  posix_spawn_file_actions_destroy(&fa);
  return status;
}

// What both sides agree on for one unit.
struct Facts {
  int dpc = -1, opc = -1;
  int isupType = -1, cic = -1;
  std::vector<int> parameters;
  std::vector<int> causes;
  std::string called, calling;
  int sccpType = -1, sccpClass = -1;
  int calledSsn = -1, callingSsn = -1;
  std::string calledGt, callingGt;
  bool operator==(const Facts&) const = default;
};

std::string describe(const Facts& f) {
  std::ostringstream s;
  s << "dpc=" << f.dpc << " opc=" << f.opc << " isup=" << f.isupType << " cic=" << f.cic << " params=";
  for (int p : f.parameters) s << p << ",";
  s << " causes=";
  for (int c : f.causes) s << c << ",";
  s << " called=" << f.called << " calling=" << f.calling << " sccp=" << f.sccpType << " class=" << f.sccpClass
    << " ssn=" << f.calledSsn << "/" << f.callingSsn << " gt=" << f.calledGt << "/" << f.callingGt;
  return s.str();
}

int hexValue(const std::string& s) { return int(std::strtol(s.c_str(), nullptr, 16)); }

const std::map<std::string, int>& sccpTypes() {
  static const std::map<std::string, int> m = {
      {"CR    SCCP Connection request", 1}, {"CC    SCCP Connection confirm", 2},
      {"CREF  SCCP Connection refused", 3}, {"RLSD  SCCP Released", 4},
      {"RLC   SCCP Release complete", 5},   {"DT1   SCCP Data form 1", 6},
      {"DT2   SCCP Data form 2", 7},        {"AK    SCCP Data acknowledgement", 8},
      {"UDT   SCCP Unitdata", 9},           {"UDTS  SCCP Unitdata service", 10},
      {"XUDT  SCCP Extended unitdata", 17}, {"XUDTS SCCP Extended unitdata service", 18},
      {"LUDT  SCCP Long unitdata", 19},     {"LUDTS SCCP Long unitdata service", 20}};
  return m;
}

Facts ourFacts(const std::string& text) {
  static const std::map<std::string, int> byName = [] {
    std::map<std::string, int> m;
    for (int c = 0; c < 256; ++c) {
      const std::string n(isupParameterName(uint8_t(c)));
      if (n != "Unknown ISUP parameter") m.emplace(n, c);
    }
    m.emplace("Range", 0x16);
    return m;
  }();
  static const std::map<std::string, int> byCause = [] {
    std::map<std::string, int> m;
    for (int v = 1; v < 128; ++v) {
      const std::string t(causeText(uint8_t(v)));
      if (t != "Reserved") m.emplace(t, v);
    }
    return m;
  }();
  Facts f;
  const std::vector<std::string> lines = splitDecodeText(text);
  if (lines.empty()) return f;
  const size_t msu = lines[0].find(" msu ");
  const std::string name = msu == std::string::npos ? "" : lines[0].substr(msu + 5);
  const bool isup = text.find("Circuit identifiction code:") != std::string::npos;
  auto it = sccpTypes().find(name);
  if (it != sccpTypes().end()) f.sccpType = it->second;
  std::string section;  // the parameter whose lines follow
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    auto after = [&](const char* caption) -> std::string {
      const size_t p = l.find(caption);
      return p == std::string::npos ? std::string() : l.substr(p + std::string(caption).size());
    };
    if (l.rfind("        Hex Dump", 0) == 0) break;
    if (l.rfind("                 ", 0) == 0 && l.size() > 17 && l[17] != ' ') {
      section = l.substr(17);
      if (isup) {
        auto n = byName.find(section);
        if (n != byName.end()) f.parameters.push_back(n->second);
      }
      continue;
    }
    std::string v;
    if (f.dpc < 0 && !(v = after("Destination point code:")).empty()) f.dpc = hexValue(v);
    if (f.opc < 0 && !(v = after("Originating point code:")).empty()) f.opc = hexValue(v);
    if (!(v = after("Circuit identifiction code:")).empty()) f.cic = hexValue(v);
    if (isup && !(v = after(" Message type:")).empty()) f.isupType = hexValue(v);
    if (!(v = after("Cause value:")).empty()) {
      auto c = byCause.find(v);
      if (c != byCause.end()) f.causes.push_back(c->second);
    }
    if (l.rfind("        Digits   ", 0) == 0) {
      const std::string d = l.substr(17);
      if (section == "Called party number") f.called = d;
      if (section == "Calling party number") f.calling = d;
      if (section == "Called party address") f.calledGt = d;
      if (section == "Calling party address") f.callingGt = d;
    }
    if (f.sccpType > 0) {
      if (section == "Protocol class" && l.find(" Class ") != std::string::npos) {
        f.sccpClass = l[l.find(" Class ") + 7] - '0';
      }
      if (!(v = after(" SSN:")).empty() || l.find(" SSN:") != std::string::npos) {
        const int ssn = int(std::strtol(l.substr(8, 8).c_str(), nullptr, 2));
        if (section == "Called party address") f.calledSsn = ssn;
        if (section == "Calling party address") f.callingSsn = ssn;
      }
    }
  }
  return f;
}

std::vector<std::string> splitOn(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

int number(const std::string& s) { return s.empty() ? -1 : int(std::strtol(s.c_str(), nullptr, 0)); }

std::vector<int> numbers(const std::string& s) {
  std::vector<int> v;
  if (s.empty()) return v;
  for (const std::string& p : splitOn(s, ',')) v.push_back(number(p));
  return v;
}

Facts tsharkFacts(const std::vector<std::string>& fields) {
  Facts f;
  f.dpc = number(fields[1]);
  f.opc = number(fields[2]);
  if (!fields[3].empty()) {
    f.isupType = number(fields[3]);
    f.cic = number(fields[4]);
    f.parameters = numbers(fields[5]);
    f.causes = numbers(fields[6]);
    f.called = fields[7];
    f.calling = fields[8];
  }
  f.sccpType = number(fields[9]);
  f.sccpClass = number(fields[10]);
  f.calledSsn = number(fields[11]);
  f.callingSsn = number(fields[12]);
  f.calledGt = fields[13];
  f.callingGt = fields[14];
  return f;
}

// Samples that both sides read fully, and generated variations. tshark
// reports cause values of ITU-T coding only, which is all that is compared.
std::vector<Bytes> oracleUnits() {
  std::vector<Bytes> units;
  for (const Bytes& u : sampleSs7Units()) {
    if (u.size() < 9) continue;
    const uint8_t si = u[3] & 0x0F;
    if (si == 5 && u[10] != 0x33 && u[10] != 0x2B) units.push_back(u);  // tshark finds FAC and CQR malformed
    if (si == 3 && u[8] != 0x13) units.push_back(u);                    // and LUDT
  }
  std::mt19937 rng(77);
  auto digits = [&](size_t n) {
    Bytes d;
    for (size_t i = 0; i < n; i += 2) d.push_back(uint8_t((rng() % 10) | ((i + 1 < n ? rng() % 10 : 0) << 4)));
    return d;
  };
  for (size_t n = 1; n <= 16; ++n) {
    Bytes called = {uint8_t((n & 1 ? 0x80 : 0) | 0x03), 0x10};
    const Bytes cd = digits(n);
    called.insert(called.end(), cd.begin(), cd.end());
    Bytes calling = {uint8_t(((n + 3) & 1 ? 0x80 : 0) | 0x04), 0x11};
    const Bytes cg = digits(n + 3);
    calling.insert(calling.end(), cg.begin(), cg.end());
    Bytes m = {0x00, 0x60, 0x01, 0x0A, 0x00, 0x02, uint8_t(2 + called.size()), uint8_t(called.size())};
    m.insert(m.end(), called.begin(), called.end());
    m.push_back(0x0A);
    m.push_back(uint8_t(calling.size()));
    m.insert(m.end(), calling.begin(), calling.end());
    m.push_back(0x00);
    units.push_back(ss7IsupUnit(uint16_t(rng() & 0x3FFF), uint16_t(rng() & 0x3FFF), uint8_t(rng() & 0x0F),
                                uint16_t(rng() & 0xFFF), 0x01, m));
  }
  for (int cause = 1; cause < 128; ++cause) {
    if (causeText(uint8_t(cause)) == "Reserved") continue;
    units.push_back(ss7IsupUnit(0x0101, 0x0202, 1, uint16_t(cause), 0x0C,
                                {0x02, 0x00, 0x02, uint8_t(0x80 | (cause % 8)), uint8_t(0x80 | cause)}));
  }
  for (size_t n = 2; n <= 14; ++n) {
    const uint8_t ssn1 = uint8_t(rng() % 15), ssn2 = uint8_t(rng() % 15);
    Bytes called = {0x12, ssn1, 0x00, uint8_t(0x10 | (n & 1 ? 1 : 2)), 0x04};
    const Bytes d = digits(n);
    called.insert(called.end(), d.begin(), d.end());
    const Bytes calling = {0x43, uint8_t(rng()), uint8_t(rng() & 0x3F), ssn2};
    Bytes m = {0x09, uint8_t(rng() & 1 ? 0x81 : 0x00), 0x03, uint8_t(3 + called.size()),
               uint8_t(3 + called.size() + calling.size())};
    m.push_back(uint8_t(called.size()));
    m.insert(m.end(), called.begin(), called.end());
    m.push_back(uint8_t(calling.size()));
    m.insert(m.end(), calling.begin(), calling.end());
    m.push_back(0x02);
    m.push_back(0x00);
    m.push_back(0x00);
    units.push_back(ss7SccpUnit(0x0300, 0x0400, 2, m));
  }
  return units;
}

TEST(Ss7TsharkOracle, PointCodesMessagesParametersCausesDigitsAndAddressesAgree) {
  const std::string tshark = findTshark();
  if (tshark.empty()) GTEST_SKIP() << "tshark not installed";
  corvane::testing::TempDir tmp("lumarc-ss7-oracle");
  ASSERT_FALSE(tmp.path().empty());
  const std::string dir = tmp.path(), pcap = dir + "/units.pcap", out = dir + "/fields.txt";
  const std::vector<Bytes> units = oracleUnits();
  ASSERT_TRUE(writeMtp2Capture(pcap, units));
  const int rc = runTool({tshark, "-n",
                          "-r",   pcap,
                          "-T",   "fields",
                          "-E",   "separator=|",
                          "-E",   "occurrence=a",
                          "-E",   "aggregator=,",
                          "-e",   "frame.number",
                          "-e",   "mtp3.dpc",
                          "-e",   "mtp3.opc",
                          "-e",   "isup.message_type",
                          "-e",   "isup.cic",
                          "-e",   "isup.parameter_type",
                          "-e",   "isup.cause_indicator",
                          "-e",   "isup.called",
                          "-e",   "isup.calling",
                          "-e",   "sccp.message_type",
                          "-e",   "sccp.class",
                          "-e",   "sccp.called.ssn",
                          "-e",   "sccp.calling.ssn",
                          "-e",   "sccp.called.digits",
                          "-e",   "sccp.calling.digits"},
                         out);
  ASSERT_EQ(rc, 0);
  std::ifstream in(out);
  std::string row;
  size_t compared = 0;
  while (std::getline(in, row)) {
    const std::vector<std::string> fields = splitOn(row, '|');
    ASSERT_EQ(fields.size(), 15u) << row;
    const size_t n = size_t(number(fields[0]));
    ASSERT_GE(n, 1u);
    ASSERT_LE(n, units.size());
    const Bytes& u = units[n - 1];
    const std::string text = decodeMonitorRecord(test::recordOf(0xF500, u));
    const Facts ours = ourFacts(text);
    const Facts theirs = tsharkFacts(fields);
    EXPECT_EQ(describe(ours), describe(theirs)) << "unit " << n << "\n" << test::visible(text);
    ++compared;
  }
  EXPECT_EQ(compared, units.size());
}

}  // namespace
}  // namespace lumarc
