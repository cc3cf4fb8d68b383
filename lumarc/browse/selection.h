// The selection of the CMDR and voice recording browsers: one Tmpl03 row
// (the form's working copy, each browser's copy, a saved template), its
// defaults, the templates in the database, and the structured filters a
// selection becomes: numbers, ranges and prefixes that the store's dialect
// renders with every value bound. Also the user tests of the grouped
// listing modes. A selection is read into these by planFor (report_plan.h).
#pragma once

#include "lumarc/records/records.h"
#include "lumarc/store/database.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::browse {

// Listing modes (TLtyp).
enum ListingMode : int32_t {
  kAllTimeSorted = 0,
  kAllUserSorted = 1,
  kSelectedUsers = 2,
  kSingleUser = 3,
  kDepartments = 4,
  kSections = 5,
};

// Record variants (TRect): 0 all, 1-5 the types "A".."E".
inline constexpr int32_t kAllRecords = 0;
inline constexpr int32_t kCallRecords = 1;

// Call directions of the voice selection (vrdir).
inline constexpr int32_t kAnyDirection = 0, kIncoming = 1, kOutgoing = 2;

// TFlag bit 0: list only the user headings and the totals.
inline constexpr int32_t kNoDetails = 1;

// The end of the duration picker: a maximum at or above it bounds nothing.
inline constexpr int32_t kOpenDurationMax = 23 * 3600 + 59 * 60;

// A new selection as the form shows it: key -1, variant "A Call records",
// dates 2000-01-01 00:00 to 2099-12-31 23:59, durations 00:00:00 to
// 23:59:00, pulse ranges 0 to 99999999, everything else 0 or empty.
TemplateRecord defaultSelection();

// Calendar fields of a date-time; every field -1 when the value is not a
// valid date and time (no date, a month, day or time out of range).
struct DateFields {
  int year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1;
};
DateFields dateFields(const DateTime& t);
// 1024 * year + 64 * month + day, and 1024 * hour + minute (with -1 fields
// for an invalid value).
int32_t dateKey(const DateFields& f);
int32_t timeKey(const DateFields& f);
// hours * 3600 + minutes * 60 + seconds of a time of day.
int32_t secondsOfDay(const DateFields& f);
// BCD YYMMDD of the date and BCD HHMMSS of the time (seconds given), as the
// voice table stores them; -1 for an invalid value.
int64_t bcdDate(const DateFields& f);
int64_t bcdTime(const DateFields& f, int seconds);

// A used port as the selection holds it: leading blanks skipped, then
// "0"-"9" and "A"-"F" up to the first other character, at most 8.
std::string selectionPort(std::string_view text);
// The leading digits of a dialled-digit or calling-number field: "0"-"9",
// "A"-"D", "*" and "#" up to the first other character.
std::string selectionDigits(std::string_view text);

// ---- CMDR (table Cdata) ----

// The rows a CMDR selection asks the database for.
struct CmdrFilter {
  int32_t dateFrom = 0, dateTo = 0;  // date keys; a range within which tdate's day lies
  int32_t timeFrom = 0, timeTo = 0;  // time keys, applied within every day
  std::string type;                  // "A".."E", empty = every type
  uint32_t ipadr = 0;                // 0 = any exchange
  // Variant 1 only (calls):
  bool calls = false;
  int32_t durationMin = 0;
  std::optional<int32_t> durationMax;  // nothing = no upper bound
  int32_t rpulsMin = 0, rpulsMax = 0, ppulsMin = 0, ppulsMax = 0;
  std::string uport;    // 8 characters right-aligned, empty = any
  std::string dialled;  // rdata prefix, empty = any
  std::string calling;  // cdata prefix, empty = any
  // Listing mode 3: the single user's port (8 characters), empty otherwise.
  std::string cport;

  // byPort: the date range compared through the date's parts rather than
  // the column itself, so that a query of one user's rows is served by the
  // port index and not by a scan of the time index.
  store::Condition condition(bool byPort = false) const;
};
// "tdate, sqno" for mode 0 (and any mode outside 1-5), "cport, tdate,
// sqno" else: a total order, so that a listing can resume after any row.
store::Sort cmdrOrder(int32_t mode);

// ---- Voice recordings (table Vdata00) ----

struct VoiceFilter {
  int64_t dateFrom = 0, dateTo = 0;  // BCD YYMMDD
  int64_t timeFrom = 0, timeTo = 0;  // BCD HHMMSS: start HHMM00, end HHMM59
  int32_t durationMin = 0;
  std::optional<int32_t> durationMax;
  std::string port;     // rcddsq, not padded; empty = any
  std::string dialled;  // rcdrcv prefix
  std::string calling;  // rcdcni prefix
  uint32_t ipadr = 0;
  int32_t direction = kAnyDirection;
  std::string rcdport;  // listing mode 3: 8 characters, empty otherwise

  store::Condition condition() const;
};
// "rcddate, rcdtime" for mode 0, "rcdport, rcddate, rcdtime" for modes 1-5.
store::Sort voiceOrder(int32_t mode);

// ---- The users of a grouped listing ----

// Who a listing lists, and whether it groups its rows by user port.
struct UserRule {
  int32_t mode = kAllTimeSorted;  // TLtyp; a value outside 0-5 lists like mode 0
  std::string listed;             // TLstr: the user (mode 3), department (4) or section (5)

  // Modes 1-5: rows by port, each user under a heading with a sub-total.
  bool grouped() const { return mode >= kAllUserSorted && mode <= kSections; }
  // Modes 2, 4 and 5: the user's record decides whether its port is listed.
  bool needsUserRecord() const { return mode == kSelectedUsers || mode == kDepartments || mode == kSections; }
};

// The user tests and heading lines of listing modes 1-5, shared by both
// browsers: each port is looked up once per listing.
class ListingUsers {
 public:
  ListingUsers(store::Database& db, const UserRule& rule);
  // Whether records of that port are listed: always in modes 1 and 3; mode
  // 2 needs the user's selection mark, mode 4 its department and mode 5 its
  // section to equal TLstr. A port without a user is not listed in 2, 4, 5.
  bool listed(const std::string& port);
  // The heading: the user's name text (surname, ", ", name, in 40) with its
  // trailing blanks removed, a blank and the port as stored.
  std::string heading(const std::string& port);
  // The database's failure text, empty when every look-up worked.
  const std::string& error() const { return error_; }

 private:
  struct Entry {
    bool found = false;
    UserRecord user;
  };
  const Entry& lookUp(const std::string& port);
  store::Database& db_;
  int32_t mode_;
  std::string listed_;
  std::map<std::string, Entry> cache_;
  std::string error_;
};

// "surname, name" (surname without trailing blanks) padded or cut to 40;
// 40 blanks for an empty surname and name.
std::string userNameText(const UserRecord& u);

// ---- Templates (table Tmpl03) ----

// The templates in TName order; nothing (with the failure text) on error.
std::optional<std::vector<TemplateRecord>> loadTemplates(store::Database& db, std::string& error);
// The template of that name, or nothing (error empty when it just is not there).
std::optional<TemplateRecord> findTemplate(store::Database& db, const std::string& name, std::string& error);
// Stores a selection: a new row when TSno <= 0 (TSno then holds its key),
// else an update of that row. Texts are cut to their column widths.
bool saveTemplate(store::Database& db, TemplateRecord& s, std::string& error);
bool deleteTemplate(store::Database& db, int32_t key, std::string& error);

}  // namespace lumarc::browse
