// The station every front end drives: what it makes for the views it is
// given, and a CMDR pass through it into a real database on its tick.
#include "lumarc/app/station.h"

#include "lumarc/texts/texts.h"
#include "lumarc/links/cmdr_frame.h"
#include "lumarc/links/link_test_support.h"
#include "lumarc/store/store_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace lumarc {
namespace {

struct Events : StationEvents {
  std::vector<std::string> messages;
  void stationMessage(const std::string& text, const std::string&) override { messages.push_back(text); }
};

struct Fixture {
  std::string dir = storetest::makeTempDir("station");
  SettingsBlock settings;
  Events events;
  testing::FakeNet net;
  testing::FakeView cmdrView, monitorView;
  std::unique_ptr<Station> station;
  Fixture() {
    StationConfig c;
    c.workDir = dir;
    c.settings = &settings;
    c.texts = &englishTexts();
    c.events = &events;
    c.streamSockets = testing::fakeSockets(net);
    station = std::make_unique<Station>(c);
  }
  ~Fixture() {
    station.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

TEST(Station, MakesTheLinksOfTheKindsThatHaveAViewAndNoConverterWithoutVoice) {
  Fixture f;
  StationViews v;
  v.cmdr = &f.cmdrView;
  v.monitor = &f.monitorView;
  f.station->attachViews(v);
  EXPECT_NE(f.station->links(LinkKind::Cmdr), nullptr);
  EXPECT_NE(f.station->links(LinkKind::Monitor), nullptr);
  EXPECT_EQ(f.station->links(LinkKind::Voice), nullptr);
  EXPECT_EQ(f.station->converter(), nullptr);
}

TEST(Station, ACmdrPassThroughTheStationIsStoredAndAcknowledgedAndEntersTheHistory) {
  Fixture f;
  ASSERT_TRUE(f.station->openDatabases()) << (f.events.messages.empty() ? "" : f.events.messages.back());
  EXPECT_TRUE(std::filesystem::exists(f.dir + "/Lumarc.mdb"));
  EXPECT_TRUE(std::filesystem::exists(f.dir + "/Wav/LumarcVt.mdb"));
  StationViews v;
  v.cmdr = &f.cmdrView;
  f.station->attachViews(v);
  ASSERT_EQ(f.station->links(LinkKind::Cmdr)->openLink("192.168.1.20:5001"), 0);
  f.net.events->onConnectResult(true);
  EXPECT_EQ(f.settings.history(LinkKind::Cmdr).slot(0), parseAddressText("192.168.1.20:5001"));
  CmdrFrameFields s;
  s.kind = 0;
  s.crefA = 9;
  s.firstPort = 0xFFFF1001;
  s.time = {2024, 5, 6, 7, 8, 9};
  CmdrFrame frame = buildCmdrFrame(s);
  f.net.events->onBytes(frame.data(), frame.size());
  EXPECT_EQ(f.net.sent, "X");
  EXPECT_EQ(f.station->store().mainDatabase()->rowCount(store::cdataTable()), 1);
  // The station's tick runs the links' ticks: the keep-alive comes after 5 s.
  for (int i = 0; i < 50; ++i) f.station->tick();
  EXPECT_EQ(f.net.sent, "XX");
  f.station->shutdown();
  EXPECT_FALSE(f.station->store().mainOpen());
}

TEST(Station, DecodeOptionsFollowTheLayer2SettingUnlessForced) {
  SettingsBlock s;
  s.setLayer2(0);
  EXPECT_FALSE(decodeOptionsFor(s).layer2);
  EXPECT_TRUE(decodeOptionsFor(s, true).layer2);
  s.setLayer2(1);
  EXPECT_TRUE(decodeOptionsFor(s).layer2);
}

}  // namespace
}  // namespace lumarc
