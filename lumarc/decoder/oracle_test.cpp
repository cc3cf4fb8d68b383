// Oracle comparison with tshark: the sample ISDN frames and generated
// variations are written to a capture with text2pcap (raw LAPD link type)
// and dissected by tshark; message types, variable-length element
// identifiers, cause values and number digits must agree with ours.
// Skipped when tshark or text2pcap is not installed.
#include "common/test_support.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/q931.h"
#include "lumarc/decoder/samples/sample_frames.h"
#include "lumarc/decoder/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace lumarc {
namespace {

using Bytes = std::vector<uint8_t>;

std::string findTool(const char* name) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
    std::string p = std::string(dir) + name;
    if (access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

// Runs a program with stdout to outFile; returns its exit status.
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

// What both sides agree on for one message.
struct Facts {
  int messageType = -1;
  std::vector<int> elements;  // variable-length element identifiers, in order
  std::vector<int> causes;
  std::vector<std::string> digits;  // sorted
  bool operator==(const Facts&) const = default;
};

std::string describe(const Facts& f) {
  std::ostringstream s;
  s << "type=" << f.messageType << " elements=";
  for (int e : f.elements) s << e << ",";
  s << " causes=";
  for (int c : f.causes) s << c << ",";
  s << " digits=";
  for (const auto& d : f.digits) s << d << ",";
  return s.str();
}

// Facts read back from our decode text.
Facts ourFacts(const std::string& text) {
  static const std::map<std::string, int> byName = [] {
    std::map<std::string, int> m;
    for (int id = 0; id < 0x80; ++id) m.emplace(std::string(elementName(uint8_t(id))), id);
    return m;
  }();
  static const std::map<std::string, int> byMessage = [] {
    std::map<std::string, int> m;
    for (int t = 0; t < 256; ++t) {
      auto n = messageTypeName(uint8_t(t));
      if (!n.empty()) m.emplace(std::string(n), t);
    }
    return m;
  }();
  static const std::map<std::string, int> byCause = [] {
    std::map<std::string, int> m;
    for (int v = 1; v < 128; ++v) {
      std::string t(causeText(uint8_t(v)));
      if (t != "Reserved") m.emplace(t, v);
    }
    return m;
  }();
  Facts f;
  bool inCause = false;
  bool inFacility = false;  // tshark reports facility contents under Q.932, not Q.931
  for (const std::string& line : splitDecodeText(text)) {
    size_t cref = line.find("Cref=");
    if (cref != std::string::npos) {
      std::string rest = line.substr(cref + 5);
      rest = rest.size() > 6 ? rest.substr(6) : "";
      auto it = byMessage.find(rest);
      if (it != byMessage.end()) f.messageType = it->second;
      continue;
    }
    if (line.rfind("        Len=", 0) == 0 && line.size() > 17) {
      std::string name = line.substr(17);
      inCause = name == "Cause";
      inFacility = name.rfind("Facility", 0) == 0;
      if (inFacility) continue;
      auto it = byName.find(name);
      if (it != byName.end()) f.elements.push_back(it->second);
      continue;
    }
    if (line.rfind("        Digits   ", 0) == 0) {
      if (!inFacility && line.size() > 17) f.digits.push_back(line.substr(17));
      continue;
    }
    // tshark lists the element named by cause diagnostics among the elements.
    const size_t diag = line.find("Diagnostics: ");
    if (inCause && diag != std::string::npos && line.size() > diag + 13) {
      auto it = byName.find(line.substr(diag + 13));
      if (it != byName.end()) f.elements.push_back(it->second);
      continue;
    }
    if (inCause && line.size() > 17 && line.rfind("        ", 0) == 0 && line[8] != ' ') {
      const std::string text17 = line.substr(17);
      if (text17.rfind("Not Continued,", 0) == 0) {
        auto it = byCause.find(text17.substr(14));
        if (it != byCause.end()) f.causes.push_back(it->second);
      }
    }
  }
  std::sort(f.digits.begin(), f.digits.end());
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

int number(const std::string& s) { return int(std::strtol(s.c_str(), nullptr, 0)); }

// Variations of the samples: other call references, digits and causes.
std::vector<Bytes> oracleFrames() {
  std::vector<Bytes> frames;
  for (const Bytes& f : sampleIsdnFrames()) {
    if (f.size() >= 8 && (f[2] & 0x01) == 0 && f[4] == 0x08) frames.push_back(f);
  }
  std::mt19937 rng(99);
  const int causes[] = {1, 16, 17, 18, 19, 21, 27, 28, 31, 34, 41, 44, 47, 58, 65, 81, 88, 96, 100, 102, 111, 127};
  for (int cause : causes) {
    frames.push_back(
        {0x00, 0x01, 0x02, 0x04, 0x08, 0x01, uint8_t(rng() & 0xFF), 0x45, 0x08, 0x02, 0x81, uint8_t(0x80 | cause)});
  }
  for (int n = 1; n <= 20; ++n) {
    Bytes el = {0x70, uint8_t(n + 1), 0x81};
    for (int i = 0; i < n; ++i) el.push_back(uint8_t('0' + rng() % 10));
    Bytes cl = {0x6C, uint8_t(n + 2), 0x21, 0x80};
    for (int i = 0; i < n; ++i) cl.push_back(uint8_t('0' + rng() % 10));
    Bytes fr = {0x00, 0x01, 0x02, 0x04, 0x08, 0x02, uint8_t(rng() & 0x7F), uint8_t(rng() & 0xFF), 0x05, 0x04, 0x03,
                0x80, 0x90, 0xA3, 0x18, 0x01, 0x8A};
    fr.insert(fr.end(), cl.begin(), cl.end());
    fr.insert(fr.end(), el.begin(), el.end());
    frames.push_back(fr);
  }
  return frames;
}

TEST(TsharkOracle, MessageTypesElementsCausesAndDigitsAgree) {
  const std::string tshark = findTool("tshark"), text2pcap = findTool("text2pcap");
  if (tshark.empty() || text2pcap.empty()) GTEST_SKIP() << "tshark or text2pcap not installed";
  corvane::testing::TempDir tmp("lumarc-oracle");
  ASSERT_FALSE(tmp.path().empty());
  const std::string dir = tmp.path(), hex = dir + "/frames.txt", pcap = dir + "/frames.pcap", out = dir + "/fields.txt";
  const std::vector<Bytes> frames = oracleFrames();
  {
    std::ofstream h(hex);
    for (const Bytes& f : frames) {
      h << "0000";
      char b[4];
      for (uint8_t x : f) {
        std::snprintf(b, sizeof b, " %02x", x);
        h << b;
      }
      h << "\n";
    }
  }
  ASSERT_EQ(runTool({text2pcap, "-q", "-l", "203", hex, pcap}, dir + "/text2pcap.out"), 0);
  ASSERT_EQ(runTool({tshark, "-n",
                     "-r",   pcap,
                     "-T",   "fields",
                     "-E",   "separator=/t",
                     "-E",   "occurrence=a",
                     "-E",   "aggregator=/s",
                     "-e",   "frame.number",
                     "-e",   "q931.message_type",
                     "-e",   "q931.information_element",
                     "-e",   "q931.cause_value",
                     "-e",   "q931.called_party_number.digits",
                     "-e",   "q931.calling_party_number.digits",
                     "-e",   "q931.connected_number.digits",
                     "-e",   "q931.redirecting_number.digits"},
                    out),
            0);
  std::ifstream in(out);
  std::string line;
  size_t compared = 0;
  while (std::getline(in, line)) {
    std::vector<std::string> fields = splitOn(line, '\t');
    if (fields.size() < 8) continue;
    const size_t frameNo = size_t(number(fields[0]));
    ASSERT_GE(frameNo, 1u);
    ASSERT_LE(frameNo, frames.size());
    Facts theirs;
    if (!fields[1].empty()) theirs.messageType = number(splitOn(fields[1], ' ')[0]);
    if (!fields[2].empty()) {
      for (const auto& e : splitOn(fields[2], ' ')) {
        const int id = number(e);
        if (id < 0x80 && id != 0x1C) theirs.elements.push_back(id);
      }
    }
    if (!fields[3].empty()) {
      for (const auto& c : splitOn(fields[3], ' ')) theirs.causes.push_back(number(c));
    }
    for (size_t k = 4; k < 8; ++k) {
      if (!fields[k].empty()) {
        for (const auto& d : splitOn(fields[k], ' ')) theirs.digits.push_back(d);
      }
    }
    std::sort(theirs.digits.begin(), theirs.digits.end());
    const Facts ours = ourFacts(decodeMonitorRecord(test::recordOf(0xFD00, frames[frameNo - 1])));
    EXPECT_EQ(describe(ours), describe(theirs)) << "frame " << frameNo;
    ++compared;
  }
  EXPECT_EQ(compared, frames.size());
}

}  // namespace
}  // namespace lumarc
