#include "lumarc/alarms/alarm_engine.h"

#include "common/format.h"

#include <algorithm>

namespace lumarc::alarms {

std::string exchangeText(uint32_t ipadr) {
  if (ipadr == 0) return "(IPv6)";
  return std::to_string(ipadr >> 24) + "." + std::to_string((ipadr >> 16) & 0xFF) + "." +
         std::to_string((ipadr >> 8) & 0xFF) + "." + std::to_string(ipadr & 0xFF);
}

AlarmEngine::AlarmEngine(std::vector<Rule> rules, AlarmSink& sink, const AlarmClock& clock, PortDirectory& ports)
    : rules_(std::move(rules)), sink_(sink), clock_(clock), ports_(ports) {
  reset();
}

void AlarmEngine::reset() {
  bursts_.assign(rules_.size(), {});
  exchanges_.clear();
  windowSince_.assign(rules_.size(), 0);
  inWindow_.assign(rules_.size(), false);
  upSince_ = secondsOf(clock_.now());
}

int64_t AlarmEngine::lookBackSeconds() const {
  int64_t longest = 0;
  for (const Rule& r : rules_)
    if (r.kind == RuleKind::Burst) longest = std::max<int64_t>(longest, int64_t{r.minutes} * 60);
  return longest;
}

void AlarmEngine::exchangeSeen(uint32_t ipadr, const DateTime& last) {
  Quiet& q = exchanges_[ipadr];
  if (q.last < last) q.last = last;
}

void AlarmEngine::raise(const Rule& rule, const std::string& port, int32_t record, std::string text,
                        std::string exchange) {
  Alarm a;
  a.raised = clock_.now();
  a.rule = rule.name;
  a.severity = rule.severity;
  a.port = port;
  a.record = record;
  a.text = std::move(text);
  a.exchange = std::move(exchange);
  sink_.raise(a);
}

void AlarmEngine::record(const CmdrRecord& r, bool warmUp) {
  // Any record is a sign of life of its exchange.
  Quiet& q = exchanges_[r.ipadr];
  if (q.last < r.tdate) q.last = r.tdate;
  q.raised.assign(rules_.size(), false);
  if (r.type != "A") return;  // the call rules look at calls only
  const std::string port(corvane::trimBlanks(r.cport));
  const std::string digits(corvane::trimBlanks(r.rdata));
  for (size_t i = 0; i < rules_.size(); ++i) {
    const Rule& rule = rules_[i];
    if (rule.kind == RuleKind::Silence || !rule.appliesToPort(port) || !rule.window.contains(r.tdate)) continue;
    switch (rule.kind) {
      case RuleKind::Destination: {
        if (warmUp) break;
        for (const std::string& p : rule.prefixes) {
          if (digits.compare(0, p.size(), p) != 0) continue;
          raise(rule, port, r.sqno, "call from port " + port + " to " + digits + " (prefix " + p + ")");
          break;
        }
        break;
      }
      case RuleKind::LongCall:
        if (!warmUp && r.duration > rule.seconds)
          raise(rule, port, r.sqno,
                "call from port " + port + " to " + digits + " lasted " + std::to_string(r.duration) + " s (over " +
                    std::to_string(rule.seconds) + " s)");
        break;
      case RuleKind::Burst: burst(i, rule, r, port, warmUp); break;
      case RuleKind::UnknownPort:
        if (!warmUp && !port.empty() && !ports_.known(port))
          raise(rule, port, r.sqno, "call from port " + port + " to " + digits + ": no user of that port is known");
        break;
      case RuleKind::Silence: break;
    }
  }
}

void AlarmEngine::burst(size_t ruleIndex, const Rule& rule, const CmdrRecord& r, const std::string& port, bool warmUp) {
  BurstState& s = bursts_[ruleIndex][port];
  const int64_t at = secondsOf(r.tdate);
  const int64_t span = int64_t{rule.minutes} * 60;
  s.calls.push_back({at, r.rpuls});
  s.total += r.rpuls;
  // The window is the last `minutes` before this call, this call included.
  while (!s.calls.empty() && s.calls.front().at <= at - span) {
    s.total -= s.calls.front().pulses;
    s.calls.pop_front();
  }
  const uint64_t count = rule.calls ? s.calls.size() : s.total;
  const uint64_t limit = rule.calls ? rule.calls : rule.pulses;
  if (count <= limit) {
    s.raised = false;  // quiet again: the next burst raises anew
    return;
  }
  if (s.raised) return;
  s.raised = true;
  if (warmUp) return;
  raise(rule, port, r.sqno,
        std::to_string(count) + (rule.calls ? " calls" : " pulses") + " from port " + port + " within " +
            std::to_string(rule.minutes) + " minutes (more than " + std::to_string(limit) + ")");
}

void AlarmEngine::tick() {
  const DateTime now = clock_.now();
  const int64_t nowSeconds = secondsOf(now);
  for (size_t i = 0; i < rules_.size(); ++i) {
    const Rule& rule = rules_[i];
    if (rule.kind != RuleKind::Silence) continue;
    const bool in = rule.window.contains(now);
    if (in && !inWindow_[i]) windowSince_[i] = nowSeconds;
    inWindow_[i] = in;
    if (!in) continue;
    for (auto& [ip, q] : exchanges_) {
      q.raised.resize(rules_.size());
      if (q.raised[i] || q.last.isNull()) continue;
      const int64_t since = std::max({secondsOf(q.last), upSince_, windowSince_[i]});
      if (nowSeconds - since < int64_t{rule.minutes} * 60) continue;
      q.raised[i] = true;
      raise(rule, {}, 0,
            "no call record from exchange " + exchangeText(ip) + " since " + dateTimeText(q.last) + " (" +
                std::to_string(rule.minutes) + " minutes or more)",
            exchangeText(ip));
    }
  }
}

}  // namespace lumarc::alarms
