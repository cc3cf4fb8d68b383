// The figures of the web front end's overview and charts, read from the
// database with plain aggregate queries over a listing's condition (so a
// user account's restriction to its ports holds here too), the newest
// alarms, and the bar charts drawn as SVG on the server. Pure over a
// store::Database.
#pragma once

#include "lumarc/browse/report_plan.h"
#include "lumarc/records/date_time.h"
#include "lumarc/store/database.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumarc::web {

struct CallFigures {
  int64_t calls = 0, duration = 0, rpuls = 0, ppuls = 0;
};

// The condition of the call records ("A") between two days, inclusive.
store::Condition callsBetween(const DateTime& firstDay, const DateTime& lastDay, const std::vector<std::string>* ports);

// Throw odbc::OdbcError on a database failure.
std::array<int64_t, 24> callsByHour(store::Database& db, const store::Condition& where);
CallFigures callFigures(store::Database& db, const store::Condition& where);

struct NewestRecord {
  uint32_t exchange = 0;  // ipadr, host order
  DateTime time;
};
std::vector<NewestRecord> newestPerExchange(store::Database& db, const store::Condition& where);

struct AlarmRow {
  int64_t sqno = 0;
  std::string raised;  // adate as text
  std::string rule, severity, port;
  int64_t record = 0;  // Cdata sqno, 0 when none
  std::string text;
};
// The alarms, newest first (at most `limit`, 0: all). No table: none.
std::vector<AlarmRow> newestAlarms(store::Database& db, size_t limit);

// A bar chart of values with a label under each bar (UTF-8 texts).
std::string barChartSvg(const std::string& title, const std::vector<std::string>& labels,
                        const std::vector<double>& values);

}  // namespace lumarc::web
