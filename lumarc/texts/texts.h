// Numbered user-interface texts of the management program.
#pragma once

#include "common/codepage.h"
#include "common/string_table.h"

namespace lumarc {

// Entry numbers. Command entries share the command's number and hold
// "tooltip\nlabel".
enum TextId : int {
  kTextLanguageTag = 11000,  // "Eng" / "Trk"
  kTextFileAccessFailed = 11065,
  kTextMemoryAllocationFailed = 13001,
  kTextDatabaseAccessFailed = 13116,
  kTextImportedRecords = 13118,
  kTextUserChargePulseCounters = 13127,
  kTextDefinitionColumns = 13148,   // column titles of the dialled-digit and calling-number lists
  kTextUserColumns = 13150,         // column titles of the users list, names format
  kTextUserCounterColumns = 13176,  // column titles of the users list, counters format
  kTextVoiceColumns = 13146,        // column titles of the voice recording list
  kTextChartTimeOfDay = 13158,
  kTextChartDuration = 13159,
  kTextChartPulses = 13160,
  kTextOutgoingMark = 13173,  // direction column of a recording line
  kTextIncomingMark = 13174,
  kTextSelectVoiceDirectory = 13880,  // voice browser dialogs
  kTextWaveFileFilter = 13881,
  kTextCaptionUsers = 13261,
  kTextCaptionDialledNumbers = 13262,
  kTextCaptionCallingNumbers = 13263,
  kTextCaptionCmdrBrowser = 13244,
  kTextCaptionVoiceBrowser = 13245,
  kTextCaptionWizard = 13264,
  kTextCaptionExchangeBrowser = 13265,
  kTextCaptionCallTrace = 13266,
  // clang-format off
  kTextCmdrLongColumns = 13145,     // column titles of the long CMDR record line
  kTextCmdrShortColumns = 13169,    // column titles of the short CMDR record line
  kTextDiscoveryColumns = 13042,    // column titles of the exchange browser's list
  kTextDiscoveryEnabled = 13043,    // wizard column, 9 bytes
  // clang-format on
  kTextDiscoveryDisabled = 13044,
  kTextNoCorvaneFound = 13960,  // exchange browser messages
  kTextWizardStartupFailed,
  kTextNetworkAdapter,

  // The IP settings wizard: its fields, messages and the analysis texts
  // (kTextWizardAnalysis + the analysis text's number, in its order).
  kTextIpAddressField = 14200,
  kTextSubnetMaskField,
  kTextDefaultGatewayField,
  kTextConnectionLost,
  kTextCorvaneRefused,  // followed by the exchange's text and "'"
  kTextUploading,       // "%i/%i of %s."
  kTextUploadFailed,
  kTextFactoryQuestion,
  kTextInvalidIpField,
  kTextWizardAnalysis = 14220,

  // CMDR report and selection form.
  kTextSubTotal = 13800,
  kTextTotal,
  kTextCalls,
  kTextDuration,
  kTextPulses,
  kTextCopyFailed,
  kTextSelectCmdrFilter,
  kTextSelectVoiceFilter,
  kTextNewRecord,
  kTextTemplate,
  kTextNoDetails,
  kTextRecordVariant,
  kTextAllRecords,
  kTextCallRecords,
  kTextSystemRecords,
  kTextServiceRecords,
  kTextMaliciousCalls,
  kTextRoomReports,
  kTextName,
  kTextPriceUnit,
  kTextDateRange,
  kTextTimeRange,
  kTextDurationMinMax,
  kTextExternalPulseMinMax,
  kTextInternalPulseMinMax,
  kTextIncomingSide,
  kTextAll,
  kTextIncomingSubscriber,
  kTextIncomingTrunk,
  kTextOutgoingSide,
  kTextOutgoingSubscriber,
  kTextOutgoingTrunk,
  kTextStarCount,
  kTextNoStar,
  kTextLineFormat,
  kTextLong,
  kTextShort,
  kTextReplaceDigits,
  kTextNo,
  kTextDialledDigits,
  kTextCallingNumber,
  kTextBoth,
  kTextAckedCallsFree,
  kTextListedUsers,
  kTextAllTimeSorted,
  kTextAllUserSorted,
  kTextSelectedUsers,
  kTextSingleUser,
  kTextDepartments,
  kTextSections,
  kTextUsedPort,
  kTextCorvaneIp,
  kTextCallDirection,
  kTextIncoming,
  kTextOutgoing,
  kTextReportFormats,  // the Save dialog's filters: text, CSV, PDF (one per line)

  // Link and database errors.
  kTextSocketClosedUnexpectedly = 13300,
  kTextSocketOpeningFault,
  kTextReceivedDataFormatFaulty,
  kTextSocketCreationFault,
  kTextInsufficientMemory,
  kTextPortAccessCodeNotFound,
  kTextConnectionLimitExceeded,
  kTextCorvaneRefusedConnection,
  kTextSocketConnectionFault,
  kTextSocketBindingFault,
  kTextSocketOptionsFault,
  kTextSocketIoctlFault,
  kTextDbaseAllocationFailed,
  kTextDbaseOpenFailed,
  kTextSqlConfigError,
  kTextImportQuestion,
  kTextUnableToLoadMail,
  kTextSendMailFailed,
  kTextDatabaseConnectionLost,  // followed by the driver's text
  kTextDatabaseConnectionRestored,
  // clang-format off
  kTextRecordingNotWritable,        // followed by " (<file>: <cause>)"
  kTextFileAccessRestored,          // after the file's name, followed by a count
  // clang-format on

  // Window texts.
  kTextPaneMonitor = 13400,
  kTextPaneCmdr,
  kTextPaneVoice,
  kTextPaneProperties,
  kTextInfoTitle,
  kTextInfoDescription,
  kTextCustomize,
  kTextOpenTip,
  kTextCloseTip,
  kTextScrollTip,
  kTextMailTip,
  kTextOpenLabel,
  kTextCloseLabel,
  kTextScrollLabel,
  kTextMailLabel,
  kTextCmdrAddressTip,
  kTextMonitorAddressTip,
  kTextVoiceAddressTip,
  kTextAutoScrollSetting,
  kTextLayer2Setting,
  kTextLanguageSetting,
  kTextMenuFile,
  kTextMenuView,
  kTextMenuHelp,
  kTextMenuExit,
  kTextNoDisplay,

  // The exchange's web pages and the sibling programs.
  kTextPageInDesktopBrowser = 13500,  // followed by the address
  kTextPageNotOpened,                 // followed by the address
  kTextProgramNotFound,               // followed by the program's name
  kTextProgramNotStarted,             // followed by the program's name
  kTextPageNotEmbeddedAsRoot,         // why a page leaves the window when run as root

  // Properties window.
  kTextPropProperty = 13600,
  kTextPropValue,
  kTextPropSwVersion,
  kTextPropRuntimeStatus,
  kTextPropDefaultDirectory,
  kTextPropReleaseNotes,
  kTextPropSystemSettings,
  kTextPropLanguage,
  kTextPropEnglish,
  kTextPropTurkish,
  kTextPropLayer2,
  kTextPropScroll,
  kTextPropEnabled,
  kTextPropDisabled,
  kTextPropDialledDigits,
  kTextPropCallingNumber,
  kTextPropName,
  kTextPropNumber,
  kTextPropComment,
  kTextPropAcknowledged,
  kTextPropNameDescription,
  kTextPropNumberDescription,
  kTextPropInformativeField,
  kTextPropAcknowledgedDescription,
  kTextPropUser,
  kTextPropPortAccessCode,
  kTextPropTotalChargePulses,
  kTextPropSurname,
  kTextPropTitle,
  kTextPropDepartments,
  kTextPropSections,
  kTextDigitDefinitionMissing,
  kTextDigitsOnly,
  kTextTextTooLong,
  kTextPropDatabase,
  kTextPropMainDatabase,
  kTextPropVoiceDatabase,
  kTextPropEmbedded,
  kTextPropPostgres,
  kTextPropOdbc,
  kTextPropHost,
  kTextPropPort,
  kTextPropDatabaseName,
  kTextPropUserName,
  kTextPropPassword,
  kTextPropConnectionString,
  kTextPropTestConnection,
  kTextConnectionSucceeded,
  kTextPropMainDatabaseDescription,
  kTextPropVoiceDatabaseDescription,
  kTextPropDatabaseNote,
  kTextDatabaseSettingsNotStored,
  kTextReleaseNote211,  // the release notes, newest first
  kTextReleaseNote210,
  kTextReleaseNote209,
  kTextReleaseNote208,
  kTextReleaseNote207,
  kTextReleaseNoteEarlier,

  // Alarms on stored call records: the message bar line and the alarm list.
  kTextAlarmsMenu = 13700,  // the View menu's entry of the alarm list
  kTextAlarmsTip,
  kTextAlarmsTitle,
  kTextAlarmCaption,  // the message bar line's first word
  kTextSeverityCritical,
  kTextSeverityWarning,
  kTextSeverityInfo,
  kTextAlarmTimeColumn,
  kTextAlarmSeverityColumn,
  kTextAlarmRuleColumn,
  kTextAlarmPortColumn,
  kTextAlarmTextColumn,
  kTextAlarmsRefresh,
  kTextAlarmsClose,
  kTextAlarmsShown,        // followed by the count
  kTextAlarmsNotRead,      // followed by the cause
  kTextAlarmRulesNotUsed,  // followed by "<file>:<line>: <reason>"
};

// The command numbers of the main window.
enum CommandId : int {
  kCmdCorvane = 305,
  kCmdCmdr = 306,
  kCmdVoice = 307,
  kCmdCloseView = 308,
  kCmdSaveProperties = 309,
  kCmdSettings = 310,
  kCmdBack = 311,
  kCmdHome = 312,
  kCmdDatabase = 313,
  kCmdSelect = 314,
  kCmdUsers = 315,
  kCmdDigits = 316,
  kCmdClip = 317,
  kCmdDelete = 318,
  kCmdScan = 319,
  kCmdAdd = 320,
  kCmdEdit = 321,
  kCmdChangeFormat = 322,
  kCmdChangeSort = 323,
  kCmdSaveTemplate = 327,
  kCmdList = 328,
  kCmdChart = 329,
  kCmdArchive = 330,
  kCmdTrash = 331,
  kCmdPlay = 332,
  kCmdCallTrace = 333,
  kCmdSelectAll = 334,
  kCmdSelectNone = 335,
  kCmdToggleSelection = 336,
  kCmdExpert = 337,
  kCmdWizard = 338,
  kCmdEasy = 339,
  kCmdSaveIp = 340,
  kCmdRecommendedIp = 341,
  kCmdUpload = 342,
  kCmdFactory = 343,
  kCmdMail = 357,
  kCmdSave = 358,
  kCmdPageBack = 359,
  kCmdPageForward = 360,
  kCmdPrint = 57607,
  kCmdAbout = 57664,
};

// The English table (complete) and the Turkish one (falling back to
// English), both as 8-bit text in their code pages.
const corvane::StringTable& englishTexts();
const corvane::StringTable& turkishTexts();
// The table for a language setting: Turkish when lang is 1 and the Turkish
// table is present, else English.
const corvane::StringTable& textsFor(uint32_t lang);
// Whether the Turkish table counts as present (its language tag reads "Trk").
bool turkishPresent();

// The label of a command entry: the text after its line break.
std::string commandLabel(const corvane::StringTable& t, int id);
// The tooltip of a command entry: the text before its line break.
std::string commandTip(const corvane::StringTable& t, int id);

}  // namespace lumarc
