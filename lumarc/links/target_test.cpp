#include "lumarc/links/target.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

struct AddressCase {
  const char* text;
  const char* host;
  uint16_t port;
  const char* password;  // nullptr: 32 blanks
  const char* access;    // 8 characters
};

TEST(AddressText, HostPortPasswordAndAccessCode) {
  const AddressCase cases[] = {
      {"192.168.1.20", "192.168.1.20", 0, nullptr, "        "},
      {"192.168.1.20:5001", "192.168.1.20", 5001, nullptr, "        "},
      {"192.168.1.20:50a01", "192.168.1.20", 5001, nullptr, "        "},
      {"10.0.0.1:9876,abcdefgh - 12AF", "10.0.0.1", 9876, "abcdefgh ", "    12AF"},
      {"10.0.0.1:9876,abcdefgh - 12af", "10.0.0.1", 9876, "abcdefgh ", "      12"},
      {"10.0.0.1:9876,abcdefgh - abcd", "10.0.0.1", 9876, "abcdefgh ", "        "},
      {"10.0.0.1,  pw-x", "10.0.0.1", 0, "pw", "        "},
      {"[fe80::1]:9876", "[fe80::1]", 9876, nullptr, "        "},
      {"[::1]", "[::1]", 0, nullptr, "        "},
      {"pbx.example.com:7000", "pbx.example.com", 7000, nullptr, "        "},
      {"  10.1.2.3  :1", "10.1.2.3", 1, nullptr, "        "},
  };
  for (const auto& c : cases) {
    ConnectionTarget t = parseAddressText(c.text);
    EXPECT_EQ(t.hostText(), c.host) << c.text;
    EXPECT_EQ(t.port(), c.port) << c.text;
    std::string pw = c.password ? c.password : "";
    pw.resize(32, ' ');
    EXPECT_EQ(t.passwordText(), pw) << c.text;
    EXPECT_EQ(t.accessCodeText(), c.access) << c.text;
  }
}

TEST(AddressText, UnusableHostsOpenNothing) {
  const char* rejected[] = {
      // clang-format off
      "fe80::1:9876",     // read as host fe80, port 9876
      "fe80::1",          // unbracketed IPv6 splits at its first colon
      "localhost",        // a host name needs a dot
      "1.2.3",            // IPv4 needs three dots
      "1.2.3.256",        // octet above 255
      "01.2.3.4x",        // letters in a dotted address
      "10.0.0.1:70000",   // port above 65535
      "[10.0.0.1]",       // brackets around IPv4
      "[fe80::1",         // unbalanced bracket
      "1pbx.example.com", // a host name starts with a letter
      // clang-format on
      "",
  };
  for (const char* text : rejected) EXPECT_EQ(parseAddressText(text).hostText(), "") << text;
}

TEST(AddressText, HostIsCutAtTheFirstForeignCharacter) {
  EXPECT_EQ(parseAddressText("pbx.example.com/x").hostText(), "pbx.example.com");
  EXPECT_EQ(parseAddressText("10.0.0.1 x").hostText(), "10.0.0.1");
}

TEST(AddressText, LongHostNamesAreCheckedInFull) {
  std::string name = "a." + std::string(200, 'b');
  EXPECT_EQ(parseAddressText(name).hostText(), name);
  std::string tooLong = "a." + std::string(300, 'b');
  EXPECT_EQ(parseAddressText(tooLong).hostText().size(), 255u);
}

TEST(AddressText, AddressBoxTextRecreatesTheTarget) {
  // clang-format off
  const char* texts[] = {"10.0.0.1:9876,secret-12AF", "[fe80::1]:5000,pw", "pbx.example.com,x-1",
                         "10.0.0.2"};
  // clang-format on
  for (const char* text : texts) {
    ConnectionTarget t = parseAddressText(text);
    ConnectionTarget again = parseAddressText(addressBoxText(t, LinkKind::Monitor));
    EXPECT_TRUE(t == again) << text << " -> " << addressBoxText(t, LinkKind::Monitor);
  }
  ConnectionTarget t = parseAddressText("10.0.0.1:1,pw");
  EXPECT_EQ(addressBoxText(t, LinkKind::Cmdr), "10.0.0.1:1");
  EXPECT_EQ(resolverHost(parseAddressText("[::1]:3")), "::1");
}

}  // namespace
}  // namespace lumarc
