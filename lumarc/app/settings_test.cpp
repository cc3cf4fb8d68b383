#include "lumarc/app/settings.h"

#include "common/files.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace lumarc {
namespace {

namespace fs = std::filesystem;

ConnectionTarget target(const std::string& text) { return parseAddressText(text); }

using corvane::testing::TempDir;

TEST(SettingsFile, OnlyTheExactSizeIsUsed) {
  SettingsBlock s;
  s.setLanguage(1);
  s.setAutoScroll(1);
  std::string image = s.encode();
  ASSERT_EQ(image.size(), kSettingsFileSize);
  for (size_t size : {kSettingsFileSize - 1, kSettingsFileSize + 1}) {
    SettingsBlock d;
    std::string img = image;
    img.resize(size, '0');
    EXPECT_FALSE(d.decode(img)) << size;
    EXPECT_EQ(d.language(), 0u);
  }
}

TEST(SettingsFile, WrongCheckWordIsAccepted) {
  SettingsBlock s;
  s.setLayer2(7);
  std::string image = s.encode();
  image[kSettingsFileSize - 1] ^= 0x55;
  SettingsBlock d;
  ASSERT_TRUE(d.decode(image));
  EXPECT_EQ(d.layer2(), 7u);
}

TEST(SettingsFile, FieldsSitAtTheirOffsets) {
  SettingsBlock s;
  s.setLanguage(0x01020304);
  s.setAdapter(0xC0A80001);
  s.setDefinitionsSort(1);
  EXPECT_EQ(s.data()[0], 0x04);
  EXPECT_EQ(s.data()[3], 0x01);
  EXPECT_EQ(s.data()[20], 0x01);
  EXPECT_EQ(s.data()[18024], 0x01);
  EXPECT_EQ(s.data()[18027], 0xC0);
  s.history(LinkKind::Cmdr).add(target("10.0.0.1:5000"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.data()) + 6024), "10.0.0.1");
  EXPECT_EQ(s.data()[6024 + 258], 5000 & 0xFF);
  s.history(LinkKind::Voice).add(target("10.0.0.2"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.data()) + 12024), "10.0.0.2");
  s.history(LinkKind::Monitor).add(target("10.0.0.3"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.data()) + 24), "10.0.0.3");
}

TEST(SettingsFile, UnusedBytesSurviveARoundTrip) {
  SettingsBlock s;
  for (size_t i = 18028; i < kSettingsSize; ++i) s.data()[i] = uint8_t(i * 7);
  SettingsBlock d;
  ASSERT_TRUE(d.decode(s.encode()));
  EXPECT_EQ(0, std::memcmp(s.data(), d.data(), kSettingsSize));
}

TEST(SettingsFile, UnterminatedHostsAreCutAndBadHostsCountAsEmpty) {
  SettingsBlock s;
  std::memset(s.data() + 6024, 'a', 300);  // slot 0: 300 bytes of 'a'
  std::memcpy(s.data() + 6024 + 300, "not a host", 10);
  SettingsBlock d;
  ASSERT_TRUE(d.decode(s.encode()));
  auto h = d.history(LinkKind::Cmdr);
  EXPECT_EQ(h.slot(0).hostText().size(), 255u);
  EXPECT_FALSE(h.used(0));  // 255 letters, no dot
  EXPECT_FALSE(h.used(1));
  EXPECT_FALSE(h.used(2));
}

TEST(SettingsFile, SavedAtomicallyAndPrivately) {
  TempDir dir("lumarc-settings");
  SettingsBlock s;
  s.setLanguage(1);
  ASSERT_TRUE(saveSettings(s, dir.path()));
  std::string path = dir.path() + "/Lumarc.set";
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, off_t(kSettingsFileSize));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(fs::exists(path + ".tmp"));
  SettingsBlock d;
  ASSERT_TRUE(loadSettings(d, dir.path()));
  EXPECT_EQ(d.language(), 1u);
}

TEST(SettingsFile, UnwritableDirectoryKeepsTheOldFile) {
  SettingsBlock s;
  EXPECT_FALSE(saveSettings(s, "/nonexistent/dir"));
}

TEST(History, NewTargetGoesToTheFrontAndTheOldestFallsOut) {
  SettingsBlock s;
  auto h = s.history(LinkKind::Cmdr);
  for (int i = 1; i <= 21; ++i) h.add(target("10.0.0." + std::to_string(i)));
  EXPECT_EQ(h.slot(0).hostText(), "10.0.0.21");
  EXPECT_EQ(h.slot(19).hostText(), "10.0.0.2");
}

TEST(History, KnownTargetMovesToTheFrontWithoutLosingOthers) {
  for (int at : {0, 5, 19}) {
    SettingsBlock s;
    auto h = s.history(LinkKind::Cmdr);
    for (int i = 20; i >= 1; --i) h.add(target("10.0.0." + std::to_string(i)));
    // slot k holds 10.0.0.(k+1)
    h.add(target("10.0.0." + std::to_string(at + 1)));
    EXPECT_EQ(h.slot(0).hostText(), "10.0.0." + std::to_string(at + 1)) << at;
    int next = 1;
    for (size_t k = 1; k < kHistorySlots; ++k, ++next) {
      if (next == at + 1) ++next;
      EXPECT_EQ(h.slot(k).hostText(), "10.0.0." + std::to_string(next)) << "at " << at << " slot " << k;
    }
  }
}

TEST(History, DifferentPortsAreDifferentEntries) {
  SettingsBlock s;
  auto h = s.history(LinkKind::Voice);
  h.add(target("10.0.0.1:1"));
  h.add(target("10.0.0.1:2"));
  EXPECT_EQ(h.slot(0).port(), 2);
  EXPECT_EQ(h.slot(1).port(), 1);
  EXPECT_TRUE(h.used(1));
  EXPECT_FALSE(h.used(2));
}

}  // namespace
}  // namespace lumarc
