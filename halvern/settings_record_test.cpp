#include "halvern/command_line.h"
#include "halvern/profiles.h"
#include "halvern/settings_record.h"

#include "common/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace halvern {
namespace {

using corvane::testing::readAll;
using corvane::testing::TempDir;
using corvane::testing::writeAll;

SettingsRecord sampleRecord() {
  SettingsRecord s;
  s.setLanguage(2);
  s.setTag(0, 0, "Reception");
  s.setTag(3, 29, std::string(40, 'x'));
  AccountBlock a;
  a.setHost("192.0.2.7");
  a.setAccountId("204");
  a.setAuthId("auth204");
  a.setPassword("secret");
  s.setAccount(a);
  s.setRectangle({-10, 20, 300, 400});
  return s;
}

unsigned fileMode(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 0777;
}

// --- Settings.bin ---------------------------------------------------------

TEST(SettingsFile, SavedSettingsComeBackWholeAfterRestart) {
  TempDir dir;
  SettingsRecord s = sampleRecord();
  ASSERT_TRUE(saveSettingsRecord(s, dir.path()));
  EXPECT_EQ(readAll(dir.file("Settings.bin")).size(), 7994u);
  EXPECT_EQ(fileMode(dir.file("Settings.bin")), 0600u);
  SettingsRecord back;
  ASSERT_TRUE(loadSettingsRecord(back, dir.path()));
  EXPECT_EQ(back, s);
  EXPECT_EQ(back.tag(0, 0), "Reception");
  EXPECT_EQ(back.tag(3, 29), std::string(31, 'x'));
  EXPECT_EQ(back.account().password(), "secret");
  EXPECT_EQ(back.rectangle(), (WindowRect{-10, 20, 300, 400}));
}

TEST(SettingsFile, DamagedFileLeavesDefaultsInsteadOfGarbage) {
  const std::string good = sampleRecord().encode();
  std::string badSum = good;
  badSum[7992] ^= 1;
  std::string bitFlip = good;
  bitFlip[100] ^= 1;
  struct Case {
    const char* what;
    std::string image;
  };
  const std::vector<Case> cases = {
      {"one byte short", good.substr(0, 7993)},
      {"one byte over", good + "0"},
      {"wrong check word", badSum},
      {"changed content", bitFlip},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ASSERT_TRUE(writeAll(dir.file("Settings.bin"), c.image));
    SettingsRecord s = SettingsRecord::defaults(1, AccountBlock{});
    EXPECT_FALSE(loadSettingsRecord(s, dir.path())) << c.what;
    EXPECT_EQ(s, SettingsRecord::defaults(1, AccountBlock{})) << c.what;
  }
}

TEST(SettingsFile, CharactersOutsideTheNibbleRangeUseTheirLowBitsAndLargeSumsWrap) {
  // Every byte 0xFF: the sum 3996 * 255 is above 65535 and keeps its low 16 bits.
  SettingsRecord s;
  std::fill_n(s.data(), kSettingsRecordSize, 0xFF);
  std::string image = s.encode();
  EXPECT_EQ(uint8_t(image[7992]) | uint8_t(image[7993]) << 8, (3996 * 255) & 0xFFFF);
  image[0] = char(0x7F);  // low nibble still 0xF
  image[1] = char(0xEF);  // high nibble still 0xF
  SettingsRecord back;
  ASSERT_TRUE(back.decode(image));
  EXPECT_EQ(back, s);
}

TEST(SettingsFile, FailedSaveKeepsThePreviousFile) {
  TempDir dir;
  ASSERT_TRUE(saveSettingsRecord(sampleRecord(), dir.path()));
  const std::string before = readAll(dir.file("Settings.bin"));
  // A directory in the way of the temporary file makes the write fail.
  ASSERT_EQ(::mkdir(dir.file("Settings.bin.tmp").c_str(), 0700), 0);
  EXPECT_FALSE(saveSettingsRecord(SettingsRecord{}, dir.path()));
  EXPECT_EQ(readAll(dir.file("Settings.bin")), before);
  SettingsRecord back;
  EXPECT_TRUE(loadSettingsRecord(back, dir.path()));
  EXPECT_EQ(back, sampleRecord());
}

TEST(SettingsFile, LanguageFollowsTheLocale) {
  struct Case {
    const char* locale;
    std::uint16_t language;
  };
  for (const Case& c : {Case{"tr_TR.UTF-8", 1}, Case{"TR", 1}, Case{"pl_PL", 2}, Case{"hu_HU", 3}, Case{"de_DE", 0},
                        Case{"C", 0}, Case{"", 0}})
    EXPECT_EQ(languageFromLocale(c.locale), c.language) << c.locale;
}

// --- command line ---------------------------------------------------------

TEST(CommandLine, OverridesOnlyTheFieldsThatFit) {
  AccountBlock stored;
  stored.setHost("10.0.0.1");
  stored.setAccountId("100");
  stored.setAuthId("u100");
  stored.setPassword("pw");
  struct Case {
    const char* line;
    const char* host;
    const char* account;
    const char* auth;
    const char* password;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"-C204 -I192.0.2.9",          "192.0.2.9", "204", "u100", "pw"},
      {"ignored text -c204",         "10.0.0.1",  "204", "u100", "pw"},
      {"-Uuser -Pnew",               "10.0.0.1",  "100", "user", "new"},
      {"-X123 - -C -I",              "10.0.0.1",  "100", "u100", "pw"},
      {"-C123456789012345678901234", "10.0.0.1",  "100", "u100", "pw"},  // 24: too long
      {"-C12345678901234567890123",  "10.0.0.1",  "12345678901234567890123", "u100", "pw"},
      {"-Ppassword12345678",         "10.0.0.1",  "100", "u100", "pw"},  // 16: too long
      {"-Ipbx-east",                 "pbx",       "100", "u100", "pw"},  // cut at the dash
      {"no options at all",          "10.0.0.1",  "100", "u100", "pw"},
  };
  // clang-format on
  for (const Case& c : cases) {
    AccountBlock a = stored;
    applyCommandLine(c.line, a);
    EXPECT_EQ(a.host(), c.host) << c.line;
    EXPECT_EQ(a.accountId(), c.account) << c.line;
    EXPECT_EQ(a.authId(), c.auth) << c.line;
    EXPECT_EQ(a.password(), c.password) << c.line;
  }
}

TEST(CommandLine, ProgramSwitchesNeverReachTheAccountOptions) {
  const char* argv[] = {"halvern", "--headless", "-C204", "--audio", "null", "-I127.0.0.1"};
  ProgramOptions o = takeProgramOptions(6, argv);
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.audio, "null");
  EXPECT_EQ(joinArguments(o.arguments), "-C204 -I127.0.0.1");
  AccountBlock a;
  applyCommandLine(joinArguments(o.arguments), a);
  EXPECT_EQ(a.accountId(), "204");
  EXPECT_EQ(a.host(), "127.0.0.1");
}

// --- profiles -------------------------------------------------------------

TEST(Profiles, SavedProfileLoadsBackAndIsPrivate) {
  TempDir dir;
  AccountBlock a = sampleRecord().account();
  ASSERT_TRUE(saveProfile(dir.path(), "Office", a));
  const std::string path = dir.file("Office.ads");
  EXPECT_EQ(readAll(path).size(), 128u);
  EXPECT_EQ(fileMode(path), 0600u);
  AccountBlock b;
  b.bytes[0] = 0x55;  // the reserved head is not part of a profile
  ASSERT_TRUE(loadProfile(path, b));
  EXPECT_EQ(b.host(), "192.0.2.7");
  EXPECT_EQ(b.accountId(), "204");
  EXPECT_EQ(b.authId(), "auth204");
  EXPECT_EQ(b.password(), "secret");
  EXPECT_EQ(b.bytes[0], 0x55);
  ASSERT_TRUE(deleteProfile(path));
  EXPECT_TRUE(listProfiles(dir.path()).empty());
}

TEST(Profiles, FilesOfAnotherSizeAreNeitherListedNorLoaded) {
  TempDir dir;
  ASSERT_TRUE(writeAll(dir.file("Home.ads"), std::string(128, 'h')));
  ASSERT_TRUE(writeAll(dir.file("Big.ads"), std::string(129, 'b')));
  ASSERT_TRUE(writeAll(dir.file("Small.ads"), std::string(127, 's')));
  ASSERT_TRUE(writeAll(dir.file("Dotted.v2.ADS"), std::string(128, 'd')));
  ASSERT_TRUE(writeAll(dir.file("Other.txt"), std::string(128, 'o')));
  std::vector<std::string> names;
  for (const ProfileEntry& p : listProfiles(dir.path())) names.push_back(p.name + "|" + p.fileName);
  EXPECT_EQ(names, (std::vector<std::string>{"Dotted|Dotted.v2.ADS", "Home|Home.ads"}));
  AccountBlock a;
  a.setHost("kept");
  EXPECT_FALSE(loadProfile(dir.file("Big.ads"), a));
  EXPECT_FALSE(loadProfile(dir.file("Missing.ads"), a));
  EXPECT_EQ(a.host(), "kept");
}

TEST(Profiles, TypedNameKeepsOnlyLettersAndDigits) {
  EXPECT_EQ(cleanProfileName("ab -12"), "ab12");
  EXPECT_EQ(cleanProfileName("Ofis/Ä.x"), "Ofisx");
  EXPECT_EQ(cleanProfileName("abcdefghij0123456789"), "abcdefghij012345");
}

}  // namespace
}  // namespace halvern
