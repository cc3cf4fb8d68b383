#include "lumarc/browse/selection_options.h"

#include "lumarc/browse/selection.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <ctime>
#include <string_view>
#include <vector>

namespace lumarc::browse {

namespace {

// clang-format off
const SelectionOption kOptions[] = {
    {"--month", "YYYY-MM|previous", "every day of one month, or of the month before this one"},
    {"--from", "YYYY-MM-DD", "the first day"},
    {"--to", "YYYY-MM-DD", "the last day"},
    {"--time-from", "HH:MM", "the start time of the first day"},
    {"--time-to", "HH:MM", "the end time of the last day"},
    {"--variant", "0-5", "the record types: 0 all, 1-5 the types A to E"},
    {"--mode", "0-5", "the listing: 0 by time, 1 by user, 2 selected users, 3 one user, 4 departments, 5 sections"},
    {"--user", "TEXT", "the user, department or section the listing names"},
    {"--dept", "TEXT", "the same as --user"},
    {"--section", "TEXT", "the same as --user"},
    {"--port", "TEXT", "the port"},
    {"--dialled", "TEXT", "the dialled digits"},
    {"--calling", "TEXT", "the calling number"},
    {"--exchange", "A.B.C.D", "the exchange's address"},
    {"--price", "N", "the price of one charge unit"},
    {"--unit", "TEXT", "the currency unit"},
    {"--line", "long|short", "the line form"},
    {"--replace", "none|dialled|calling|both", "numbers replaced by their definitions' names"},
    {"--direction", "all|in|out", "the calls' direction (voice)"},
};
const SelectionFlag kFlags[] = {
    {"--acked-free", "acknowledged calls are free"},
    {"--no-details", "only the user headings and the totals"},
};
// clang-format on

bool digitsOnly(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool parseDate(const std::string& v, DateTime& t) {
  if (v.size() != 10 || v[4] != '-' || v[7] != '-' || !digitsOnly(v.substr(0, 4)) || !digitsOnly(v.substr(5, 2)) ||
      !digitsOnly(v.substr(8, 2)))
    return false;
  DateTime d = t;
  d.year = std::atoi(v.substr(0, 4).c_str());
  d.month = std::atoi(v.substr(5, 2).c_str());
  d.day = std::atoi(v.substr(8, 2).c_str());
  d.hour = 0, d.minute = 0, d.second = 0;
  if (dateFields(d).year < 0) return false;
  t.year = d.year, t.month = d.month, t.day = d.day;
  return true;
}

bool parseTime(const std::string& v, DateTime& t) {
  if (v.size() != 5 || v[2] != ':' || !digitsOnly(v.substr(0, 2)) || !digitsOnly(v.substr(3, 2))) return false;
  const int h = std::atoi(v.substr(0, 2).c_str()), m = std::atoi(v.substr(3, 2).c_str());
  if (h > 23 || m > 59) return false;
  t.hour = h, t.minute = m, t.second = 0;
  return true;
}

bool parseChoice(const std::string& v, const std::vector<std::string>& words, int32_t& out) {
  for (size_t i = 0; i < words.size(); ++i)
    if (v == words[i]) {
      out = static_cast<int32_t>(i);
      return true;
    }
  return false;
}

}  // namespace

const SelectionOption* selectionOptions(size_t& count) {
  count = std::size(kOptions);
  return kOptions;
}

const SelectionFlag* selectionFlags(size_t& count) {
  count = std::size(kFlags);
  return kFlags;
}

bool isSelectionFlag(const std::string& name) {
  for (const SelectionFlag& f : kFlags)
    if (name == f.name) return true;
  return false;
}

bool applySelectionOption(const std::string& a, const std::string& v, corvane::CodePage cp, TemplateRecord& s,
                          std::string& why) {
  auto bad = [&] {
    why = "invalid value \"" + v + "\" for " + a;
    return false;
  };
  auto text = [&] { return corvane::fromUtf8(v, cp); };
  if (a == "--month") {
    // Every day of one month: a calendar month, or the one before today's.
    int y = 0, m = 0;
    if (v == "previous") {
      const std::time_t now = std::time(nullptr);
      std::tm tm{};
      localtime_r(&now, &tm);
      y = tm.tm_year + 1900, m = tm.tm_mon;  // tm_mon is 0-based: the previous month 1-based
      if (m == 0) y -= 1, m = 12;
    } else if (v.size() == 7 && v[4] == '-' && digitsOnly(v.substr(0, 4)) && digitsOnly(v.substr(5, 2))) {
      y = std::atoi(v.substr(0, 4).c_str()), m = std::atoi(v.substr(5, 2).c_str());
    }
    if (m < 1 || m > 12 || y < 100) return bad();
    DateTime last{y, m, 31, 0, 0, 0};
    while (dateFields(last).year < 0) --last.day;
    s.TStr.year = y, s.TStr.month = m, s.TStr.day = 1;
    s.TEnd.year = y, s.TEnd.month = m, s.TEnd.day = last.day;
    return true;
  }
  if (a == "--from") return parseDate(v, s.TStr) || bad();
  if (a == "--to") return parseDate(v, s.TEnd) || bad();
  if (a == "--time-from") return parseTime(v, s.TStr) || bad();
  if (a == "--time-to") return parseTime(v, s.TEnd) || bad();
  if (a == "--variant" || a == "--mode") {
    if (v.size() != 1 || v[0] < '0' || v[0] > '5') return bad();
    (a == "--variant" ? s.TRect : s.TLtyp) = v[0] - '0';
    return true;
  }
  if (a == "--user" || a == "--dept" || a == "--section") {
    s.TLstr = text();
    return true;
  }
  if (a == "--port") return (s.Tpuport = text(), true);
  if (a == "--dialled") return (s.Tddgts = text(), true);
  if (a == "--calling") return (s.Tcdgts = text(), true);
  if (a == "--unit") return (s.TPunt = text(), true);
  if (a == "--exchange") {
    in_addr addr{};
    if (::inet_pton(AF_INET, v.c_str(), &addr) != 1) return bad();
    s.ipadr = ntohl(addr.s_addr);
    return true;
  }
  if (a == "--price") {
    char* end = nullptr;
    const double p = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !(p >= 0 && p <= 99999999)) return bad();
    s.TPrce = p;
    return true;
  }
  if (a == "--line") return parseChoice(v, {"long", "short"}, s.TRpfm) || bad();
  if (a == "--replace") return parseChoice(v, {"none", "dialled", "calling", "both"}, s.TRplc) || bad();
  if (a == "--direction") return parseChoice(v, {"all", "in", "out"}, s.vrdir) || bad();
  if (a == "--acked-free") return (s.TAckf = 1, true);
  if (a == "--no-details") return (s.TFlag |= kNoDetails, true);
  why = "unknown option " + a;
  return false;
}

}  // namespace lumarc::browse
