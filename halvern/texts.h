// Numbered user-interface texts of the softphone in its four languages.
// Texts are 8-bit bytes in the code page of their language; the display and
// the widgets convert them through that code page (common/qt/qt_text.h).
#pragma once

#include "common/codepage.h"
#include "common/string_table.h"

#include <string>

namespace halvern {

// Entry numbers. The window-menu items share their command's number.
enum TextId : int {
  kTextAboutMenu = 16,  // "&About Halvern..."
  kTextOleFailed = 100,
  kTextSocketsFailed = 103,
  kTextTagUpdateTitle = 140,  // the tag dialog's title

  kTextCompany = 14000,  // "Brennic"
  kTextLanguage = 14002,
  kTextEnglish = 14003,
  kTextTurkish = 14004,
  kTextSettingsTitle = 14005,
  kTextHostLabel = 14006,
  kTextAccountLabel = 14007,
  kTextPasswordLabel = 14008,
  kTextTagDefault = 14011,
  kTextTagShiftFastFlash = 14012,
  kTextAuthIdLabel = 14013,
  kTextKeyEsc = 14014,
  kTextKeyOk = 14015,
  kTextKeyDel = 14016,
  kTextAudioDeviceNotFound = 14017,
  kTextTagShiftSlowFlash = 14019,
  kTextKeyYes = 14022,
  kTextKeyNo = 14023,
  kTextKeyMute = 14024,
  kTextKeyRec = 14025,
  kTextKeyFlsh = 14026,
  kTextKeyTran = 14027,
  kTextKeyShift = 14028,
  kTextKeyRed = 14029,
  kTextKeyDsc = 14030,
  kTextKeyCnf = 14031,
  kTextSocketFault = 14032,
  kTextReinstall = 14033,
  kTextWindowsVersion = 14034,
  kTextLampFwd = 14035,
  kTextLampWkUp = 14036,
  kTextLampCamp = 14037,
  kTextLampDsbl = 14038,
  kTextLampVmsg = 14039,
  kTextTagShiftOn = 14040,
  kTextLoad = 14041,
  kTextSave = 14042,
  kTextOk = 14043,
  kTextPolish = 14044,
  kTextHungarian = 14045,
  kTextConnectedAs = 14046,  // "Connected to %s as %s"
  // Settings dialog: profile row and buttons; start-up failure.
  kTextProfile = 14047,
  kTextDelete = 14048,
  kTextCancel = 14049,
  kTextTimerFailed = 14050,  // "Timer startup failed"

  // Voice recordings window.
  kTextDownloadFailed = 16013,
  kTextDownloadedFile = 16014,
  kTextFileOpenFailed = 16015,
  kTextDownloading = 16016,
  kTextConnectingToServer = 16017,
  kTextVoiceRecordingsTitle = 16018,
  kTextDownload = 16019,
  kTextNoConnection = 16020,
  kTextLampInUse = 16040,

  // Window menu.
  kTextSettingsMenu = 32771,  // "&Settings..."
  kTextEditTagsMenu = 32772,
  kTextVoiceRecordingsMenu = 32773,
};

// The table of a language setting: 1 Turkish, 2 Polish, 3 Hungarian, any
// other value English. Every language falls back to English for an entry it
// lacks; each table's code page is its language's (CP1254 Turkish, CP1250
// Polish and Hungarian, CP1252 English).
const corvane::StringTable& textsFor(int language);
// The text of entry id in a language, as 8-bit bytes in its code page; empty
// for an unknown id.
const std::string& text(int id, int language);
// The language a setting value stands for (English beyond 3).
corvane::Language languageOf(int language);

}  // namespace halvern
