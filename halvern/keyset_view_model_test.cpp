#include "halvern/keyset_view_model.h"

#include "halvern/keyset_keys.h"
#include "halvern/texts.h"

#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <string>

namespace halvern {
namespace {

KeysetSnapshot inState(LinkState state) {
  KeysetSnapshot s;
  s.state = state;
  s.display.fill(' ');
  return s;
}

int zeroBits(std::uint8_t b) { return std::popcount(std::uint8_t(~b)); }

TEST(KeyTables, EveryKeySendsItsOwnCodeWithOneZeroBitInEachByte) {
  std::set<std::uint16_t> codes;
  auto check = [&](std::uint16_t code, const std::string& what) {
    EXPECT_EQ(zeroBits(std::uint8_t(code & 0xFF)), 1) << what;
    EXPECT_EQ(zeroBits(std::uint8_t(code >> 8)), 1) << what;
    EXPECT_TRUE(codes.insert(code).second) << what << " shares its code";
  };
  for (const FixedKey& k : kFixedKeys) {
    if (k.role == KeyRole::Code) check(k.code, std::string(k.name));
  }
  for (int i = 0; i < kProgrammableKeyCount; ++i) check(kProgrammableKeys[i].code, "key " + std::to_string(i));
  EXPECT_EQ(codes.size(), 31u + 30u);
}

TEST(KeyTables, NoTwoControlsOrShownLampsShareANumber) {
  std::set<int> controls{kDisplayControl, kBelowDisplayControl};
  std::set<int> lamps;
  for (const FixedKey& k : kFixedKeys) {
    EXPECT_TRUE(controls.insert(k.control).second) << k.name;
    if (k.lampForm == LampForm::OnOff) {
      EXPECT_TRUE(lamps.insert(k.lamp).second) << k.name;
    }
  }
  for (const ProgrammableKey& k : kProgrammableKeys) {
    EXPECT_TRUE(controls.insert(k.control).second) << k.control;
    EXPECT_TRUE(controls.insert(k.tagControl).second) << k.tagControl;
    EXPECT_TRUE(lamps.insert(k.lamp).second) << k.control;
  }
  for (const StatusLamp& l : kStatusLamps) {
    EXPECT_TRUE(controls.insert(l.control).second) << l.name;
    EXPECT_TRUE(lamps.insert(l.lamp).second) << l.name;
  }
  EXPECT_FALSE(lamps.count(kShiftLamp));
  EXPECT_FALSE(lamps.count(26)) << "the keyset's speech lamp is not shown";
}

struct TypedCase {
  char32_t c;
  std::optional<std::uint16_t> code;
};

TEST(KeyboardMap, TypedCharactersPressTheirKeysAndNothingElse) {
  // clang-format off
  const TypedCase cases[] = {
      {U'a', 0xEFFE}, {U'A', 0xEFFE}, {U'z', 0xBFFB}, {U'Z', 0xBFFB}, {U'i', 0xBF7F}, {U'1', 0xFBF7},
      {U'0', 0xFBEF}, {U'3', 0xF7FB}, {U'*', 0xFBFE}, {U'#', 0xF7FE}, {U'+', 0xF7EF}, {U'-', 0xF7DF},
      {U' ', std::nullopt}, {U'/', std::nullopt}, {U'<', std::nullopt}, {U'\0', std::nullopt},
      {U'\u00E4', std::nullopt}, {U'\u0131', std::nullopt}, {char32_t(-1), std::nullopt},
  };
  // clang-format on
  for (const TypedCase& t : cases) EXPECT_EQ(keyCodeForChar(t.c), t.code) << std::uint32_t(t.c);

  EXPECT_EQ(navKeyCode(NavKey::Escape), 0xFD7F);
  EXPECT_EQ(navKeyCode(NavKey::Enter), 0xFDDF);
  EXPECT_EQ(navKeyCode(NavKey::Left), 0xFDBF);
  EXPECT_EQ(navKeyCode(NavKey::Down), 0xFDEF);
  EXPECT_EQ(navKeyCode(NavKey::Delete), 0xFDF7);
}

TEST(KeyboardMap, KeyNamesAreTheEnglishCaptionsInAnyCase) {
  EXPECT_EQ(keyCodeForName("esc"), 0xFD7F);
  EXPECT_EQ(keyCodeForName("Up"), 0xFDBF);
  EXPECT_EQ(keyCodeForName("DOWN"), 0xFDEF);
  EXPECT_EQ(keyCodeForName("p4"), 0x7FFE);
  EXPECT_EQ(keyCodeForName("#"), 0xF7FE);
  EXPECT_EQ(keyCodeForName("flsh"), 0xF77F);
  EXPECT_EQ(keyCodeForName("mute"), 0xFEBF);
  EXPECT_EQ(keyCodeForName("Yes"), std::nullopt) << "the hook keys send no code";
  EXPECT_EQ(keyCodeForName("F1"), std::nullopt);
  EXPECT_EQ(keyCodeForName("<"), std::nullopt);
  EXPECT_EQ(keyCodeForName(""), std::nullopt);
}

// Which element of the window a cadence is watched on.
enum class Watch { ProgrammableKey0, FwdLamp, ShiftKey };

struct CadenceCase {
  const char* what;
  Watch watch;
  int lamp;
  LampState state;
  // Phases 0 to 31, '1' lit.
  const char* lit;
};

bool litOn(const KeysetView& v, Watch w) {
  switch (w) {
    case Watch::ProgrammableKey0: return v.programmable[0].look == KeyLook::SdOn;
    case Watch::FwdLamp: return v.statusLamps[0].enabled;
    case Watch::ShiftKey: return v.fixed[kKeyShift].look == KeyLook::Shift;
  }
  return false;
}

TEST(LampCadences, EachLampStateLightsAtItsPhasesOver32Refreshes) {
  const CadenceCase cases[] = {
      {"fast flash: 200 ms on, 200 ms off", Watch::ProgrammableKey0, 7, LampState::FastFlash,
       "01100110011001100110011001100110"},
      {"slow flash: 800 ms on, 800 ms off", Watch::ProgrammableKey0, 7, LampState::SlowFlash,
       "00000001111111100000000111111110"},
      {"steady on", Watch::ProgrammableKey0, 7, LampState::On, "11111111111111111111111111111111"},
      {"off", Watch::ProgrammableKey0, 7, LampState::Off, "00000000000000000000000000000000"},
      {"status lamp lit at once, then slow cadence", Watch::FwdLamp, 32, LampState::SlowFlash,
       "11111111111111100000000111111110"},
      {"status lamp fast", Watch::FwdLamp, 32, LampState::FastFlash, "11100110011001100110011001100110"},
      {"shift level 1 flashes the Shift key fast", Watch::ShiftKey, kShiftLamp, LampState::FastFlash,
       "11100110011001100110011001100110"},
      {"shift level 2 flashes it slowly", Watch::ShiftKey, kShiftLamp, LampState::SlowFlash,
       "11111111111111100000000111111110"},
      {"shift level 3 keeps it lit", Watch::ShiftKey, kShiftLamp, LampState::On, "11111111111111111111111111111111"},
  };
  for (const CadenceCase& c : cases) {
    KeysetViewModel model;
    KeysetSnapshot s = inState(LinkState::Running);
    s.lamps[c.lamp] = c.state;
    std::string seen;
    for (std::uint32_t phase = 0; phase < 32; ++phase) seen += litOn(model.refresh(s, phase), c.watch) ? '1' : '0';
    EXPECT_EQ(seen, c.lit) << c.what;
  }
}

TEST(LampCadences, FlashingLampStartsAtTheNextPhasePointNotMidCycle) {
  KeysetViewModel model;
  KeysetSnapshot s = inState(LinkState::Running);
  s.lamps[7] = LampState::On;
  model.refresh(s, 0);
  s.lamps[7] = LampState::SlowFlash;
  // Lit from steady on, it stays lit until the slow cadence darkens it at 15.
  std::string seen;
  for (std::uint32_t phase = 1; phase < 20; ++phase)
    seen += model.refresh(s, phase).programmable[0].look == KeyLook::SdOn ? '1' : '0';
  EXPECT_EQ(seen, "1111111111111100000");
}

TEST(LampCadences, LampsShowAgainAfterTheLinkDropsAndReturns) {
  KeysetViewModel model;
  KeysetSnapshot s = inState(LinkState::Running);
  s.lamps[7] = LampState::On;   // programmable key 0
  s.lamps[34] = LampState::On;  // P1
  s.lamps[24] = LampState::On;  // InUse
  s.lamps[kShiftLamp] = LampState::On;
  model.refresh(s, 0);
  s.state = LinkState::Registering;
  const KeysetView& gone = model.refresh(s, 1);
  EXPECT_TRUE(gone.leftRunning);
  EXPECT_FALSE(gone.programmable[0].enabled);
  EXPECT_FALSE(gone.statusLamps[5].enabled);
  EXPECT_EQ(gone.fixed[kKeyShift].caption, "");

  // The exchange did not change a lamp meanwhile; they must still be shown.
  s.state = LinkState::Running;
  const KeysetView& back = model.refresh(s, 2);
  EXPECT_TRUE(back.enteredRunning);
  EXPECT_EQ(back.programmable[0].look, KeyLook::SdOn);
  EXPECT_EQ(back.fixed[5].look, KeyLook::SdOn);
  EXPECT_TRUE(back.statusLamps[5].enabled);
  EXPECT_EQ(back.shiftLevel, 3);
  EXPECT_EQ(back.fixed[29].caption, "F7");
}

struct LevelCase {
  LampState shift;
  const char* key0;
  const char* key25;
  const char* key29;
  const char* red;
  const char* dsc;
  const char* cnf;
};

TEST(ShiftLevels, CaptionsAndTagsFollowTheShiftLevel) {
  const LevelCase cases[] = {
      {LampState::Off, "00 A", "25 Z", "29", "Red", "Dsc", "Cnf"},
      {LampState::FastFlash, "30 A", "55 Z", "59", "F1", "F2", "F3"},
      {LampState::SlowFlash, "60 A", "85 Z", "89", "F4", "F5", "F6"},
      {LampState::On, "90 A", "115 Z", "119", "F7", "F8", "F9"},
  };
  TagTexts tags;
  for (int level = 0; level < kShiftLevels; ++level) {
    for (int key = 0; key < kProgrammableKeyCount; ++key)
      tags[level][key] = "L" + std::to_string(level) + "K" + std::to_string(key);
  }
  KeysetViewModel model;
  model.setTags(tags);
  KeysetSnapshot s = inState(LinkState::Running);
  std::uint32_t phase = 0;
  // Every level after every other, so a caption left from the level before shows.
  for (const LevelCase& from : cases) {
    for (const LevelCase& c : cases) {
      s.lamps[kShiftLamp] = from.shift;
      model.refresh(s, phase++);
      s.lamps[kShiftLamp] = c.shift;
      const KeysetView& v = model.refresh(s, phase++);
      int level = int(c.shift);
      EXPECT_EQ(v.shiftLevel, level);
      EXPECT_EQ(v.programmable[0].caption, c.key0);
      EXPECT_EQ(v.programmable[25].caption, c.key25);
      EXPECT_EQ(v.programmable[29].caption, c.key29);
      EXPECT_EQ(v.programmable[9].caption, programmableCaption(level, 9));
      EXPECT_EQ(v.fixed[29].caption, c.red);
      EXPECT_EQ(v.fixed[28].caption, c.dsc);
      EXPECT_EQ(v.fixed[27].caption, c.cnf);
      EXPECT_EQ(v.fixed[29].look, level ? KeyLook::Shift : KeyLook::Normal);
      for (int key = 0; key < kProgrammableKeyCount; ++key)
        ASSERT_EQ(v.tags[key], tags[level][key]) << level << " " << key;
    }
  }
}

TEST(ShiftLevels, NothingIsLiveOrCaptionedOutsideRunning) {
  TagTexts tags;
  tags[0][0] = "Reception";
  KeysetViewModel model;
  model.setTags(tags);
  for (LinkState st :
       {LinkState::Initial, LinkState::InvalidSettings, LinkState::Registering, LinkState::Synchronizing}) {
    KeysetSnapshot s = inState(LinkState::Running);
    s.lamps[7] = LampState::On;
    s.lamps[32] = LampState::On;
    model.refresh(s, 0);
    s.state = st;
    const KeysetView& v = model.refresh(s, 1);
    EXPECT_FALSE(v.running);
    EXPECT_EQ(v.liveHookKey, -1);
    for (const KeyView& k : v.fixed) EXPECT_TRUE(!k.enabled && k.caption.empty());
    for (const KeyView& k : v.programmable) EXPECT_TRUE(!k.enabled && k.caption.empty() && k.look == KeyLook::Normal);
    for (const KeyView& k : v.statusLamps) EXPECT_FALSE(k.enabled);
    EXPECT_EQ(v.tags[0], "");
  }
}

TEST(ShiftLevels, TagTextsAreCutTo31Characters) {
  KeysetViewModel model;
  model.setTag(2, 4, std::string(40, 'x'));
  EXPECT_EQ(model.tags()[2][4], std::string(31, 'x'));
  TagTexts tags;
  tags[3][29] = std::string(32, 'y');
  model.setTags(tags);
  EXPECT_EQ(model.tags()[3][29], std::string(31, 'y'));
}

TEST(HookKeys, OnlyTheHookKeyThatFitsTheSpeechModeIsLive) {
  struct {
    std::uint8_t speech;
    int live;
  } cases[] = {{0, kKeyYes}, {2, kKeyYes}, {3, kKeyNo}};
  KeysetViewModel model;
  KeysetSnapshot s = inState(LinkState::Running);
  for (auto c : cases) {
    s.speechMode = c.speech;
    const KeysetView& v = model.refresh(s, 0);
    EXPECT_EQ(v.liveHookKey, c.live);
    EXPECT_EQ(v.fixed[kKeyYes].enabled, c.live == kKeyYes);
    EXPECT_EQ(v.fixed[kKeyNo].enabled, c.live == kKeyNo);
  }
}

TEST(Display, ControlBytesShowAsBlanksAndTheLinesFollowTheCounter) {
  KeysetViewModel model;
  KeysetSnapshot s = inState(LinkState::Registering);
  const std::string line3 = std::string("Ext\x01") + "201\x1F\x7F" + "Caf\xE9";
  std::copy(line3.begin(), line3.end(), s.display.begin() + 3 * kDisplayColumns);
  s.displayCounter = 5;
  const KeysetView& v = model.refresh(s, 0);
  EXPECT_TRUE(v.displayChanged);
  EXPECT_EQ(v.display[3], "Ext 201  Caf\xE9" + std::string(kDisplayColumns - 13, ' '));
  EXPECT_EQ(v.display[7], std::string(kDisplayColumns, ' '));

  EXPECT_FALSE(model.refresh(s, 1).displayChanged);
  s.displayCounter = 6;
  EXPECT_TRUE(model.refresh(s, 2).displayChanged);
}

TEST(Display, SocketFaultReplacesTheDisplayInTheUsersLanguage) {
  KeysetViewModel model(1);
  KeysetSnapshot s = inState(LinkState::Registering);
  s.display[0] = 'K';
  s.socketFault = true;
  const KeysetView& v = model.refresh(s, 0);
  EXPECT_TRUE(v.displayChanged);
  EXPECT_TRUE(v.socketFault);
  EXPECT_EQ(v.display[0], text(kTextSocketFault, 1));
  EXPECT_EQ(v.display[1], "");
  model.setLanguage(0);
  EXPECT_EQ(model.refresh(s, 1).display[0], "Socket fault!");
  s.socketFault = false;
  EXPECT_EQ(model.refresh(s, 2).display[0][0], 'K');
}

TEST(Texts, EveryLanguageHasItsCodePageAndFallsBackToEnglish) {
  EXPECT_EQ(text(kTextSocketFault, 0), "Socket fault!");
  EXPECT_EQ(text(kTextConnectedAs, 0), "Connected to %s as %s");
  EXPECT_EQ(text(kTextKeyEsc, 9), "ESC");
  EXPECT_EQ(textsFor(1).codePage(), corvane::CodePage::Cp1254);
  EXPECT_EQ(textsFor(2).codePage(), corvane::CodePage::Cp1250);
  EXPECT_EQ(textsFor(3).codePage(), corvane::CodePage::Cp1250);
  EXPECT_EQ(textsFor(7).codePage(), corvane::CodePage::Cp1252);
  // "Hayır" in CP1254, "Węgierski" in CP1250.
  EXPECT_EQ(text(kTextKeyNo, 1), "Hay\xFDr");
  EXPECT_EQ(text(kTextHungarian, 2), "W\xEAgierski");
  for (int lang = 1; lang <= 3; ++lang) {
    EXPECT_EQ(text(kTextKeyEsc, lang), "ESC");
    for (int id : {int(kTextSocketFault), int(kTextTagDefault), int(kTextEditTagsMenu), int(kTextConnectedAs)}) {
      EXPECT_NE(text(id, lang), text(id, 0)) << lang << " " << id;
      EXPECT_EQ(text(id, lang).find('?'), std::string::npos) << "a letter the code page lacks: " << lang << " " << id;
    }
  }
}

}  // namespace
}  // namespace halvern
