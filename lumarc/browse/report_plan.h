// The report plan: what a listing of a selection does, read from the
// selection (one Tmpl03 row) in one place. The CMDR report, the voice
// listing, both browsers and `lumarc-cli report` decide from the plan what
// they query, how they group and price the rows and how the lines look;
// none of them reads the selection's fields. Pure: no database, no window.
#pragma once

#include "lumarc/browse/selection.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/records/records.h"
#include "lumarc/store/database.h"

#include <cstdint>
#include <string>

namespace lumarc::browse {

// Which table a listing reads.
enum class ListedTable { Cmdr, Voice };

// The tests a CMDR listing applies to call records after the query.
struct CallTests {
  int32_t incoming = 0;  // TTlic: 0 any, 1 no incoming trunk, 2 incoming trunk only
  int32_t outgoing = 0;  // TTlog: the same for the outgoing side
  int32_t stars = 0;     // TStar: 0 any, else the star count + 1

  // Whether a record is listed; records other than type "A" always are.
  bool passes(const CmdrRecord& r) const;
};

// What a call costs.
struct AmountRule {
  double price = 0;               // per pulse; 0 prices nothing
  bool acknowledgedFree = false;  // calls to acknowledged numbers cost nothing
  std::string unit;               // the currency text after every amount

  struct Amounts {
    double external = 0, internal = 0;
  };
  // A call record ("A") with pulses is priced unless it is free; every
  // other record costs nothing.
  Amounts of(const CmdrRecord& r, bool acknowledged) const;
};

struct ReportPlan {
  ListedTable table = ListedTable::Cmdr;

  // ---- The query ----
  CmdrFilter cmdr;         // the structured filters (table Cmdr) ...
  VoiceFilter voice;       // ... or (table Voice)
  store::Condition where;  // the listing's WHERE clause, every value bound
  store::Sort order;       // the listing's order; total (ending in the key) for Cdata
  UserRule users;
  // A condition every read of the listing keeps besides the selection's
  // (an account's ports in the web front end); empty: none. `where` holds
  // it too.
  store::Condition restriction;
  // The structured filters' condition (dates through their parts, or not),
  // with the restriction.
  store::Condition cmdrCondition(bool dateParts) const {
    store::Condition c = cmdr.condition(dateParts);
    return restriction.empty() ? c : store::Condition::all({std::move(c), restriction});
  }
  // A grouped CMDR listing runs `where` once per user port (its date range
  // compared through the date's parts, so that the port index serves it).
  bool byUser() const { return users.grouped(); }

  // ---- The lines ----
  LineFormat format = LineFormat::Long;
  DigitReplacement replacement = DigitReplacement::None;
  bool replacesDialled() const {
    return replacement == DigitReplacement::Dialled || replacement == DigitReplacement::Both;
  }
  bool replacesCalling() const {
    return replacement == DigitReplacement::Calling || replacement == DigitReplacement::Both;
  }
  // The acknowledged mark decides free calls and shows in the short line
  // and in the CSV beside the dialled digits' name, so it is looked up (in
  // the dialled-digit definitions) whenever free calls, the short line or
  // the dialled digits' replacement needs it.
  bool looksUpAcknowledged = false;
  bool needsDialledDefinitions() const { return replacesDialled() || looksUpAcknowledged; }
  bool needsCallingDefinitions() const { return replacesCalling(); }
  // False: a call listing shows no record lines, only the headings and the
  // totals ("No details" in a mode other than 0).
  bool details = true;
  CallTests tests;

  // ---- The amounts ----
  AmountRule amounts;
};

// The plan of a selection's listing of one table.
ReportPlan planFor(const TemplateRecord& s, ListedTable table = ListedTable::Cmdr);

}  // namespace lumarc::browse
