#include "lumarc/browse/report_plan.h"

#include "common/format.h"

namespace lumarc::browse {

namespace {

// The duration range of both tables: the minimum always applies; the
// picker's end (23:59:00) or more leaves the maximum open, so that a long
// call is never dropped by the default selection.
void durationRange(const TemplateRecord& s, int32_t& min, std::optional<int32_t>& max) {
  min = secondsOfDay(dateFields(s.TMid));
  const int32_t m = secondsOfDay(dateFields(s.TMad));
  max.reset();
  if (m < kOpenDurationMax) max = m;
}

CmdrFilter cmdrFilter(const TemplateRecord& s) {
  CmdrFilter f;
  const DateFields from = dateFields(s.TStr), to = dateFields(s.TEnd);
  f.dateFrom = dateKey(from);
  f.dateTo = dateKey(to);
  f.timeFrom = timeKey(from);
  f.timeTo = timeKey(to);
  if (s.TRect != kAllRecords) f.type = std::string(1, static_cast<char>(64 + s.TRect));
  f.ipadr = s.ipadr;
  if (s.TRect == kCallRecords) {
    f.calls = true;
    durationRange(s, f.durationMin, f.durationMax);
    f.rpulsMin = s.TPmie;
    f.rpulsMax = s.TPmae;
    f.ppulsMin = s.TPmii;
    f.ppulsMax = s.TPmai;
    const std::string port = selectionPort(s.Tpuport);
    if (!port.empty()) f.uport = corvane::portText8(port);
    f.dialled = selectionDigits(s.Tddgts);
    f.calling = selectionDigits(s.Tcdgts);
  }
  if (s.TLtyp == kSingleUser) f.cport = corvane::portText8(s.TLstr);
  return f;
}

VoiceFilter voiceFilter(const TemplateRecord& s) {
  VoiceFilter f;
  const DateFields from = dateFields(s.TStr), to = dateFields(s.TEnd);
  f.dateFrom = bcdDate(from);
  f.dateTo = bcdDate(to);
  f.timeFrom = bcdTime(from, 0);
  f.timeTo = bcdTime(to, 59);  // the whole end minute
  durationRange(s, f.durationMin, f.durationMax);
  f.port = selectionPort(s.Tpuport);
  f.dialled = selectionDigits(s.Tddgts);
  f.calling = selectionDigits(s.Tcdgts);
  f.ipadr = s.ipadr;
  f.direction = s.vrdir;
  if (s.TLtyp == kSingleUser) f.rcdport = corvane::portText8(s.TLstr);
  return f;
}

DigitReplacement replacementOf(int32_t rplc) {
  switch (rplc) {
    case 1: return DigitReplacement::Dialled;
    case 2: return DigitReplacement::Calling;
    case 3: return DigitReplacement::Both;
    default: return DigitReplacement::None;
  }
}

}  // namespace

bool CallTests::passes(const CmdrRecord& r) const {
  if (r.type != "A") return true;
  const bool incomingTrunk = (r.flags >> 19) & 1, outgoingTrunk = (r.flags >> 20) & 1;
  if (incoming == 1 && incomingTrunk) return false;
  if (incoming == 2 && !incomingTrunk) return false;
  if (outgoing == 1 && outgoingTrunk) return false;
  if (outgoing == 2 && !outgoingTrunk) return false;
  if (stars > 0 && static_cast<int32_t>((r.flags >> 21) & 15) + 1 != stars) return false;
  return true;
}

AmountRule::Amounts AmountRule::of(const CmdrRecord& r, bool acknowledged) const {
  Amounts a;
  if (r.type == "A" && price != 0 && uint64_t{r.rpuls} + r.ppuls != 0 && !(acknowledgedFree && acknowledged)) {
    a.external = r.rpuls * price;
    a.internal = r.ppuls * price;
  }
  return a;
}

ReportPlan planFor(const TemplateRecord& s, ListedTable table) {
  ReportPlan p;
  p.table = table;
  p.users.mode = s.TLtyp;
  p.users.listed = s.TLstr;
  p.replacement = replacementOf(s.TRplc);
  if (table == ListedTable::Voice) {
    p.voice = voiceFilter(s);
    p.where = p.voice.condition();
    p.order = voiceOrder(p.users.mode);
    return p;
  }
  p.cmdr = cmdrFilter(s);
  p.where = p.cmdr.condition(p.byUser());
  p.order = cmdrOrder(p.users.mode);
  p.format = s.TRpfm == 1 ? LineFormat::Short : LineFormat::Long;
  p.looksUpAcknowledged = s.TAckf != 0 || p.format == LineFormat::Short || p.replacesDialled();
  p.details = !((s.TFlag & kNoDetails) != 0 && s.TRect == kCallRecords && s.TLtyp != kAllTimeSorted);
  p.tests = CallTests{s.TTlic, s.TTlog, s.TStar};
  p.amounts.price = s.TPrce;
  p.amounts.acknowledgedFree = s.TAckf != 0;
  p.amounts.unit = s.TPunt;
  return p;
}

}  // namespace lumarc::browse
