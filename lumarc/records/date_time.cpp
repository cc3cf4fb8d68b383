#include "lumarc/records/date_time.h"

#include <cstdio>

namespace lumarc {

std::string dateTimeText(const DateTime& t) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

bool parseDateTime(std::string_view s, DateTime& out) {
  out = DateTime{};
  auto num = [&](size_t pos, size_t len, int& v) {
    if (pos + len > s.size()) return false;
    v = 0;
    for (size_t i = pos; i < pos + len; ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      v = v * 10 + (s[i] - '0');
    }
    return true;
  };
  DateTime t;
  size_t timeAt = 0;
  if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
    // ISO: 'YYYY-MM-DD[ HH:MM:SS[.fff]]' (SQLite, PostgreSQL)
    if (!num(0, 4, t.year) || !num(5, 2, t.month) || !num(8, 2, t.day)) return false;
    timeAt = 11;
  } else if (s.size() >= 8 && s[2] == '/' && s[5] == '/') {
    // 'MM/DD/YY[YY] HH:MM:SS': how the mdbtools driver writes Access dates
    if (!num(0, 2, t.month) || !num(3, 2, t.day)) return false;
    if (num(6, 4, t.year) && (s.size() == 10 || s[10] == ' ')) {
      timeAt = 11;
    } else if (num(6, 2, t.year) && (s.size() == 8 || s[8] == ' ')) {
      t.year += t.year < 70 ? 2000 : 1900;
      timeAt = 9;
    } else {
      return false;
    }
  } else {
    return false;
  }
  if (s.size() >= timeAt + 8 && (s[timeAt - 1] == ' ' || s[timeAt - 1] == 'T')) {
    if (!num(timeAt, 2, t.hour) || s[timeAt + 2] != ':' || !num(timeAt + 3, 2, t.minute) || s[timeAt + 5] != ':' ||
        !num(timeAt + 6, 2, t.second))
      return false;
  }
  out = t;
  return true;
}

namespace {
// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}
}  // namespace

int64_t secondsSinceEpoch(const DateTime& t) {
  const int64_t days = daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

DateTime addSeconds(const DateTime& t, int64_t seconds) {
  int64_t secs = secondsSinceEpoch(t) + seconds;
  int64_t d = secs >= 0 ? secs / 86400 : (secs - 86399) / 86400;
  int64_t rem = secs - d * 86400;
  DateTime r;
  civilFromDays(d, r.year, r.month, r.day);
  r.hour = static_cast<int>(rem / 3600);
  r.minute = static_cast<int>((rem / 60) % 60);
  r.second = static_cast<int>(rem % 60);
  return r;
}

}  // namespace lumarc
