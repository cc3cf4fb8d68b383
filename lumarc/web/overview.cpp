#include "lumarc/web/overview.h"

#include "lumarc/browse/selection.h"
#include "lumarc/web/html.h"
#include "lumarc/web/selection_params.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lumarc::web {

namespace {

// Runs "SELECT <what> FROM Cdata WHERE <where> <tail>" and hands each row to f.
template <class F>
void query(store::Database& db, const std::string& what, const store::Condition& where, const std::string& tail,
           F&& f) {
  std::string sql = "SELECT " + what + " FROM Cdata";
  std::vector<store::SqlValue> params;
  if (!where.empty()) {
    sql += " WHERE ";
    where.render(db.dialect(), sql, params);
  }
  sql += tail;
  odbc::Statement st(db.connection());
  st.prepare(sql);
  store::ValueBinder values(db);
  values.bind(st, params);
  st.execute();
  while (st.fetch()) f(st);
  st.closeCursor();
}

int64_t intAt(odbc::Statement& st, int n) {
  int64_t v = 0;
  return st.getInt64(SQLUSMALLINT(n), v) ? v : 0;
}

}  // namespace

store::Condition callsBetween(const DateTime& firstDay, const DateTime& lastDay,
                              const std::vector<std::string>* ports) {
  TemplateRecord s = browse::defaultSelection();
  s.TStr = {firstDay.year, firstDay.month, firstDay.day, 0, 0, 0};
  s.TEnd = {lastDay.year, lastDay.month, lastDay.day, 23, 59, 0};
  browse::ReportPlan plan = browse::planFor(s);
  if (ports) restrictToPorts(plan, *ports);
  return plan.where;
}

std::array<int64_t, 24> callsByHour(store::Database& db, const store::Condition& where) {
  std::array<int64_t, 24> hours{};
  const std::string hour = store::Expr::hour("tdate").render(db.dialect());
  query(db, hour + ", COUNT(*)", where, " GROUP BY " + hour, [&](odbc::Statement& st) {
    const int64_t h = intAt(st, 1);
    if (h >= 0 && h < 24) hours[size_t(h)] += intAt(st, 2);
  });
  return hours;
}

CallFigures callFigures(store::Database& db, const store::Condition& where) {
  CallFigures f;
  query(db, "COUNT(*), SUM(duration), SUM(rpuls), SUM(ppuls)", where, "", [&](odbc::Statement& st) {
    f.calls = intAt(st, 1);
    f.duration = intAt(st, 2);
    f.rpuls = intAt(st, 3);
    f.ppuls = intAt(st, 4);
  });
  return f;
}

std::vector<NewestRecord> newestPerExchange(store::Database& db, const store::Condition& where) {
  std::vector<std::pair<uint32_t, std::string>> rows;
  std::vector<NewestRecord> out;
  query(db, "ipadr, MAX(sqno)", where, " GROUP BY ipadr ORDER BY ipadr", [&](odbc::Statement& st) {
    NewestRecord r;
    r.exchange = uint32_t(intAt(st, 1));
    r.time.second = int(intAt(st, 2));  // the sqno for now: its time is read below
    out.push_back(r);
  });
  for (NewestRecord& r : out) {
    const int64_t sqno = r.time.second;
    r.time = {};
    store::DrptCset c(db);
    if (std::optional<CmdrRecord> row = c.find(int32_t(sqno))) r.time = row->tdate;
  }
  return out;
}

std::vector<AlarmRow> newestAlarms(store::Database& db, size_t limit) {
  std::vector<AlarmRow> out;
  if (!db.tableExists("Alarm")) return out;
  odbc::Statement st(db.connection());
  std::string sql = "SELECT sqno, adate, rule, sever, cport, rkey, atext FROM Alarm ORDER BY sqno DESC";
  if (limit) sql += " LIMIT " + std::to_string(limit);
  st.executeDirect(sql);
  while (st.fetch()) {
    AlarmRow a;
    a.sqno = intAt(st, 1);
    st.getText(2, a.raised);
    st.getText(3, a.rule);
    st.getText(4, a.severity);
    st.getText(5, a.port);
    a.record = intAt(st, 6);
    st.getText(7, a.text);
    out.push_back(std::move(a));
  }
  st.closeCursor();
  return out;
}

std::string barChartSvg(const std::string& title, const std::vector<std::string>& labels,
                        const std::vector<double>& values) {
  const int bars = int(values.size()), barW = 28, gap = 6, left = 50, top = 30, height = 200;
  const int width = left + bars * (barW + gap) + 10, total = top + height + 60;
  double max = 0;
  for (double v : values) max = std::max(max, v);
  const double scale = max > 0 ? height / max : 0;
  char buf[256];
  std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"" + std::to_string(width) +
                  "\" height=\"" + std::to_string(total) + "\" viewBox=\"0 0 " + std::to_string(width) + " " +
                  std::to_string(total) + "\" role=\"img\" aria-label=\"" + escapeHtml(title) + "\">";
  s += "<text x=\"" + std::to_string(left) + "\" y=\"18\" font-size=\"14\" font-weight=\"bold\">" + escapeHtml(title) +
       "</text>";
  s += "<line x1=\"" + std::to_string(left - 2) + "\" y1=\"" + std::to_string(top + height) + "\" x2=\"" +
       std::to_string(width - 5) + "\" y2=\"" + std::to_string(top + height) + "\" stroke=\"#333\"/>";
  std::snprintf(buf, sizeof buf, "<text x=\"%d\" y=\"%d\" font-size=\"10\" text-anchor=\"end\">%.0f</text>", left - 6,
                top + 4, max);
  s += buf;
  for (int i = 0; i < bars; ++i) {
    const double h = std::round(values[size_t(i)] * scale);
    const int x = left + i * (barW + gap);
    std::snprintf(
        buf, sizeof buf,
        "<rect class=\"bar\" x=\"%d\" y=\"%.0f\" width=\"%d\" height=\"%.0f\" fill=\"#1f77d0\"><title>%.0f</title></rect>",
        x, top + height - h, barW, h, values[size_t(i)]);
    s += buf;
    const std::string label = i < int(labels.size()) ? labels[size_t(i)] : "";
    s += "<text x=\"" + std::to_string(x + barW / 2) + "\" y=\"" + std::to_string(top + height + 14) +
         "\" font-size=\"9\" text-anchor=\"middle\">" + escapeHtml(label) + "</text>";
  }
  return s + "</svg>";
}

}  // namespace lumarc::web
