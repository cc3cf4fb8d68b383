// What the keyset window shows, worked out from the core's snapshots: key
// captions (by shift level), which keys are live, the looks of keys and
// lamps with their flash cadences, the tag texts beside the programmable
// keys and the 8 display lines. No drawing here: the window only copies the
// view into its widgets.
#pragma once

#include "halvern/keyset_keys.h"
#include "halvern/keyset_snapshot.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halvern {

// The looks a key can have: its normal face, lit ("SdOn"), dark ("SdOff",
// programmable keys) and shift active.
enum class KeyLook : std::uint8_t { Normal, SdOn, SdOff, Shift };

// "normal", "sdon", "sdoff", "shift": the name the window's style sheet uses.
std::string_view lookName(KeyLook look);

// One key or status lamp. Captions are 8-bit text in the language's code
// page. For a status lamp `enabled` is whether it is lit.
struct KeyView {
  std::string caption;
  bool enabled = false;
  KeyLook look = KeyLook::Normal;
};

struct KeysetView {
  bool running = false;
  // This refresh is the first in Running (title, recording client) or the
  // first after leaving it.
  bool enteredRunning = false;
  bool leftRunning = false;
  int shiftLevel = 0;
  std::array<KeyView, kFixedKeys.size()> fixed;
  std::array<KeyView, kProgrammableKeyCount> programmable;
  std::array<KeyView, kStatusLamps.size()> statusLamps;
  // Beside each programmable key: the tag text of the shift level while
  // Running, empty otherwise.
  std::array<std::string, kProgrammableKeyCount> tags;
  // The hook key (kKeyYes or kKeyNo) that is live and takes the focus;
  // -1 while not Running.
  int liveHookKey = -1;
  // 25 bytes each, control bytes as blanks; with a socket fault the only
  // line is "Socket fault!".
  std::array<std::string, kDisplayLines> display;
  // The display lines differ from the last refresh's (a new display counter
  // or a socket fault came or went).
  bool displayChanged = false;
  bool socketFault = false;
};

class KeysetViewModel {
 public:
  explicit KeysetViewModel(int language = 0);

  // The language of captions and texts (as in the settings record); takes
  // effect with the next refresh.
  void setLanguage(int language);
  int language() const { return language_; }

  void setTags(const TagTexts& tags);
  const TagTexts& tags() const { return tags_; }
  // Stores one tag text cut to kTagTextMax bytes and redraws the tags.
  void setTag(int level, int key, std::string_view text);

  // Forgets every lamp's last applied state, so the next refresh applies
  // every lamp afresh (when the window is first shown).
  void clearLampShadows();

  // One window refresh: `phase` is the flash phase, counted up at every
  // refresh. Steady lamp states apply when they change, flashing ones at
  // their cadence's phase values: fast flash lights at phase mod 4 = 1 and
  // darkens at 3, slow flash at phase mod 16 = 7 and 15.
  const KeysetView& refresh(const KeysetSnapshot& snapshot, std::uint32_t phase);
  const KeysetView& view() const { return view_; }

 private:
  void enterRunning();
  void leaveRunning();
  void applyShiftLevel(int level);
  void redrawCaptionsAndTags();
  void applyLamps(const KeysetSnapshot& s, std::uint32_t phase);
  void rebuildDisplay(const KeysetSnapshot& s);

  int language_;
  TagTexts tags_;
  KeysetView view_;
  bool wasRunning_ = false;
  std::array<std::optional<LampState>, kLampCount> shadow_;
  std::optional<std::uint32_t> shownCounter_;
  bool shownFault_ = false;
};

}  // namespace halvern
