#include "lumarc/alarms/alarm_rules.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace lumarc::alarms {

const char* severityName(Severity s) {
  switch (s) {
    case Severity::Critical: return "critical";
    case Severity::Warning: return "warning";
    case Severity::Info: return "info";
  }
  return "info";
}

int journalPriority(Severity s) {
  switch (s) {
    case Severity::Critical: return 2;
    case Severity::Warning: return 4;
    case Severity::Info: return 6;
  }
  return 6;
}

const char* ruleKindName(RuleKind k) {
  switch (k) {
    case RuleKind::Destination: return "destination";
    case RuleKind::LongCall: return "long_call";
    case RuleKind::Burst: return "burst";
    case RuleKind::UnknownPort: return "unknown_port";
    case RuleKind::Silence: return "silence";
  }
  return "destination";
}

namespace {

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

int64_t secondsOf(const DateTime& t) {
  const int64_t days = daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

int weekdayOf(const DateTime& t) {
  // 1970-01-01 was a Thursday (3 counted from Monday).
  const int64_t days = daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
  return static_cast<int>(((days % 7) + 7 + 3) % 7);
}

bool TimeWindow::contains(const DateTime& t) const {
  bool in = (days >> weekdayOf(t)) & 1u;
  if (in && !allDay) {
    const int m = t.hour * 60 + t.minute;
    in = fromMinute <= toMinute ? (m >= fromMinute && m < toMinute) : (m >= fromMinute || m < toMinute);
  }
  return outside ? !in : in;
}

bool Rule::appliesToPort(const std::string& trimmedPort) const {
  return ports.empty() || std::find(ports.begin(), ports.end(), trimmedPort) != ports.end();
}

namespace {

struct Parser {
  std::vector<RuleProblem>& problems;

  void problem(unsigned line, std::string message) { problems.push_back({line, std::move(message)}); }
  static unsigned lineOf(const toml::node& n) { return static_cast<unsigned>(n.source().begin.line); }

  // Every key of t must be one of `known`.
  bool onlyKeys(const toml::table& t, const std::set<std::string>& known, const std::string& where) {
    bool ok = true;
    for (auto&& [key, value] : t) {
      if (known.count(std::string(key.str()))) continue;
      std::string list;
      for (const std::string& k : known) list += (list.empty() ? "" : ", ") + k;
      problem(static_cast<unsigned>(key.source().begin.line),
              "unknown key \"" + std::string(key.str()) + "\" in " + where + " (" + list + ")");
      ok = false;
    }
    return ok;
  }

  bool text(const toml::node& n, const std::string& key, std::string& out, bool mayBeEmpty = false) {
    if (!n.is_string()) {
      problem(lineOf(n), key + " must be a quoted text");
      return false;
    }
    out = n.as_string()->get();
    if (out.empty() && !mayBeEmpty) {
      problem(lineOf(n), key + " must not be empty");
      return false;
    }
    return true;
  }

  bool count(const toml::node& n, const std::string& key, int64_t min, int64_t max, uint32_t& out) {
    if (!n.is_integer()) {
      problem(lineOf(n), key + " must be a whole number");
      return false;
    }
    const int64_t v = n.as_integer()->get();
    if (v < min || v > max) {
      problem(lineOf(n), key + " must be from " + std::to_string(min) + " to " + std::to_string(max) + ", not " +
                             std::to_string(v));
      return false;
    }
    out = static_cast<uint32_t>(v);
    return true;
  }

  bool texts(const toml::node& n, const std::string& key, std::vector<std::string>& out) {
    const toml::array* a = n.as_array();
    if (!a) {
      problem(lineOf(n), key + " must be a list of quoted texts, like [\"1001\", \"1002\"]");
      return false;
    }
    bool ok = true;
    for (const toml::node& e : *a) {
      if (!e.is_string()) {
        problem(lineOf(e), key + " must hold quoted texts only (found " + std::string(typeName(e)) + ")");
        ok = false;
        continue;
      }
      out.push_back(e.as_string()->get());
    }
    return ok;
  }

  static const char* typeName(const toml::node& n) {
    switch (n.type()) {
      case toml::node_type::integer: return "a number";
      case toml::node_type::floating_point: return "a number";
      case toml::node_type::boolean: return "true/false";
      case toml::node_type::array: return "a list";
      case toml::node_type::table: return "a table";
      default: return "a date or time";
    }
  }

  // Prefixes of dialled digits: quoted (a number would lose its leading
  // zeros), digits with '*' and '#', at least one.
  bool prefixes(const toml::node& n, std::vector<std::string>& out) {
    const toml::array* a = n.as_array();
    if (!a || a->empty()) {
      problem(lineOf(n), "prefixes must be a non-empty list of quoted digit strings, like [\"0900\", \"00\"]");
      return false;
    }
    bool ok = true;
    for (const toml::node& e : *a) {
      if (!e.is_string()) {
        problem(lineOf(e), std::string("prefixes must be quoted digit strings (found ") + typeName(e) +
                               "; a number would lose its leading zeros)");
        ok = false;
        continue;
      }
      const std::string p = e.as_string()->get();
      if (p.empty() || p.find_first_not_of("0123456789*#") != std::string::npos) {
        problem(lineOf(e), "prefix \"" + p + "\" is not a string of digits (0-9, * and #)");
        ok = false;
        continue;
      }
      out.push_back(p);
    }
    return ok;
  }

  static bool clock(std::string_view s, int& minute) {
    // "H", "HH", "H:MM" or "HH:MM"; 24:00 stands for the end of the day.
    int h = 0, m = 0;
    size_t i = 0, digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && digits < 2) h = h * 10 + (s[i++] - '0'), ++digits;
    if (digits == 0) return false;
    if (i < s.size()) {
      if (s[i] != ':' || s.size() - i != 3 || s[i + 1] < '0' || s[i + 1] > '5' || s[i + 2] < '0' || s[i + 2] > '9')
        return false;
      m = (s[i + 1] - '0') * 10 + (s[i + 2] - '0');
    }
    if (h > 24 || (h == 24 && m != 0)) return false;
    minute = h * 60 + m;
    return true;
  }

  bool hours(const toml::node& n, TimeWindow& w) {
    std::string s;
    if (!n.is_string()) {
      problem(lineOf(n), "hours must be a quoted range like \"08:00-18:00\"");
      return false;
    }
    s = n.as_string()->get();
    const size_t dash = s.find('-');
    int from = 0, to = 0;
    if (dash == std::string::npos || !clock(std::string_view(s).substr(0, dash), from) ||
        !clock(std::string_view(s).substr(dash + 1), to) || from == to) {
      problem(lineOf(n), "hours \"" + s + "\" is not a range like \"08:00-18:00\" or \"20-7\"");
      return false;
    }
    w.allDay = false;
    w.fromMinute = from % 1440;
    w.toMinute = to % 1440;
    if (w.fromMinute == w.toMinute) w.allDay = true;  // 0-24
    return true;
  }

  static int dayIndex(std::string d) {
    static const char* names[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    for (char& c : d) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int i = 0; i < 7; ++i)
      if (d == names[i]) return i;
    return -1;
  }

  bool days(const toml::node& n, TimeWindow& w) {
    std::vector<std::string> items;
    if (n.is_string()) {
      const std::string s = n.as_string()->get();
      const size_t dash = s.find('-');
      const int a = dayIndex(s.substr(0, dash)), b = dash == std::string::npos ? a : dayIndex(s.substr(dash + 1));
      if (a < 0 || b < 0) {
        problem(lineOf(n), "days \"" + s + "\" is not a day or range of days like \"mon-fri\"");
        return false;
      }
      w.days = 0;
      for (int i = a;; i = (i + 1) % 7) {
        w.days |= 1u << i;
        if (i == b) break;
      }
      return true;
    }
    if (!n.is_array()) {
      problem(lineOf(n), "days must be a list like [\"sat\", \"sun\"] or a range like \"mon-fri\"");
      return false;
    }
    w.days = 0;
    bool ok = true;
    for (const toml::node& e : *n.as_array()) {
      const int i = e.is_string() ? dayIndex(e.as_string()->get()) : -1;
      if (i < 0) {
        problem(lineOf(e), "days hold mon, tue, wed, thu, fri, sat or sun");
        ok = false;
        continue;
      }
      w.days |= 1u << i;
    }
    if (ok && w.days == 0) {
      problem(lineOf(n), "days must name at least one day");
      ok = false;
    }
    return ok;
  }

  void rule(const toml::table& t, std::vector<Rule>& out, std::map<std::string, unsigned>& names) {
    Rule r;
    r.line = static_cast<unsigned>(t.source().begin.line);
    const size_t before = problems.size();
    const toml::node* kindNode = t.get("kind");
    std::string kind;
    if (!kindNode) {
      problem(r.line, "rule without kind (destination, long_call, burst, unknown_port, silence)");
      return;
    }
    if (!text(*kindNode, "kind", kind)) return;
    std::set<std::string> keys{"name", "kind", "severity", "ports", "hours", "days", "outside"};
    if (kind == "destination") {
      r.kind = RuleKind::Destination;
      keys.insert("prefixes");
    } else if (kind == "long_call") {
      r.kind = RuleKind::LongCall;
      keys.insert("seconds");
    } else if (kind == "burst") {
      r.kind = RuleKind::Burst;
      keys.insert({"calls", "pulses", "minutes"});
    } else if (kind == "unknown_port") {
      r.kind = RuleKind::UnknownPort;
    } else if (kind == "silence") {
      r.kind = RuleKind::Silence;
      keys.erase("ports");
      keys.insert("minutes");
    } else {
      problem(lineOf(*kindNode),
              "unknown kind \"" + kind + "\" (destination, long_call, burst, unknown_port, silence)");
      return;
    }
    onlyKeys(t, keys, std::string(kind) + " rule");
    if (const toml::node* n = t.get("name")) {
      if (text(*n, "name", r.name)) {
        if (r.name.size() > 64) problem(lineOf(*n), "name is longer than 64 characters");
        auto [it, fresh] = names.emplace(r.name, lineOf(*n));
        if (!fresh)
          problem(lineOf(*n), "rule \"" + r.name + "\" named twice (first on line " + std::to_string(it->second) + ")");
      }
    } else {
      problem(r.line, "rule without name");
    }
    if (const toml::node* n = t.get("severity")) {
      std::string s;
      if (text(*n, "severity", s)) {
        if (s == "critical")
          r.severity = Severity::Critical;
        else if (s == "warning")
          r.severity = Severity::Warning;
        else if (s == "info")
          r.severity = Severity::Info;
        else
          problem(lineOf(*n), "severity \"" + s + "\" is not critical, warning or info");
      }
    } else {
      problem(r.line, "rule without severity (critical, warning or info)");
    }
    if (const toml::node* n = t.get("ports"); n && texts(*n, "ports", r.ports)) {
      for (std::string& p : r.ports) {
        const size_t a = p.find_first_not_of(' '), b = p.find_last_not_of(' ');
        p = a == std::string::npos ? std::string() : p.substr(a, b - a + 1);
        if (p.empty() || p.size() > 8) problem(lineOf(*n), "ports hold port numbers of 1 to 8 characters");
      }
    }
    if (const toml::node* n = t.get("hours")) hours(*n, r.window);
    if (const toml::node* n = t.get("days")) days(*n, r.window);
    if (const toml::node* n = t.get("outside")) {
      if (!n->is_boolean())
        problem(lineOf(*n), "outside must be true or false");
      else
        r.window.outside = n->as_boolean()->get();
    }
    switch (r.kind) {
      case RuleKind::Destination:
        if (const toml::node* n = t.get("prefixes"))
          prefixes(*n, r.prefixes);
        else
          problem(r.line, "destination rule without prefixes");
        break;
      case RuleKind::LongCall:
        if (const toml::node* n = t.get("seconds"))
          count(*n, "seconds", 1, 1000000, r.seconds);
        else
          problem(r.line, "long_call rule without seconds");
        break;
      case RuleKind::Burst: {
        const toml::node* calls = t.get("calls");
        const toml::node* pulses = t.get("pulses");
        if (calls && pulses)
          problem(lineOf(*pulses), "burst rule with both calls and pulses: give one");
        else if (calls)
          count(*calls, "calls", 1, 100000, r.calls);
        else if (pulses)
          count(*pulses, "pulses", 1, 10000000, r.pulses);
        else
          problem(r.line, "burst rule without calls or pulses");
        if (const toml::node* n = t.get("minutes"))
          count(*n, "minutes", 1, 7 * 24 * 60, r.minutes);
        else
          problem(r.line, "burst rule without minutes");
        break;
      }
      case RuleKind::UnknownPort: break;
      case RuleKind::Silence:
        if (const toml::node* n = t.get("minutes"))
          count(*n, "minutes", 1, 7 * 24 * 60, r.minutes);
        else
          problem(r.line, "silence rule without minutes");
        break;
    }
    if (problems.size() == before) out.push_back(std::move(r));
  }

  void mail(const toml::node& n, MailSettings& m) {
    const toml::table* t = n.as_table();
    if (!t) {
      problem(lineOf(n), "mail must be a table ([mail])");
      return;
    }
    onlyKeys(*t, {"to", "from", "sendmail", "every"}, "[mail]");
    if (const toml::node* to = t->get("to")) {
      if (to->is_string())
        m.to.push_back(to->as_string()->get());
      else
        texts(*to, "to", m.to);
      for (const std::string& a : m.to)
        if (a.empty() || a.find('@') == std::string::npos || a.find_first_of(" \t\r\n,<>") != std::string::npos)
          problem(lineOf(*to), "\"" + a + "\" is not a mail address");
    } else {
      problem(lineOf(n), "[mail] without to");
    }
    if (const toml::node* f = t->get("from")) {
      if (text(*f, "from", m.from) && m.from.find_first_of("\r\n") != std::string::npos)
        problem(lineOf(*f), "from must be one line");
    }
    if (const toml::node* s = t->get("sendmail")) {
      if (text(*s, "sendmail", m.sendmail) && m.sendmail[0] != '/')
        problem(lineOf(*s), "sendmail needs an absolute path");
    }
    if (const toml::node* e = t->get("every")) {
      uint32_t v = 0;
      if (count(*e, "every", 0, 24 * 60, v)) m.everyMinutes = static_cast<int>(v);
    }
  }
};

}  // namespace

std::vector<RuleProblem> parseAlarmRules(std::string_view text, const std::string& path, AlarmConfig& out) {
  std::vector<RuleProblem> problems;
  Parser p{problems};
  toml::table root;
  try {
    root = toml::parse(text, path);
  } catch (const toml::parse_error& e) {
    p.problem(static_cast<unsigned>(e.source().begin.line), std::string(e.description()));
    return problems;
  }
  p.onlyKeys(root, {"rule", "mail", "program"}, "the rule file");
  if (const toml::node* m = root.get("mail")) p.mail(*m, out.mail);
  if (const toml::node* prog = root.get("program")) {
    if (const toml::table* t = prog->as_table()) {
      p.onlyKeys(*t, {"path"}, "[program]");
      if (const toml::node* path = t->get("path")) {
        if (p.text(*path, "path", out.program) && out.program[0] != '/')
          p.problem(Parser::lineOf(*path), "path needs an absolute path");
      } else {
        p.problem(Parser::lineOf(*prog), "[program] without path");
      }
    } else {
      p.problem(Parser::lineOf(*prog), "program must be a table ([program])");
    }
  }
  std::map<std::string, unsigned> names;
  if (const toml::node* rules = root.get("rule")) {
    const toml::array* a = rules->as_array();
    if (!a || !a->is_array_of_tables()) {
      p.problem(Parser::lineOf(*rules), "rules are [[rule]] tables");
    } else {
      for (const toml::node& r : *a) p.rule(*r.as_table(), out.rules, names);
    }
  }
  if (problems.empty() && out.rules.empty()) p.problem(1, "no [[rule]] in the file");
  std::stable_sort(problems.begin(), problems.end(),
                   [](const RuleProblem& a, const RuleProblem& b) { return a.line < b.line; });
  return problems;
}

}  // namespace lumarc::alarms
