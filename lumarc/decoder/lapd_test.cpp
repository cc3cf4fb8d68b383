// LAPD address and control fields, TEI management, the V5.2 envelope with
// LAPV5 and relayed frames, and line-activation primitives.
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/test_support.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

using test::kHeader;
using test::recordOf;
using test::visible;

const DecodeOptions kLayer2On{true};
const DecodeOptions kLayer2Off{false};

std::string dumpOf(const std::vector<uint8_t>& bytes) {
  std::string s = "|        Hex Dump ";
  static const char* hex = "0123456789ABCDEF";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0 && i % 16 == 0) s += "|" + std::string(17, ' ');
    s += hex[bytes[i] >> 4];
    s += hex[bytes[i] & 15];
    s += ' ';
  }
  return s;
}

struct FrameCase {
  const char* what;
  std::vector<uint8_t> bytes;
  DecodeOptions options;
  const char* body;  // text after "RCV PKT " up to the hex dump; nullptr: no line at all
};

TEST(LapdFrames, AddressControlAndNamesDecodeAsExpected) {
  const FrameCase cases[] = {
      {"RR with layer 2 on", {0x00, 0x01, 0x01, 0x05}, kLayer2On, "Sapi=00 Tei=00 C/R=0 P/F=1 RR    NR=02"},
      {"RNR", {0x02, 0x03, 0x05, 0x10}, kLayer2On, "Sapi=00 Tei=01 C/R=1 P/F=0 RNR   NR=08"},
      {"REJ", {0x04, 0x05, 0x09, 0x03}, kLayer2On, "Sapi=01 Tei=02 C/R=0 P/F=1 REJ   NR=01"},
      {"RR too short for its NR", {0x00, 0x01, 0x01}, kLayer2On, "Sapi=00 Tei=00 C/R=0"},
      {"supervisory with other bits is unnamed", {0x00, 0x01, 0x0D, 0x05}, kLayer2On, "Sapi=00 Tei=00 C/R=0"},
      {"SABME", {0x00, 0x01, 0x7F}, kLayer2On, "Sapi=00 Tei=00 C/R=0 P/F=1 SABME"},
      {"DM", {0x00, 0x01, 0x0F}, kLayer2On, "Sapi=00 Tei=00 C/R=0 P/F=0 DM   "},
      {"DISC", {0x00, 0x01, 0x53}, kLayer2On, "Sapi=00 Tei=00 C/R=0 P/F=1 DISC "},
      {"UA", {0x00, 0x01, 0x73}, kLayer2On, "Sapi=00 Tei=00 C/R=0 P/F=1 UA   "},
      {"FRMR is 0x87", {0x00, 0x01, 0x87}, kLayer2On, "Sapi=00 Tei=00 C/R=0 P/F=0 FRMR "},
      {"0x83 has no name", {0x00, 0x01, 0x83}, kLayer2On, "Sapi=00 Tei=00 C/R=0 P/F=0"},
      {"XID", {0x00, 0x01, 0xAF}, kLayer2On, "Sapi=00 Tei=00 C/R=0 P/F=0 XID  "},
      {"UI of exactly 3 bytes has no name", {0x00, 0x01, 0x03}, kLayer2On, "Sapi=00 Tei=00 C/R=0 P/F=0"},
      {"UI with a message of another protocol",
       {0x00, 0x01, 0x03, 0x41},
       kLayer2On,
       "Sapi=00 Tei=00 C/R=0 P/F=0 UI   "},
      {"I frame", {0x00, 0x01, 0x04, 0x07, 0x41, 0x00}, kLayer2Off, "Sapi=00 Tei=00 C/R=0 P/F=1 INFO  NR=03 NS=02"},
      {"I frame of 5 bytes", {0x00, 0x01, 0x04, 0x07, 0x08}, kLayer2Off, "Sapi=00 Tei=00 C/R=0"},
      {"address extension wrong in octet 1", {0x01, 0x01, 0x00, 0x00, 0x08, 0x00}, kLayer2Off, ""},
      {"address extension wrong in octet 2", {0x00, 0x00, 0x00, 0x00, 0x08, 0x00}, kLayer2Off, ""},
      {"two bytes only", {0x00, 0x01}, kLayer2Off, ""},
      {"RR with layer 2 off", {0x00, 0x01, 0x01, 0x05}, kLayer2Off, nullptr},
      {"SABME with layer 2 off", {0x00, 0x01, 0x7F}, kLayer2Off, nullptr},
      {"UI with layer 2 off", {0x00, 0x01, 0x03, 0x08, 0x01, 0x01, 0x45}, kLayer2Off, nullptr},
  };
  for (const auto& c : cases) {
    std::string text = decodeMonitorRecord(recordOf(0xFD00, c.bytes), c.options);
    if (!c.body) {
      EXPECT_EQ(text, "") << c.what;
      continue;
    }
    EXPECT_EQ(visible(text), kHeader + "RCV PKT " + c.body + dumpOf(c.bytes)) << c.what;
  }
}

TEST(LapdFrames, UiFrameCarriesCallControlFromOffset3) {
  std::vector<uint8_t> bytes = {0x00, 0x01, 0x03, 0x08, 0x01, 0x01, 0x45};
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFC00, bytes), kLayer2On)),
            kHeader + "XMT PKT Sapi=00 Tei=00 C/R=0 P/F=0 UI    Ptcl=08|" + std::string(17, ' ') +
                "Cref=o01   DISCONNECT" + dumpOf(bytes));
}

TEST(LapdFrames, IFrameCarriesCallControlFromOffset4) {
  std::vector<uint8_t> bytes = {0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x81, 0x05, 0xA1};
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFD00, bytes))),
            kHeader + "RCV PKT Sapi=00 Tei=00 C/R=0 P/F=0 INFO  NR=00 NS=00 Ptcl=08|" + std::string(17, ' ') +
                "Cref=d01   SETUP|" + std::string(17, ' ') + "Sending Complete" + dumpOf(bytes));
}

struct TeiCase {
  const char* what;
  std::vector<uint8_t> bytes;
  const char* body;  // after " UI|" and 28 blanks
};

TEST(TeiManagement, MessagesReferenceAndActionIndicator) {
  const std::string l = "|" + std::string(22, ' ');
  const TeiCase cases[] = {
      // clang-format off
      {"identity request", {0xFC, 0xFF, 0x03, 0x0F, 0x12, 0x34, 0x01, 0xFF},
       "IDENTITY REQUEST"},
      // clang-format on
      {"identity assigned", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x07, 0x02, 0x81}, "IDENTITY ASSIGNED"},
      {"identity denied, Ai 127", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x01, 0x03, 0xFF}, "IDENTITY DENIED"},
      {"identity denied, Ai 80", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x01, 0x03, 0xA1}, "IDENTITY DENIED"},
      {"identity denied, Ai 10", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x01, 0x03, 0x15}, "IDENTITY DENIED"},
      {"check request with Ri stops", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x01, 0x04, 0xFF}, "IDENTITY CHECK REQUEST"},
      {"check request, all", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x00, 0x04, 0xFF}, "IDENTITY CHECK REQUEST"},
      {"check response", {0xFC, 0xFF, 0x03, 0x0F, 0xAB, 0xCD, 0x05, 0x21}, "IDENTITY CHECK RESPONSE"},
      {"remove all", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x00, 0x06, 0xFF}, "IDENTITY REMOVE"},
      {"verify", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x00, 0x07, 0x85}, "IDENTITY VERIFY"},
      {"unknown type", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x00, 0x08, 0xFF}, ""},
      {"other entity", {0xFC, 0xFF, 0x03, 0x0E, 0x00, 0x00, 0x01, 0xFF}, "IDENTITY REQUEST"},
      {"too short", {0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x00, 0x01}, ""},
  };
  const std::string tails[] = {
      l + "Layer management entity identifier=0xf" + l + "Reference number=1234" + l +
          "Action indicator=7F,Any TEI value acceptible",
      l + "Layer management entity identifier=0xf" + l + "Reference number=0007" + l +
          "Action indicator=40,Assigned TEI value",
      l + "Layer management entity identifier=0xf" + l + "Reference number=0001" + l +
          "Action indicator=7F,No TEI value available",
      l + "Layer management entity identifier=0xf" + l + "Reference number=0001" + l +
          "Action indicator=50,Denied TEI value",
      l + "Layer management entity identifier=0xf" + l + "Reference number=0001" + l + "Action indicator=0A",
      l + "Layer management entity identifier=0xf" + l + "Reference number=0001",
      l + "Layer management entity identifier=0xf" + l + "Reference number=0000" + l +
          "Action indicator=7F,Check all TEI values",
      l + "Layer management entity identifier=0xf" + l + "Reference number=ABCD" + l +
          "Action indicator=10,TEI value in use",
      l + "Layer management entity identifier=0xf" + l + "Reference number=0000" + l +
          "Action indicator=7F,Request for removal of all TEI values",
      l + "Layer management entity identifier=0xf" + l + "Reference number=0000" + l +
          "Action indicator=42,TEI value to be checked",
      "",
      "",
      "",
  };
  size_t k = 0;
  for (const auto& c : cases) {
    std::string text = visible(decodeMonitorRecord(recordOf(0xFD00, c.bytes), kLayer2On));
    EXPECT_EQ(text, kHeader + "RCV PKT Sapi=3F Tei=7F C/R=0 P/F=0 UI|" + std::string(28, ' ') + c.body + tails[k] +
                        dumpOf(c.bytes))
        << c.what;
    ++k;
  }
}

TEST(TeiManagement, HiddenWhenLayer2DecodingIsOff) {
  EXPECT_EQ(decodeMonitorRecord(recordOf(0xFD00, {0xFC, 0xFF, 0x03, 0x0F, 0x12, 0x34, 0x01, 0xFF}), kLayer2Off), "");
}

const std::string kCont = "|" + std::string(17, ' ');

// The V5.2 layer 3 message itself is decoded by its own family: here only
// the envelope, LAPV5 and address part before it and the dump after it count.
void expectAroundLayer3(const std::string& text, const std::string& before, const std::string& dump) {
  const std::string v = visible(text);
  EXPECT_EQ(v.substr(0, before.size()), before);
  ASSERT_GE(v.size(), dump.size());
  EXPECT_EQ(v.substr(v.size() - dump.size()), dump);
}

TEST(V5Envelope, ControlProtocolInformationFrameShowsLayer3Address) {
  std::vector<uint8_t> bytes = {0xFC, 0xE3, 0xFC, 0xE3, 0x00, 0x02, 0x48, 0x00, 0x03, 0x11};
  expectAroundLayer3(decodeMonitorRecord(recordOf(0xFD27, bytes)),
                     kHeader + "RCV V5.2An " + kCont + "Port:1FF1 C/R:0 Control protocol" + kCont + "Port:1FF1 C/R:0" +
                         " P/F=0 INFO  NR=01 NS=00" + kCont + "Ptcl:48   C/R:0 ISDNa:0001   Spare field ok  ",
                     dumpOf(bytes));
}

TEST(V5Envelope, Layer3AddressFormsPerProtocol) {
  // clang-format off
  struct Case { uint8_t b1; uint8_t b7; uint8_t b8; uint8_t b9; const char* name; const char* address; } cases[] = {
      // clang-format on
      {0xE1, 0x03, 0x04, 0x00, "PSTN signalling", "PSTNa:0104  "},
      {0xE1, 0x02, 0x04, 0x00, "PSTN signalling", "Invld:0104  "},
      {0xE3, 0x05, 0x10, 0x00, "Control protocol", "PSTNa:0210  "},
      {0xE3, 0xFC, 0xE3, 0x00, "Control protocol", "CommC:1FF1  "},
      {0xE5, 0x81, 0x05, 0x00, "BCC protocol", "BCCno:AN0045"},
      {0xE5, 0x01, 0x05, 0x00, "BCC protocol", "BCCno:LE0045"},
      {0xE7, 0x12, 0x34, 0x00, "Protection protocol", "LChId:1234  "},
      {0xE9, 0x00, 0x07, 0x00, "Link control protocol", "LnkId:0007  "},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = {0xFC, c.b1, 0x00, 0x01, 0x00, 0x00, 0x48, c.b7, c.b8, c.b9};
    const unsigned ef = (0xFCu >> 2) << 7 | unsigned(c.b1 >> 1);
    char port[5];
    std::snprintf(port, sizeof port, "%04X", ef);
    SCOPED_TRACE(c.address);
    expectAroundLayer3(decodeMonitorRecord(recordOf(0xFC26, bytes)),
                       kHeader + "XMT V5.2Le " + kCont + "Port:" + port + " C/R:0 " + c.name + kCont +
                           "Port:0000 C/R:0" + " P/F=0 INFO  NR=00 NS=00" + kCont + "Ptcl:48   C/R:0 " + c.address +
                           " Spare field ok  ",
                       dumpOf(bytes));
  }
}

TEST(V5Envelope, SpareBitOfMessageTypeAndOtherProtocols) {
  std::vector<uint8_t> ill = {0xFC, 0xE9, 0x00, 0x01, 0x00, 0x00, 0x48, 0x00, 0x07, 0x80};
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFD26, ill))),
            kHeader + "RCV V5.2Le " + kCont + "Port:1FF4 C/R:0 Link control protocol" + kCont + "Port:0000 C/R:0" +
                " P/F=0 INFO  NR=00 NS=00" + kCont + "Ptcl:48   C/R:0 LnkId:0007   Spare field ill" + dumpOf(ill));
  std::vector<uint8_t> other = {0xFC, 0xE9, 0x00, 0x01, 0x00, 0x00, 0x47, 0x00, 0x07, 0x80};
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFD26, other))),
            kHeader + "RCV V5.2Le " + kCont + "Port:1FF4 C/R:0 Link control protocol" + kCont + "Port:0000 C/R:0" +
                " P/F=0 INFO  NR=00 NS=00" + kCont + "Ptcl:47   " + dumpOf(other));
}

TEST(V5Envelope, Lapv5SupervisoryFramesFollowTheLayer2Option) {
  std::vector<uint8_t> rr = {0xFC, 0xE3, 0xFC, 0xE3, 0x01, 0x03};
  EXPECT_EQ(decodeMonitorRecord(recordOf(0xFD27, rr), kLayer2Off), "");
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFD27, rr), kLayer2On)),
            kHeader + "RCV V5.2An " + kCont + "Port:1FF1 C/R:0 Control protocol" + kCont + "Port:1FF1 C/R:0" +
                " P/F=1 RR    NR=01" + dumpOf(rr));
  std::vector<uint8_t> ui = {0xFC, 0xE3, 0xFC, 0xE3, 0x13, 0x03};
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFD27, ui), kLayer2On)),
            kHeader + "RCV V5.2An " + kCont + "Port:1FF1 C/R:0 Control protocol" + kCont + "Port:1FF1 C/R:0" +
                " P/F=1 UI   " + dumpOf(ui));
}

TEST(V5Envelope, RelayedIsdnFrameShowsOnlyItsOwnDump) {
  std::vector<uint8_t> bytes = {0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x08, 0x00, 0x7B};
  std::vector<uint8_t> relayed(bytes.begin() + 2, bytes.end());
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFD27, bytes))),
            kHeader + "RCV V5.2An " + kCont + "Port:0001 C/R:0 ISDN LAPD Frame relay" + kCont +
                "Sapi=00 Tei=00 C/R=0 P/F=0 INFO  NR=00 NS=00 Ptcl=08|" + std::string(17, ' ') +
                "Cref=Dummy INFORMATION" + dumpOf(relayed));
}

TEST(V5Envelope, InvalidAddressesAndShortFrames) {
  std::vector<uint8_t> high = {0xFC, 0xFD, 0x00, 0x01, 0x00};
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFD27, high))),
            kHeader + "RCV V5.2An " + kCont + "Port:1FFE C/R:0 Invalid port address" + dumpOf(high));
  std::vector<uint8_t> userCr = {0x02, 0x03, 0x00, 0x01, 0x00};
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFD27, userCr))),
            kHeader + "RCV V5.2An " + kCont + "Port:0001 C/R:1 Invalid port address" + dumpOf(userCr));
  std::vector<uint8_t> shortFrame = {0xFC, 0xE3, 0xFC, 0xE3};
  EXPECT_EQ(visible(decodeMonitorRecord(recordOf(0xFD27, shortFrame))), kHeader + "RCV V5.2An " + dumpOf(shortFrame));
}

struct PhCase {
  int32_t type;
  int32_t ptyp;
  int32_t ind;
  const char* text;  // nullptr: no line
};

TEST(LineActivation, TextsChosenByInterfaceType) {
  const PhCase cases[] = {
      {0xFB00, 0x12, 0x07, "U activation request"},
      {0xFB00, 0x11, 0x08, "Activation command, Priority 8"},
      {0xFB00, 0x10, 0x0C, "Activate indication"},
      {0xFB00, 0x10, 0x1F, "Deactivate confirmation"},
      {0xFB00, 0x12, 0x02, ""},
      {0xFA00, 0x12, 0x05, "Error indication 2 (error on S/T)"},
      {0xFA00, 0x11, 0x0C, "INFO 4 received, Priority 8 or 9"},
      {0xFA00, 0x10, 0x00, "Timing"},
      {0xFA00, 0x10, 0x0B, "Code violation received"},
      {0xFA00, 0x12, 0x06, ""},
      {0xFA00, 0x13, 0x00, nullptr},
      {0xFB00, 0x0F, 0x01, nullptr},
  };
  for (const auto& c : cases) {
    MonitorRecord r = recordOf(c.type, {});
    r.ptyp = c.ptyp;
    r.ind = c.ind;
    std::string text = decodeMonitorRecord(r);
    if (!c.text) {
      EXPECT_EQ(text, "") << c.ptyp;
      continue;
    }
    char ind[5];
    std::snprintf(ind, sizeof ind, "%04X", unsigned(c.ind));
    EXPECT_EQ(text, kHeader + (c.type == 0xFB00 ? "PH REQ  " : "PH IND  ") + ind + std::string(21, ' ') + c.text)
        << c.ptyp << " " << c.ind;
  }
}

}  // namespace
}  // namespace lumarc
