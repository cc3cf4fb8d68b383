#include "lumarc/browse/selection.h"

#include "common/format.h"

#include <cassert>

namespace lumarc::browse {

using store::Condition;
using store::Expr;
using store::SortKey;
using Op = store::Condition::Op;

namespace {

constexpr int32_t kPulseMax = 99999999;

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leapYear(y) ? 29 : days[m - 1];
}

std::string cut(const std::string& s, size_t width) { return s.size() > width ? s.substr(0, width) : s; }

// The lower and upper bound of a range, either of which may be open.
void addRange(std::vector<Condition>& parts, const std::string& column, int64_t min, std::optional<int64_t> max) {
  parts.push_back(Condition::compare(Expr::column(column), Op::Ge, min));
  if (max) parts.push_back(Condition::compare(Expr::column(column), Op::Le, *max));
}

// 1024 * hour + minute >= key (or <= key): the time of day of a timestamp
// column against a time key, as comparisons of its hour and minute parts.
Condition timeBound(const std::string& column, int32_t key, bool lower) {
  const int64_t h = key / 1024, m = key % 1024;
  const Op strict = lower ? Op::Gt : Op::Lt, inclusive = lower ? Op::Ge : Op::Le;
  return Condition::any({Condition::compare(Expr::hour(column), strict, h),
                         Condition::all({Condition::compare(Expr::hour(column), Op::Eq, h),
                                         Condition::compare(Expr::minute(column), inclusive, m)})});
}

}  // namespace

TemplateRecord defaultSelection() {
  TemplateRecord s;
  s.TSno = -1;
  s.TRect = kCallRecords;
  s.TStr = DateTime{2000, 1, 1, 0, 0, 0};
  s.TEnd = DateTime{2099, 12, 31, 23, 59, 0};
  s.TMid = DateTime{1899, 12, 30, 0, 0, 0};
  s.TMad = DateTime{1899, 12, 30, 23, 59, 0};
  s.TPmie = 0;
  s.TPmae = kPulseMax;
  s.TPmii = 0;
  s.TPmai = kPulseMax;
  return s;
}

DateFields dateFields(const DateTime& t) {
  const bool valid = t.year >= 100 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
                     t.day <= daysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
                     t.minute <= 59 && t.second >= 0 && t.second <= 59;
  if (!valid) return {};
  return DateFields{t.year, t.month, t.day, t.hour, t.minute, t.second};
}

int32_t dateKey(const DateFields& f) { return 1024 * f.year + 64 * f.month + f.day; }
int32_t timeKey(const DateFields& f) { return 1024 * f.hour + f.minute; }
int32_t secondsOfDay(const DateFields& f) { return f.hour * 3600 + f.minute * 60 + f.second; }

int64_t bcdDate(const DateFields& f) {
  if (f.year < 0) return -1;
  const int y = f.year % 100;
  return (y / 10) << 20 | (y % 10) << 16 | (f.month / 10) << 12 | (f.month % 10) << 8 | (f.day / 10) << 4 |
         (f.day % 10);
}

int64_t bcdTime(const DateFields& f, int seconds) {
  if (f.hour < 0) return -1;
  return (f.hour / 10) << 20 | (f.hour % 10) << 16 | (f.minute / 10) << 12 | (f.minute % 10) << 8 |
         (seconds / 10) << 4 | (seconds % 10);
}

std::string selectionPort(std::string_view text) { return corvane::cleanPortText(text); }

std::string selectionDigits(std::string_view text) {
  std::string out;
  for (char c : text) {
    const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'D') || c == '*' || c == '#';
    if (!digit) break;
    out += c;
  }
  return out;
}

// ---- CMDR ----

// (year, month, day) of a timestamp column >= (or <=) a date key, compared
// field by field.
static Condition dateBound(const std::string& column, int32_t key, bool lower) {
  const int64_t y = key / 1024, m = key % 1024 / 64, d = key % 64;
  const Op strict = lower ? Op::Gt : Op::Lt, inclusive = lower ? Op::Ge : Op::Le;
  return Condition::any(
      {Condition::compare(Expr::year(column), strict, y),
       Condition::all({Condition::compare(Expr::year(column), Op::Eq, y),
                       Condition::any({Condition::compare(Expr::month(column), strict, m),
                                       Condition::all({Condition::compare(Expr::month(column), Op::Eq, m),
                                                       Condition::compare(Expr::day(column), inclusive, d)})})})});
}

Condition CmdrFilter::condition(bool byPort) const {
  std::vector<Condition> parts;
  // The date keys are monotonic in the calendar date, so the key range is
  // the tdate range from the first day's start to the last day's end; the
  // index on tdate serves it. An invalid start key (negative) bounds
  // nothing, an invalid end key selects nothing.
  if (dateTo < 0 || dateFrom > dateTo) return Condition::none();
  if (byPort) {
    if (dateFrom >= 0) parts.push_back(dateBound("tdate", dateFrom, true));
    parts.push_back(dateBound("tdate", dateTo, false));
  } else {
    if (dateFrom >= 0) {
      const DateTime start{dateFrom / 1024, dateFrom % 1024 / 64, dateFrom % 64, 0, 0, 0};
      parts.push_back(Condition::compare(Expr::column("tdate"), Op::Ge, start));
    }
    const DateTime end{dateTo / 1024, dateTo % 1024 / 64, dateTo % 64, 23, 59, 59};
    parts.push_back(Condition::compare(Expr::column("tdate"), Op::Le, end));
  }
  // Time of day within every day; the whole day needs no test.
  if (timeTo < 0 || timeFrom > timeTo) return Condition::none();
  if (timeFrom > 0) parts.push_back(timeBound("tdate", timeFrom, true));
  if (timeTo < timeKey(DateFields{0, 0, 0, 23, 59, 0})) parts.push_back(timeBound("tdate", timeTo, false));
  if (!type.empty()) parts.push_back(Condition::eq("type", type));
  if (ipadr != 0) parts.push_back(Condition::eq("ipadr", int64_t{static_cast<int32_t>(ipadr)}));
  if (calls) {
    addRange(parts, "duration", durationMin, durationMax ? std::optional<int64_t>(*durationMax) : std::nullopt);
    addRange(parts, "rpuls", rpulsMin, rpulsMax);
    addRange(parts, "ppuls", ppulsMin, ppulsMax);
    if (!uport.empty()) parts.push_back(Condition::eq("uport", uport));
    if (!dialled.empty())
      parts.push_back(Condition::compare(Expr::left("rdata", static_cast<int>(dialled.size())), Op::Eq, dialled));
    if (!calling.empty())
      parts.push_back(Condition::compare(Expr::left("cdata", static_cast<int>(calling.size())), Op::Eq, calling));
  }
  if (!cport.empty()) parts.push_back(Condition::eq("cport", cport));
  return Condition::all(std::move(parts));
}

store::Sort cmdrOrder(int32_t mode) {
  if (mode >= kAllUserSorted && mode <= kSections)
    return store::Sort{SortKey{Expr::column("cport")}, SortKey{Expr::column("tdate")}, SortKey{Expr::column("sqno")}};
  return store::Sort{SortKey{Expr::column("tdate")}, SortKey{Expr::column("sqno")}};
}

// ---- Voice ----

Condition VoiceFilter::condition() const {
  std::vector<Condition> parts;
  addRange(parts, "rcddate", dateFrom, dateTo);
  addRange(parts, "rcdtime", timeFrom, timeTo);
  addRange(parts, "duration", durationMin, durationMax ? std::optional<int64_t>(*durationMax) : std::nullopt);
  if (!port.empty()) parts.push_back(Condition::eq("rcddsq", port));
  if (!dialled.empty())
    parts.push_back(Condition::compare(Expr::left("rcdrcv", static_cast<int>(dialled.size())), Op::Eq, dialled));
  if (!calling.empty())
    parts.push_back(Condition::compare(Expr::left("rcdcni", static_cast<int>(calling.size())), Op::Eq, calling));
  if (ipadr != 0) parts.push_back(Condition::eq("ipadr", int64_t{static_cast<int32_t>(ipadr)}));
  if (direction == kIncoming) parts.push_back(Condition::isClear("Drog"));
  if (direction == kOutgoing) parts.push_back(Condition::isSet("Drog"));
  if (!rcdport.empty()) parts.push_back(Condition::eq("rcdport", rcdport));
  return Condition::all(std::move(parts));
}

store::Sort voiceOrder(int32_t mode) {
  store::Sort order;
  if (mode >= kAllUserSorted && mode <= kSections) order.push_back(SortKey{Expr::column("rcdport")});
  order.push_back(SortKey{Expr::column("rcddate")});
  order.push_back(SortKey{Expr::column("rcdtime")});
  return order;
}

// ---- Users ----

std::string userNameText(const UserRecord& u) {
  std::string name;
  const std::string_view surname = trimRight(u.surn);
  if (!surname.empty() || !trimRight(u.name).empty()) name = std::string(surname) + ", " + u.name;
  name.resize(40, ' ');
  return name;
}

ListingUsers::ListingUsers(store::Database& db, const UserRule& rule)
    : db_(db), mode_(rule.mode), listed_(rule.listed) {}

const ListingUsers::Entry& ListingUsers::lookUp(const std::string& port) {
  auto it = cache_.find(port);
  if (it != cache_.end()) return it->second;
  Entry e;
  store::DrptPset users(db_);
  if (users.open(Condition::eq("cport", port), store::sortBy("sqno"))) {
    e.found = users.next(e.user);
  }
  if (!users.error().empty() && error_.empty()) error_ = users.error();
  return cache_.emplace(port, std::move(e)).first->second;
}

bool ListingUsers::listed(const std::string& port) {
  if (!UserRule{mode_, {}}.needsUserRecord()) return true;
  const Entry& e = lookUp(port);
  if (!e.found) return false;
  if (mode_ == kSelectedUsers) return e.user.Slct;
  return (mode_ == kDepartments ? e.user.dept : e.user.sect) == listed_;
}

std::string ListingUsers::heading(const std::string& port) {
  const Entry& e = lookUp(port);
  std::string name = e.found ? userNameText(e.user) : std::string();
  name.resize(trimRight(name).size());
  return name + " " + port;
}

// ---- Templates ----

std::optional<std::vector<TemplateRecord>> loadTemplates(store::Database& db, std::string& error) {
  store::DrptTset t(db);
  std::vector<TemplateRecord> rows;
  if (!t.open({}, store::Sort{SortKey{Expr::column("TName")}, SortKey{Expr::column("TSno")}})) {
    error = t.error();
    return std::nullopt;
  }
  TemplateRecord r;
  while (t.next(r)) rows.push_back(r);
  if (!t.error().empty()) {
    error = t.error();
    return std::nullopt;
  }
  return rows;
}

std::optional<TemplateRecord> findTemplate(store::Database& db, const std::string& name, std::string& error) {
  error.clear();
  store::DrptTset t(db);
  if (!t.open(Condition::eq("TName", name), store::sortBy("TSno"))) {
    error = t.error();
    return std::nullopt;
  }
  TemplateRecord r;
  if (t.next(r)) return r;
  error = t.error();
  return std::nullopt;
}

bool saveTemplate(store::Database& db, TemplateRecord& s, std::string& error) {
  namespace w = width;
  s.TName = cut(s.TName, w::kTName);
  s.TPunt = cut(s.TPunt, w::kTPort);
  s.TUprt = cut(s.TUprt, w::kTPort);
  s.TDnam = cut(s.TDnam, w::kTPort);
  s.TCnam = cut(s.TCnam, w::kTPort);
  s.Tpuport = cut(s.Tpuport, w::kTPort);
  s.Tddgts = cut(s.Tddgts, w::kTDgts);
  s.Tcdgts = cut(s.Tcdgts, w::kTDgts);
  s.Tdept = cut(s.Tdept, w::kTDept);
  s.Tsect = cut(s.Tsect, w::kTSect);
  s.TLstr = cut(s.TLstr, w::kTLstr);
  store::DrptTset t(db);
  const bool ok = s.TSno <= 0 ? t.add(s) : t.update(s);
  if (!ok) error = t.error();
  return ok;
}

bool deleteTemplate(store::Database& db, int32_t key, std::string& error) {
  store::DrptTset t(db);
  if (!t.remove(key)) {
    error = t.error();
    return false;
  }
  return true;
}

}  // namespace lumarc::browse
