#include "halvern/keyset_view_model.h"

#include "halvern/texts.h"

#include <algorithm>
#include <cassert>

namespace halvern {

namespace {

// Where a flashing state switches: true lights, false darkens, nothing keeps
// the look the lamp has. Steady states never switch here.
std::optional<bool> flashPoint(LampState state, std::uint32_t phase) {
  if (state == LampState::FastFlash) {
    if (phase % 4 == 1) return true;
    if (phase % 4 == 3) return false;
  } else if (state == LampState::SlowFlash) {
    if (phase % 16 == 7) return true;
    if (phase % 16 == 15) return false;
  }
  return std::nullopt;
}

std::string fixedCaption(const FixedKey& k, int level, int language) {
  if (level > 0 && !k.shiftCaptions[level - 1].empty()) return std::string(k.shiftCaptions[level - 1]);
  if (k.captionText != 0) return text(k.captionText, language);
  return std::string(k.caption);
}

// Display bytes below 0x20 and 0x7F show as blanks.
std::string displayText(std::string line) {
  for (char& c : line) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = ' ';
  }
  return line;
}

}  // namespace

std::string_view lookName(KeyLook look) {
  switch (look) {
    case KeyLook::Normal: return "normal";
    case KeyLook::SdOn: return "sdon";
    case KeyLook::SdOff: return "sdoff";
    case KeyLook::Shift: return "shift";
  }
  return "normal";
}

KeysetViewModel::KeysetViewModel(int language) : language_(language) {}

void KeysetViewModel::setLanguage(int language) {
  language_ = language;
  // Captions and the fault text follow at the next refresh.
  shownCounter_.reset();
  if (wasRunning_) redrawCaptionsAndTags();
}

void KeysetViewModel::setTags(const TagTexts& tags) {
  for (int level = 0; level < kShiftLevels; ++level) {
    for (int key = 0; key < kProgrammableKeyCount; ++key) {
      tags_[level][key] = tags[level][key].substr(0, kTagTextMax);
    }
  }
  if (wasRunning_) redrawCaptionsAndTags();
}

void KeysetViewModel::setTag(int level, int key, std::string_view text) {
  assert(level >= 0 && level < kShiftLevels && key >= 0 && key < kProgrammableKeyCount);
  tags_[level][key] = std::string(text.substr(0, kTagTextMax));
  if (wasRunning_) redrawCaptionsAndTags();
}

void KeysetViewModel::clearLampShadows() { shadow_.fill(std::nullopt); }

const KeysetView& KeysetViewModel::refresh(const KeysetSnapshot& s, std::uint32_t phase) {
  view_.enteredRunning = false;
  view_.leftRunning = false;
  view_.displayChanged = false;
  if (!shownCounter_ || *shownCounter_ != s.displayCounter || shownFault_ != s.socketFault) rebuildDisplay(s);

  if (s.running()) {
    if (!wasRunning_) enterRunning();
    bool speech = s.speechMode == 3;
    view_.fixed[kKeyYes].enabled = !speech;
    view_.fixed[kKeyNo].enabled = speech;
    view_.liveHookKey = speech ? kKeyNo : kKeyYes;
    applyLamps(s, phase);
  } else if (wasRunning_) {
    leaveRunning();
  }
  return view_;
}

void KeysetViewModel::enterRunning() {
  wasRunning_ = true;
  view_.running = true;
  view_.enteredRunning = true;
  view_.shiftLevel = 0;
  for (std::size_t i = 0; i < kFixedKeys.size(); ++i) {
    view_.fixed[i].enabled = kFixedKeys[i].role == KeyRole::Code;
    view_.fixed[i].look = KeyLook::Normal;
  }
  for (KeyView& k : view_.programmable) {
    k.enabled = true;
    k.look = KeyLook::SdOff;
  }
  for (KeyView& l : view_.statusLamps) l.enabled = false;
  redrawCaptionsAndTags();
}

void KeysetViewModel::leaveRunning() {
  wasRunning_ = false;
  view_.running = false;
  view_.leftRunning = true;
  view_.shiftLevel = 0;
  view_.liveHookKey = -1;
  clearLampShadows();
  for (KeyView& k : view_.fixed) k = KeyView{};
  for (KeyView& k : view_.programmable) k = KeyView{};
  for (KeyView& k : view_.statusLamps) k = KeyView{};
  for (std::string& t : view_.tags) t.clear();
}

void KeysetViewModel::applyShiftLevel(int level) {
  view_.shiftLevel = level;
  for (std::size_t i = 0; i < kFixedKeys.size(); ++i) {
    if (kFixedKeys[i].lampForm == LampForm::ShiftLevel) view_.fixed[i].look = level ? KeyLook::Shift : KeyLook::Normal;
  }
  redrawCaptionsAndTags();
}

void KeysetViewModel::redrawCaptionsAndTags() {
  int level = view_.shiftLevel;
  for (std::size_t i = 0; i < kFixedKeys.size(); ++i)
    view_.fixed[i].caption = fixedCaption(kFixedKeys[i], level, language_);
  for (int key = 0; key < kProgrammableKeyCount; ++key) {
    view_.programmable[key].caption = programmableCaption(level, key);
    view_.tags[key] = tags_[level][key];
  }
  for (std::size_t i = 0; i < kStatusLamps.size(); ++i) {
    const StatusLamp& l = kStatusLamps[i];
    view_.statusLamps[i].caption = l.captionText ? text(l.captionText, language_) : std::string(l.name);
  }
}

void KeysetViewModel::applyLamps(const KeysetSnapshot& s, std::uint32_t phase) {
  auto changed = [&](int lamp) { return shadow_[lamp] != s.lamps[lamp]; };

  LampState shiftState = s.lamps[kShiftLamp];
  if (changed(kShiftLamp)) applyShiftLevel(std::min(int(shiftState), 3));
  // At shift level 1 the Shift key flashes fast, at level 2 slowly.
  std::optional<bool> shiftLit = view_.shiftLevel == 1   ? flashPoint(LampState::FastFlash, phase)
                                 : view_.shiftLevel == 2 ? flashPoint(LampState::SlowFlash, phase)
                                                         : std::nullopt;
  if (shiftLit) view_.fixed[kKeyShift].look = *shiftLit ? KeyLook::Shift : KeyLook::Normal;

  for (std::size_t i = 0; i < kFixedKeys.size(); ++i) {
    const FixedKey& k = kFixedKeys[i];
    if (k.lampForm == LampForm::OnOff && changed(k.lamp)) {
      view_.fixed[i].look = s.lamps[k.lamp] != LampState::Off ? KeyLook::SdOn : KeyLook::Normal;
    }
  }

  for (int key = 0; key < kProgrammableKeyCount; ++key) {
    int lamp = kProgrammableKeys[key].lamp;
    LampState st = s.lamps[lamp];
    KeyLook& look = view_.programmable[key].look;
    if (changed(lamp)) {
      if (st == LampState::Off) look = KeyLook::SdOff;
      if (st == LampState::On) look = KeyLook::SdOn;
    }
    if (auto lit = flashPoint(st, phase)) look = *lit ? KeyLook::SdOn : KeyLook::SdOff;
  }

  for (std::size_t i = 0; i < kStatusLamps.size(); ++i) {
    int lamp = kStatusLamps[i].lamp;
    LampState st = s.lamps[lamp];
    bool& lit = view_.statusLamps[i].enabled;
    if (changed(lamp)) lit = st != LampState::Off;
    if (auto point = flashPoint(st, phase)) lit = *point;
  }

  for (int lamp = 0; lamp < kLampCount; ++lamp) shadow_[lamp] = s.lamps[lamp];
}

void KeysetViewModel::rebuildDisplay(const KeysetSnapshot& s) {
  shownCounter_ = s.displayCounter;
  shownFault_ = s.socketFault;
  view_.displayChanged = true;
  view_.socketFault = s.socketFault;
  if (s.socketFault) {
    view_.display.fill(std::string());
    view_.display[0] = text(kTextSocketFault, language_);
    return;
  }
  for (int line = 0; line < kDisplayLines; ++line) view_.display[line] = displayText(s.displayLine(line));
}

}  // namespace halvern
