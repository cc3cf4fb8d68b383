// The users and the dialled-digit and calling-number definitions: their
// list lines and column titles, the queries that list them, the edits of
// the properties window, and the replacement of a number's known prefix by
// the definition's name.
//
// Edits never store a wrong row: values are checked before anything is
// written, each edit is one statement (or one transaction), and a user is
// updated only in the columns a person edits, so that charge pulses another
// program adds meanwhile are kept.
#pragma once

#include "common/string_table.h"
#include "lumarc/records/records.h"
#include "lumarc/store/database.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::browse {

// RType of a definition.
inline constexpr int32_t kDialledDigits = 0;
inline constexpr int32_t kCallingNumber = 1;

// The only characters a definition's number may hold.
inline constexpr std::string_view kDefinitionDigits = "1234567890";

// ---- Lines (pure) ----

// The sum of a user's ten charge pulse counters.
uint64_t counterSum(const UserRecord& u);

// One users list line. format 0: port, selection mark, counter sum,
// "surname, name" in 40, title, department, section, comment; format 1:
// port, mark, sum and the pulses of each star class and of the services.
// Counters keep their last 10 digits. Precondition: format is 0 or 1.
std::string userLine(const UserRecord& u, int format);
// One definition list line: name, selection mark, acknowledged mark,
// number, comment.
std::string definitionLine(const RouteRecord& r);

// "User charge pulse counters" and the local time `now`.
std::string usersHeader1(const corvane::StringTable& texts, const std::tm& now);
// The column titles of the users list in a format (0 or 1).
std::string usersHeader2(const corvane::StringTable& texts, int format);
// The column titles of the definition lists.
std::string definitionsHeader(const corvane::StringTable& texts);

// ---- Lists ----

// The users in the view's order (sort 0: surname, name, port; sort 1: port,
// surname, name; names case-insensitive), handed to sink one by one.
// Returns the database's failure text, empty when every row was listed.
std::string listUsers(store::Database& db, int sort, const std::function<void(const UserRecord&)>& sink);
// The definitions of one type (kDialledDigits, kCallingNumber) in the
// view's order (sort 1: name, number; sort 0: number, name).
std::string listDefinitions(store::Database& db, int32_t type, int sort,
                            const std::function<void(const RouteRecord&)>& sink);

// ---- Edits ----

enum class SaveResult {
  Saved,
  DigitsMissing,  // the number is empty ("Digit definition missing!")
  NotDigits,      // the number holds other characters than kDefinitionDigits
  TooLong,        // a text is longer than its column (name 8, number 16, comment 32)
  Failed,         // a database error, or the row to update is gone (error says which)
};

// Stores a definition: a new one when row.RSno is 0 (row.RSno then holds
// its key), else the name, number, comment and acknowledged mark of the row
// with that key. Nothing is written unless Saved is returned.
// Precondition: row.RType is kDialledDigits or kCallingNumber.
SaveResult saveDefinition(store::Database& db, RouteRecord& row, std::string& error);
// Writes the edited texts (name, surn, titl, dept, sect, cmnt) of the user
// with row.sqno; counters and selection stay as the database has them.
// False, with nothing written, when a text is longer than its column, the
// user is gone, or the database fails.
bool saveUser(store::Database& db, const UserRecord& row, std::string& error);
// Deletes a definition; false when it is gone already or the database fails.
bool deleteDefinition(store::Database& db, int32_t key, std::string& error);
// Sets or clears the selection mark of every user.
bool setAllUsersSelected(store::Database& db, bool selected, std::string& error);
// Inverts the selection mark of one user; false when the user is gone.
bool toggleUserSelected(store::Database& db, int32_t sqno, std::string& error);

// ---- Number-to-name replacement ----

struct NumberReplacement {
  std::string text;
  bool acknowledged = false;
};

// The definitions of one type, indexed by number for the replacement. It is
// asked once for every record of a report, so a lookup is a binary search
// per distinct definition length, never a scan.
class DefinitionIndex {
 public:
  DefinitionIndex() = default;
  // The rows of `type` among rows; others are left out.
  DefinitionIndex(const std::vector<RouteRecord>& rows, int32_t type);
  // The definitions of `type` in the database; nothing (with the failure
  // text in error) when they cannot be read.
  static std::optional<DefinitionIndex> load(store::Database& db, int32_t type, std::string& error);

  // The number without its trailing blanks, cut to 32 characters, with the
  // longest definition number that begins it replaced by "(" name ")"; the
  // definition's acknowledged mark. Without a match: the number unchanged,
  // not acknowledged. Definitions without a number never match.
  NumberReplacement replace(std::string_view number) const;
  size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::string digits;  // trailing blanks removed, never empty
    std::string name;    // trailing blanks removed
    bool acknowledged = false;
    int32_t key = 0;
  };
  std::vector<Entry> entries_;   // by digits, then key
  std::vector<size_t> lengths_;  // the distinct digit lengths, longest first
};

}  // namespace lumarc::browse
