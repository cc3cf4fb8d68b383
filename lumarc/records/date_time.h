// The record date-time: a local time in whole seconds without a zone, as
// stored in a DATE column, with its text form and calendar arithmetic.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumarc {

// A local date-time with seconds, as stored in a DATE column.
struct DateTime {
  int year = 0;    // full year, e.g. 2024; 0 = no date (NULL)
  int month = 0;   // 1-12
  int day = 0;     // 1-31
  int hour = 0;    // 0-23
  int minute = 0;  // 0-59
  int second = 0;  // 0-59

  bool isNull() const { return year == 0; }
  friend bool operator==(const DateTime&, const DateTime&) = default;
  friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

// DateTime helpers: text 'YYYY-MM-DD HH:MM:SS', parse (also with a fraction
// or a 'T'), and adding seconds across days, months and years.
std::string dateTimeText(const DateTime& t);
bool parseDateTime(std::string_view text, DateTime& out);
DateTime addSeconds(const DateTime& t, int64_t seconds);
// Seconds from 1970-01-01 00:00:00 to t, both read as the same local time.
int64_t secondsSinceEpoch(const DateTime& t);

}  // namespace lumarc
