// The KV430 keyset as the window draws it: every key with its control id,
// caption, key code, lamp and keyboard shortcut, the thirty programmable keys
// with their tag fields, and the status lamps. Positions are dialog units of
// the 320 x 240 window. Key codes have exactly one zero bit in each byte.
#pragma once

#include "halvern/texts.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvern {

inline constexpr int kProgrammableKeyCount = 30;
inline constexpr int kShiftLevels = 4;
// Programmable keys 0 to 25 carry a letter and answer to it on the keyboard.
inline constexpr int kLetteredKeys = 26;
// A tag text holds at most 31 characters (a 32-byte slot with its NUL).
inline constexpr std::size_t kTagTextMax = 31;

// Tag texts by shift level and programmable key, 8-bit text.
using TagTexts = std::array<std::array<std::string, kProgrammableKeyCount>, kShiftLevels>;

inline constexpr int kWindowWidthDu = 320, kWindowHeightDu = 240;

struct DuRect {
  int x, y, w, h;
};

// Lamp 1 holds the shift level (0-3).
inline constexpr int kShiftLamp = 1;
inline constexpr int kNoLamp = -1;

enum class KeyRole : std::uint8_t {
  Code,  // sends its key code
  Hook,  // "Yes" / "No": toggles the hook
};

// How a key shows its lamp.
enum class LampForm : std::uint8_t {
  None,
  OnOff,       // lit while its lamp is non-zero
  ShiftLevel,  // Shift, Red, Dsc, Cnf: the shift level of lamp 1
};

struct FixedKey {
  int control;
  // The English level-0 caption, the name the headless front end knows it by.
  std::string_view name;
  // The caption in every language, unless captionText names a text entry.
  std::string_view caption;
  int captionText;
  // Captions at shift levels 1 to 3, empty when the level-0 caption stays.
  std::array<std::string_view, 3> shiftCaptions;
  KeyRole role;
  std::uint16_t code;  // 0 for the hook keys
  int lamp;            // kNoLamp when the key has none
  LampForm lampForm;
  DuRect rect;
};

// clang-format off
inline constexpr std::array<FixedKey, 33> kFixedKeys = {{
  {1000, "ESC",   "ESC",   kTextKeyEsc,   {},               KeyRole::Code, 0xFD7F, kNoLamp, LampForm::None,  {7, 95, 22, 12}},
  {1001, "Up",    "<",     0,             {},               KeyRole::Code, 0xFDBF, kNoLamp, LampForm::None,  {35, 95, 22, 12}},
  {1002, "OK",    "OK",    kTextKeyOk,    {},               KeyRole::Code, 0xFDDF, kNoLamp, LampForm::None,  {64, 95, 22, 12}},
  {1003, "Down",  ">",     0,             {},               KeyRole::Code, 0xFDEF, kNoLamp, LampForm::None,  {93, 95, 22, 12}},
  {1004, "DEL",   "DEL",   kTextKeyDel,   {},               KeyRole::Code, 0xFDF7, kNoLamp, LampForm::None,  {122, 95, 22, 12}},
  {1005, "P1",    "P1",    0,             {},               KeyRole::Code, 0xFDFE, 34,      LampForm::OnOff, {34, 119, 18, 12}},
  {1067, "P2",    "P2",    0,             {},               KeyRole::Code, 0xFDFD, 18,      LampForm::OnOff, {56, 119, 18, 12}},
  {1068, "P3",    "P3",    0,             {},               KeyRole::Code, 0xFDFB, 10,      LampForm::OnOff, {78, 119, 18, 12}},
  {1069, "P4",    "P4",    0,             {},               KeyRole::Code, 0x7FFE, 2,       LampForm::OnOff, {100, 119, 18, 12}},
  {1071, "1",     "1",     0,             {},               KeyRole::Code, 0xFBF7, kNoLamp, LampForm::None,  {7, 145, 18, 18}},
  {1072, "2",     "2",     0,             {},               KeyRole::Code, 0xFB7F, kNoLamp, LampForm::None,  {32, 145, 18, 18}},
  {1073, "3",     "3",     0,             {},               KeyRole::Code, 0xF7FB, kNoLamp, LampForm::None,  {57, 145, 18, 18}},
  {1074, "4",     "4",     0,             {},               KeyRole::Code, 0xFBFB, kNoLamp, LampForm::None,  {7, 167, 18, 18}},
  {1075, "5",     "5",     0,             {},               KeyRole::Code, 0xFBBF, kNoLamp, LampForm::None,  {32, 167, 18, 18}},
  {1076, "6",     "6",     0,             {},               KeyRole::Code, 0xF7F7, kNoLamp, LampForm::None,  {57, 167, 18, 18}},
  {1077, "7",     "7",     0,             {},               KeyRole::Code, 0xFBFD, kNoLamp, LampForm::None,  {7, 189, 18, 18}},
  {1078, "8",     "8",     0,             {},               KeyRole::Code, 0xFBDF, kNoLamp, LampForm::None,  {32, 189, 18, 18}},
  {1079, "9",     "9",     0,             {},               KeyRole::Code, 0xF7FD, kNoLamp, LampForm::None,  {57, 189, 18, 18}},
  {1080, "*",     "*",     0,             {},               KeyRole::Code, 0xFBFE, kNoLamp, LampForm::None,  {7, 211, 18, 18}},
  {1081, "0",     "0",     0,             {},               KeyRole::Code, 0xFBEF, kNoLamp, LampForm::None,  {32, 211, 18, 18}},
  {1082, "#",     "#",     0,             {},               KeyRole::Code, 0xF7FE, kNoLamp, LampForm::None,  {57, 211, 18, 18}},
  {1083, "Rec",   "Rec",   kTextKeyRec,   {},               KeyRole::Code, 0x7FDF, 9,       LampForm::OnOff, {82, 145, 25, 14}},
  {1087, "+",     "+",     0,             {},               KeyRole::Code, 0xF7EF, kNoLamp, LampForm::None,  {82, 163, 25, 14}},
  {1088, "-",     "-",     0,             {},               KeyRole::Code, 0xF7DF, kNoLamp, LampForm::None,  {82, 181, 25, 14}},
  {1086, "Tran",  "Tran",  kTextKeyTran,  {},               KeyRole::Code, 0xF7BF, kNoLamp, LampForm::None,  {82, 199, 25, 14}},
  {1084, "Flsh",  "Flsh",  kTextKeyFlsh,  {},               KeyRole::Code, 0xF77F, kNoLamp, LampForm::None,  {82, 217, 25, 14}},
  {1094, "Mute",  "Mute",  kTextKeyMute,  {},               KeyRole::Code, 0xFEBF, 42,      LampForm::OnOff, {122, 139, 25, 14}},
  {1092, "Cnf",   "Cnf",   kTextKeyCnf,   {"F3", "F6", "F9"}, KeyRole::Code, 0x7FFD, kShiftLamp, LampForm::ShiftLevel, {122, 163, 25, 14}},
  {1091, "Dsc",   "Dsc",   kTextKeyDsc,   {"F2", "F5", "F8"}, KeyRole::Code, 0x7FFB, kShiftLamp, LampForm::ShiftLevel, {122, 181, 25, 14}},
  {1090, "Red",   "Red",   kTextKeyRed,   {"F1", "F4", "F7"}, KeyRole::Code, 0x7FF7, kShiftLamp, LampForm::ShiftLevel, {122, 199, 25, 14}},
  {1089, "Shift", "Shift", kTextKeyShift, {},               KeyRole::Code, 0x7FEF, kShiftLamp, LampForm::ShiftLevel, {122, 217, 25, 14}},
  {1093, "Yes",   "Yes",   kTextKeyYes,   {},               KeyRole::Hook, 0,      kNoLamp, LampForm::None,  {7, 119, 22, 18}},
  {1095, "No",    "No",    kTextKeyNo,    {},               KeyRole::Hook, 0,      kNoLamp, LampForm::None,  {122, 119, 22, 18}},
}};
// clang-format on

// Indexes into kFixedKeys of keys the window treats on their own.
inline constexpr int kKeyEsc = 0, kKeyUp = 1, kKeyOk = 2, kKeyDown = 3, kKeyDel = 4;
inline constexpr int kKeyShift = 30, kKeyYes = 31, kKeyNo = 32;
static_assert(kFixedKeys[kKeyEsc].control == 1000 && kFixedKeys[kKeyDel].control == 1004);
static_assert(kFixedKeys[kKeyShift].control == 1089 && kFixedKeys[kKeyYes].control == 1093 &&
              kFixedKeys[kKeyNo].control == 1095);

struct ProgrammableKey {
  int control;     // the key button
  int tagControl;  // its tag field
  std::uint16_t code;
  int lamp;
};

// clang-format off
inline constexpr std::array<ProgrammableKey, kProgrammableKeyCount> kProgrammableKeys = {{
  {1006, 1036, 0xEFFE, 7},  {1007, 1037, 0xEFFD, 15}, {1008, 1039, 0xEFFB, 23}, {1009, 1040, 0xFE7F, 31},
  {1010, 1041, 0xEFF7, 39}, {1011, 1042, 0xEFDF, 47}, {1012, 1043, 0xEFBF, 6},  {1013, 1044, 0xEF7F, 14},
  {1014, 1045, 0xBF7F, 22}, {1015, 1046, 0xFEFE, 30}, {1016, 1047, 0xFEFD, 38}, {1017, 1048, 0xFEFB, 46},
  {1018, 1049, 0xFEF7, 3},  {1019, 1050, 0xFEEF, 11}, {1020, 1051, 0xFEDF, 19}, {1021, 1052, 0xDFFE, 5},
  {1022, 1053, 0xDFFD, 13}, {1023, 1054, 0xDFFB, 21}, {1024, 1055, 0xDFF7, 29}, {1025, 1056, 0xDFEF, 37},
  {1026, 1057, 0xDFDF, 45}, {1027, 1058, 0xDFBF, 4},  {1028, 1059, 0xDF7F, 12}, {1029, 1060, 0xBFFE, 20},
  {1030, 1061, 0xBFFD, 28}, {1031, 1062, 0xBFFB, 36}, {1032, 1063, 0xBFF7, 44}, {1033, 1064, 0xBFEF, 27},
  {1034, 1065, 0xBFDF, 35}, {1035, 1066, 0xBFBF, 43},
}};
// clang-format on

// Keys 0-14 form the left column, 15-29 the right one, a row every 14 units.
constexpr DuRect programmableKeyRect(int key) { return {key < 15 ? 154 : 290, 21 + 14 * (key % 15), 22, 12}; }
constexpr DuRect tagFieldRect(int key) { return {key < 15 ? 178 : 232, 21 + 14 * (key % 15), 55, 12}; }

// Lamps that only show a state and send nothing (Vmsg opens the voice
// recordings window).
struct StatusLamp {
  int control;
  std::string_view name;  // English caption
  int captionText;
  int lamp;
  DuRect rect;
};

// clang-format off
inline constexpr std::array<StatusLamp, 6> kStatusLamps = {{
  {1070, "Fwd",   kTextLampFwd,   32, {285, 7, 25, 12}},
  {1085, "WkUp",  kTextLampWkUp,  40, {259, 7, 25, 12}},
  {1096, "Camp",  kTextLampCamp,  8,  {233, 7, 25, 12}},
  {1097, "Dsbl",  kTextLampDsbl,  16, {207, 7, 25, 12}},
  {1098, "Vmsg",  kTextLampVmsg,  0,  {181, 7, 25, 12}},
  {1099, "InUse", kTextLampInUse, 24, {155, 7, 25, 12}},
}};
// clang-format on
inline constexpr int kVmsgLampIndex = 4;

// The display list and the read-only field below it (which stays empty).
inline constexpr int kDisplayControl = 1038, kBelowDisplayControl = 1100;
inline constexpr DuRect kDisplayRect{0, 7, 152, 85};
inline constexpr DuRect kBelowDisplayRect{7, 108, 143, 10};
// The display font: 16 pixels high, 8 wide.
inline constexpr int kDisplayFontHeightPx = 16, kDisplayFontWidthPx = 8;

// Keys the window always takes from the keyboard (they never close the
// window or move the focus); while Running they press the key beside them.
enum class NavKey : std::uint8_t { Escape, Enter, Left, Up, Right, Down, Delete };

constexpr std::uint16_t navKeyCode(NavKey k) {
  switch (k) {
    case NavKey::Escape: return kFixedKeys[kKeyEsc].code;
    case NavKey::Enter: return kFixedKeys[kKeyOk].code;
    case NavKey::Left:
    case NavKey::Up: return kFixedKeys[kKeyUp].code;
    case NavKey::Right:
    case NavKey::Down: return kFixedKeys[kKeyDown].code;
    case NavKey::Delete: return kFixedKeys[kKeyDel].code;
  }
  return 0;
}

// The key code a typed character presses: digits, "*", "#", "+", "-" and
// the letters A to Z in either case (programmable keys 0 to 25); nothing for
// any other character.
constexpr std::optional<std::uint16_t> keyCodeForChar(char32_t c) {
  if (c >= U'a' && c <= U'z') return kProgrammableKeys[c - U'a'].code;
  if (c >= U'A' && c <= U'Z') return kProgrammableKeys[c - U'A'].code;
  if (c > 0x7F) return std::nullopt;
  for (const FixedKey& k : kFixedKeys) {
    if (k.role == KeyRole::Code && k.name.size() == 1 && char32_t(k.name[0]) == c) return k.code;
  }
  return std::nullopt;
}

// The fixed key a name stands for (its English level-0 caption, any case:
// ESC OK DEL Up Down P1-P4 0-9 * # Rec Flsh Tran + - Shift Red Dsc Cnf Mute
// Yes No), or nullptr.
constexpr const FixedKey* findFixedKey(std::string_view name) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  for (const FixedKey& k : kFixedKeys) {
    if (k.name.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) same = lower(k.name[i]) == lower(name[i]);
    if (same) return &k;
  }
  return nullptr;
}

// The key code of a named key; nothing for an unknown name or a hook key.
constexpr std::optional<std::uint16_t> keyCodeForName(std::string_view name) {
  const FixedKey* k = findFixedKey(name);
  if (!k || k->role != KeyRole::Code) return std::nullopt;
  return k->code;
}

// The caption of programmable key `key` at shift level `level`: the number
// 30 * level + key with at least two digits, then for the lettered keys a
// blank and the letter ("00 A" ... "25 Z", "26" ... "29", "30 A" ...).
inline std::string programmableCaption(int level, int key) {
  int n = 30 * level + key;
  std::string s = n < 10 ? "0" + std::to_string(n) : std::to_string(n);
  if (key < kLetteredKeys) {
    s += ' ';
    s += char('A' + key);
  }
  return s;
}

}  // namespace halvern
