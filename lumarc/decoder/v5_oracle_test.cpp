// Oracle: the code points of the V5.2 value tables against tshark's V5.2
// dissector. Every code of each table is written as one V5.2 message into a
// capture file of our own (link type USER0 mapped to "v52"), dissected by
// tshark, and compared with the text our decoder shows for the same octet.
// A code tshark calls "Unknown" must read "Reserved" here, and a named code
// must carry the same meaning; where the exchange words a text its own way,
// the difference is listed below. Skipped when tshark is not installed.
#include "common/test_support.h"
#include "lumarc/decoder/bodies.h"
#include "lumarc/decoder/context.h"
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using Body = void (*)(DecodeContext&);

struct Table {
  const char* name;
  Body body;
  uint8_t messageType;
  uint8_t element;
  unsigned first, last;
  bool extensionBit;  // value octet carries bit 7 = 1
  const char* field;  // tshark field of the value
};

const Table kTables[] = {
    {"steady signal", decodeV5Pstn, 0x02, 0x03, 0x00, 0x1F, true, "v52.steady_signal"},
    {"pulsed signal", decodeV5Pstn, 0x02, 0x02, 0x60, 0x7F, true, "v52.pulse_type"},
    {"pstn cause", decodeV5Pstn, 0x0D, 0x13, 0x00, 0x0F, true, "v52.cause_type"},
    {"control function element", decodeV5Control, 0x10, 0x20, 0x00, 0x2F, true, "v52.control_function_element"},
    {"control function id", decodeV5Control, 0x12, 0x21, 0x00, 0x27, true, "v52.control_function"},
    {"bcc reject cause", decodeV5Bcc, 0x22, 0x44, 0x00, 0x11, true, "v52.reject_cause_type"},
    {"bcc protocol error", decodeV5Bcc, 0x2A, 0x45, 0x00, 0x10, true, "v52.bcc_protocol_cause"},
    {"protection rejection", decodeV5Protection, 0x1C, 0x52, 0x00, 0x07, false, "v52.rejection_cause"},
    {"protection protocol error", decodeV5Protection, 0x1D, 0x53, 0x00, 0x10, true, "v52.error_cause"},
    {"link control function", decodeV5LinkControl, 0x30, 0x30, 0x00, 0x08, true, "v52.link_control_function"},
};

// Codes whose text is the exchange's own wording of the same meaning.
struct Wording {
  const char* table;
  unsigned code;
};
const Wording kOwnWording[] = {
    // clang-format off
    {"pulsed signal", 0x7E},      // "Pulsed reverse polarity"
    {"pstn cause", 0x03},         // "L3addr error"
    {"bcc reject cause", 0x04},   // "... ISDN user port time slot"
    {"bcc reject cause", 0x0C},   // "identification(s)"
    {"bcc reject cause", 0x0D},   // "Invalid V5.2 048 kbit/s link identification"
    {"bcc reject cause", 0x0E},   // "Invalid user port time slot(s) ..."
    {"bcc protocol error", 0x0D}, // "Too many information elements"
};
// clang-format on

bool ownWording(const Table& t, unsigned code) {
  for (const Wording& w : kOwnWording) {
    if (std::string(w.table) == t.name && w.code == code) return true;
  }
  return false;
}

// Lower-case letters and digits only, without the filler words tshark adds
// to the blocking texts ("all relevant ... and ...").
std::string normalised(const std::string& text) {
  std::string out, word;
  auto flush = [&] {
    if (word != "all" && word != "relevant" && word != "and") out += word;
    word.clear();
  };
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)))
      word += char(std::tolower(static_cast<unsigned char>(c)));
    else
      flush();
  }
  flush();
  return out;
}

// The layer 3 octets of the test message for one code.
std::vector<uint8_t> layer3(const Table& t, unsigned code) {
  return {0x48, 0x00, 0x01, t.messageType, t.element, 0x01, uint8_t(t.extensionBit ? (0x80 | code) : code)};
}

// Text our decoder shows on the value line of the message.
std::string ourText(const Table& t, unsigned code) {
  std::vector<uint8_t> bytes = {0xFC, 0xE1, 0x00, 0x01, 0x00, 0x00};
  const std::vector<uint8_t> l3 = layer3(t, code);
  bytes.insert(bytes.end(), l3.begin(), l3.end());
  DecodeContext ctx(test::recordOf(0xFD27, bytes), DecodeOptions{});
  t.body(ctx);
  const std::vector<std::string> lines = splitDecodeText(ctx.text());
  if (lines.size() < 4 || lines[3].size() < 17) return "<no value line>";
  return lines[3].substr(17);
}

void writePcap(const std::string& path, const std::vector<std::vector<uint8_t>>& packets) {
  std::ofstream f(path, std::ios::binary);
  // clang-format off
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) f.put(char(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { f.put(char(v)); f.put(char(v >> 8)); };
  // clang-format on
  u32(0xA1B2C3D4);
  u16(2);
  u16(4);
  u32(0);
  u32(0);
  u32(65535);
  u32(147);  // LINKTYPE_USER0
  for (const auto& p : packets) {
    u32(0);
    u32(0);
    u32(uint32_t(p.size()));
    u32(uint32_t(p.size()));
    f.write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
  }
}

std::string findTshark() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/tshark";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// Runs tshark on the capture and returns its PDML output.
std::string runTshark(const std::string& tshark, const std::string& pcap) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    ::close(fds[1]);
    std::FILE* devnull = std::fopen("/dev/null", "w");
    if (devnull) ::dup2(::fileno(devnull), 2);
    // clang-format off
    const char* argv[] = {tshark.c_str(), "-n", "-r", pcap.c_str(), "-o",
                          "uat:user_dlts:\"User 0 (DLT=147)\",\"v52\",\"0\",\"\",\"0\",\"\"", "-T", "pdml", nullptr};
    // clang-format on
    ::execv(tshark.c_str(), const_cast<char* const*>(argv));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string out;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return out;
}

// The value text of field in one PDML packet: showname without its bit
// pattern, label and trailing "(0x..)".
std::string tsharkText(const std::string& packet, const std::string& field) {
  const std::string key = "<field name=\"" + field + "\" showname=\"";
  size_t p = packet.find(key);
  if (p == std::string::npos) return "<missing>";
  p += key.size();
  std::string show = packet.substr(p, packet.find('"', p) - p);
  const size_t eq = show.find(" = ");
  if (eq != std::string::npos) show = show.substr(eq + 3);
  const size_t colon = show.find(": ");
  if (colon != std::string::npos) show = show.substr(colon + 2);
  const size_t hex = show.rfind(" (0x");
  if (hex != std::string::npos) show = show.substr(0, hex);
  return show;
}

TEST(V5Oracle, ValueTablesAgreeWithTsharkV52Dissector) {
  const std::string tshark = findTshark();
  if (tshark.empty()) GTEST_SKIP() << "tshark is not installed";

  std::vector<std::vector<uint8_t>> packets;
  // clang-format off
  struct Probe { const Table* table; unsigned code; };
  // clang-format on
  std::vector<Probe> probes;
  for (const Table& t : kTables) {
    for (unsigned code = t.first; code <= t.last; ++code) {
      packets.push_back(layer3(t, code));
      probes.push_back({&t, code});
    }
  }
  std::string pdml;
  {
    corvane::testing::TempDir dir("v5_oracle");
    const std::string pcap = dir.file("v52.pcap");
    writePcap(pcap, packets);
    pdml = runTshark(tshark, pcap);
  }

  std::vector<std::string> dissected;
  for (size_t p = pdml.find("<packet>"); p != std::string::npos;) {
    const size_t next = pdml.find("<packet>", p + 8);
    dissected.push_back(pdml.substr(p, next == std::string::npos ? std::string::npos : next - p));
    p = next;
  }
  if (dissected.size() != probes.size()) GTEST_SKIP() << "tshark gave " << dissected.size() << " packets";

  int named = 0;
  for (size_t i = 0; i < probes.size(); ++i) {
    const Table& t = *probes[i].table;
    const unsigned code = probes[i].code;
    const std::string theirs = tsharkText(dissected[i], t.field);
    const std::string ours = ourText(t, code);
    if (theirs == "Unknown") {
      EXPECT_EQ(ours, "Reserved") << t.name << " code " << code << " has no meaning in the dissector";
      continue;
    }
    EXPECT_NE(ours, "Reserved") << t.name << " code " << code << " is \"" << theirs << "\" in the dissector";
    if (ownWording(t, code)) continue;
    ++named;
    EXPECT_EQ(normalised(ours), normalised(theirs))
        << t.name << " code " << code << ": \"" << ours << "\" vs \"" << theirs << "\"";
  }
  EXPECT_GT(named, 100);
}

}  // namespace
}  // namespace lumarc
