#include "lumarc/browse/cmdr_report.h"

#include "lumarc/texts/texts.h"
#include "lumarc/browse/cmdr_sort.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/statistics.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/store/cmdr_reader.h"
#include "lumarc/store/record_store.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>

namespace lumarc::browse {

namespace {

constexpr int kProgressEvery = 1024;

std::string padRight(std::string s, size_t n) {
  if (s.size() < n) s.append(n - s.size(), ' ');
  return s;
}

void addTo(ReportTotals& t, const CmdrRecord& r, double external, double internal) {
  ++t.calls;
  t.duration += r.duration;
  t.rpuls += r.rpuls;
  t.ppuls += r.ppuls;
  t.externalAmount += external;
  t.internalAmount += internal;
}

std::string canonical(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
  return ec ? path : p.string();
}

// The file of an SQLite connection string ("...;Database=<path>;..."), or empty.
std::string databaseFile(const std::string& conn) {
  static const std::string key = "database=";
  std::string lower = conn;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t at = lower.find(key);
  if (at == std::string::npos) return {};
  const size_t from = at + key.size(), end = conn.find(';', from);
  return conn.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// ---- The query ----

// The distinct user ports of the rows a condition selects, in port order.
// A grouped listing reads one port after the other, each by the port index
// and in time order, so that memory holds one user's rows at most: one query
// ordered by port and time would be read whole into memory by the drivers.
std::vector<std::string> selectionPorts(store::Database& db, const store::Condition& c) {
  std::string sql = "SELECT DISTINCT cport FROM Cdata WHERE ";
  std::vector<store::SqlValue> params;
  c.render(db.dialect(), sql, params);
  sql += " ORDER BY cport";
  odbc::Statement st(db.connection());
  st.prepare(sql);
  store::ValueBinder values(db);
  values.bind(st, params);
  st.execute();
  std::vector<std::string> ports;
  std::string v;
  while (st.fetch())
    if (st.getText(1, v)) ports.push_back(db.codec().fromUtf8(v));
  st.closeCursor();
  return ports;
}

// The first user port after `after` (any, when nothing) that the condition
// selects rows of: one look-up in the port index.
std::optional<std::string> portAfter(store::Database& db, const store::Condition& c,
                                     const std::optional<std::string>& after) {
  std::string sql = "SELECT cport FROM Cdata WHERE ";
  std::vector<store::SqlValue> params;
  c.render(db.dialect(), sql, params);
  if (after) {
    sql += " AND cport > ?";
    params.push_back(*after);
  }
  sql += " ORDER BY cport LIMIT 1";
  odbc::Statement st(db.connection());
  st.prepare(sql);
  store::ValueBinder values(db);
  values.bind(st, params);
  st.execute();
  std::optional<std::string> port;
  std::string v;
  if (st.fetch() && st.getText(1, v)) port = db.codec().fromUtf8(v);
  st.closeCursor();
  return port;
}

// The place of each port in the database's order of cport, as a grouped
// listing's query orders them: SQLite compares the stored UTF-8 bytes;
// PostgreSQL is asked, its collation deciding. Nothing on a failure.
std::optional<std::vector<uint32_t>> portRanks(store::Database& db, const std::vector<std::string>& ports,
                                               std::string& error) {
  std::vector<uint32_t> order;
  if (db.engine() == store::Engine::Postgres) {
    if (!ports.empty()) {
      std::string json = "[";
      for (const std::string& p : ports) {
        if (json.size() > 1) json += ',';
        json += '"';
        for (char c : p) {
          if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
          } else if (static_cast<unsigned char>(c) < 0x20) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", static_cast<unsigned>(c));
            json += u;
          } else {
            json += c;
          }
        }
        json += '"';
      }
      json += ']';
      try {
        odbc::Statement st(db.connection());
        st.prepare("SELECT n FROM json_array_elements_text(CAST(? AS json)) WITH ORDINALITY AS t(v, n) ORDER BY v, n");
        store::ValueBinder values(db);
        values.bind(st, {json});
        st.execute();
        int64_t n = 0;
        while (st.fetch())
          if (st.getInt64(1, n) && n >= 1 && static_cast<size_t>(n) <= ports.size())
            order.push_back(static_cast<uint32_t>(n - 1));
        st.closeCursor();
      } catch (const std::exception& e) {
        error = store::failureText(e);
        return std::nullopt;
      }
      if (order.size() != ports.size()) {
        error = "the ports of the listing could not be put in order";
        return std::nullopt;
      }
    }
  } else {
    std::vector<std::string> utf8(ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
      db.codec().toUtf8(ports[i], utf8[i]);
      order.push_back(static_cast<uint32_t>(i));
    }
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return utf8[a] < utf8[b]; });
  }
  std::vector<uint32_t> rank(ports.size());
  for (size_t i = 0; i < order.size(); ++i) rank[order[i]] = static_cast<uint32_t>(i);
  return rank;
}

// The rows of a plan in listing order: the whole selection in time order,
// or user after user. From the top, or after a row of an earlier read.
class ListingRows {
 public:
  // whole: the grouped listing's ports are found in one query up front;
  // else one at a time, as far as the rows are read.
  ListingRows(store::Database& db, const ReportPlan& plan, bool whole, const CmdrPageCursor* after = nullptr)
      : db_(db), plan_(plan), whole_(whole), records_(db) {
    if (after && after->started) {
      resume_ = true;
      port_ = after->lastPort;
      time_ = after->lastTime;
      sqno_ = after->lastSqno;
    }
  }

  // The next row; false at the end or on a failure (error() then set).
  bool next(CmdrRecord& r) {
    for (;;) {
      if (!open_) {
        try {
          if (!openNext()) return false;
        } catch (const std::exception& e) {
          error_ = store::failureText(e);
          return false;
        }
        open_ = true;
      }
      if (records_.next(r)) return true;
      if (!records_.error().empty()) {
        error_ = records_.error();
        return false;
      }
      open_ = false;
      if (!plan_.byUser()) return false;
    }
  }
  const std::string& error() const { return error_; }

 private:
  // Opens the next query; false when there is none left (or on a failure).
  bool openNext() {
    records_.close();
    // The date range through the date's parts: the read's own position is
    // then the only bound on the time index.
    std::vector<store::Condition> parts{plan_.cmdrCondition(true)};
    std::optional<std::pair<DateTime, int32_t>> after;
    if (!plan_.byUser()) {
      if (opened_++ > 0) return false;
      if (resume_) after.emplace(time_, sqno_);
    } else {
      std::optional<std::string> port;
      if (resume_ && opened_ == 0) {
        port = port_;  // the rest of the user of the last row read
        after.emplace(time_, sqno_);
      } else if (whole_) {
        if (opened_ == 0) ports_ = selectionPorts(db_, plan_.where);
        if (static_cast<size_t>(opened_) < ports_.size()) port = ports_[opened_];
      } else {
        port = portAfter(db_, plan_.where, opened_ > 0 || resume_ ? std::optional<std::string>(port_) : std::nullopt);
      }
      if (!port) return false;
      ++opened_;
      port_ = *port;
      // Port and time: the database then picks the port index, and one
      // user's rows are read at once (paging by time would scan the time index).
      parts.push_back(store::Condition::eq("cport", port_));
    }
    // In time order: the whole listing's, or within one user's port.
    if (!records_.open(store::Condition::all(std::move(parts)), after)) {
      error_ = records_.error();
      return false;
    }
    return true;
  }

  store::Database& db_;
  const ReportPlan& plan_;
  bool whole_;
  store::CmdrReader records_;
  bool open_ = false;
  int opened_ = 0;                  // queries opened
  std::vector<std::string> ports_;  // whole: every port of the listing
  std::string port_;                // the port of the query open (grouped)
  bool resume_ = false;
  DateTime time_;
  int32_t sqno_ = 0;
  std::string error_;
};

// ---- The amounts ----

// A row's amounts, acknowledged mark and line text.
struct PricedRow {
  AmountRule::Amounts amounts;
  bool acknowledged = false;
  std::string text;
};

class Pricing {
 public:
  explicit Pricing(const ReportPlan& plan) : plan_(plan) {
    options_.format = plan.format;
    options_.replacement = plan.replacement;
    options_.replace = [this](const std::string& digits, bool isCalling) {
      return (isCalling ? *calling_ : *dialled_).replace(digits).text;
    };
  }
  // Loads the number definitions the plan needs; false with the failure text.
  bool load(store::Database& db, std::string& error) {
    if (plan_.needsDialledDefinitions()) {
      dialled_ = DefinitionIndex::load(db, kDialledDigits, error);
      if (!dialled_) return false;
    }
    if (plan_.needsCallingDefinitions()) {
      calling_ = DefinitionIndex::load(db, kCallingNumber, error);
      if (!calling_) return false;
    }
    return true;
  }
  PricedRow price(const CmdrRecord& r) {
    PricedRow p;
    if (plan_.looksUpAcknowledged && dialled_) p.acknowledged = dialled_->replace(r.rdata).acknowledged;
    p.amounts = plan_.amounts.of(r, p.acknowledged);
    options_.externalAmount = p.amounts.external;
    options_.internalAmount = p.amounts.internal;
    options_.acknowledged = p.acknowledged;
    p.text = cmdrLineText(r, options_);
    return p;
  }

 private:
  const ReportPlan& plan_;
  LineOptions options_;
  std::optional<DefinitionIndex> dialled_, calling_;
};

// ---- The grouping ----

// Where the grouping's lines go, with the running figures just before each.
class LineOut {
 public:
  virtual ~LineOut() = default;
  virtual void line(const ReportLine& l, const ReportTotals& subTotal, const ReportTotals& total) = 0;
};

// Turns priced rows into the listing's lines: the record tests, user
// headings and sub-totals of a grouped listing, the totals.
class Grouping {
 public:
  using State = CmdrPageCursor::Group;
  Grouping(const ReportPlan& plan, const CmdrReportTexts& texts, ListingUsers& users, State& state, LineOut& out)
      : plan_(plan), texts_(texts), users_(users), state_(state), out_(out) {}

  // One row read; counts its call into stats when it is totalled.
  void take(const CmdrRecord& r, PricedRow& p, int32_t position, CallStatistics* stats) {
    if (r.type != "A") {
      if (!p.text.empty()) recordLine(r, p, position);
      return;
    }
    if (!plan_.tests.passes(r)) return;
    if (plan_.byUser()) {
      if (!state_.inGroup || r.cport != state_.port) {
        closeSubTotal();
        if (!users_.listed(r.cport)) return;
        l_.record = nullptr;
        const std::string heading = users_.heading(r.cport);
        l_.userName = heading.substr(0, heading.size() - r.cport.size() - 1);
        l_.userPort = r.cport;
        emit(ReportLineKind::Heading, heading);
        state_.port = r.cport;
        state_.inGroup = true;
      }
    }
    const ReportTotals subBefore = state_.subTotal, totalBefore = state_.total;
    if (plan_.byUser()) addTo(state_.subTotal, r, p.amounts.external, p.amounts.internal);
    addTo(state_.total, r, p.amounts.external, p.amounts.internal);
    if (stats) stats->add(r);
    if (plan_.details) recordLine(r, p, position, &subBefore, &totalBefore);
  }

  // After the last row: the last sub-total and the total, when any call was totalled.
  void finish() {
    if (state_.total.calls == 0) return;
    closeSubTotal();
    l_.record = nullptr;
    l_.totals = state_.total;
    emit(ReportLineKind::Total, totalsLine(texts_.total, state_.total, plan_.amounts.unit, texts_));
  }

 private:
  void emit(ReportLineKind kind, std::string text, const ReportTotals* subBefore = nullptr,
            const ReportTotals* totalBefore = nullptr) {
    l_.kind = kind;
    l_.text = std::move(text);
    out_.line(l_, subBefore ? *subBefore : state_.subTotal, totalBefore ? *totalBefore : state_.total);
  }
  void recordLine(const CmdrRecord& r, PricedRow& p, int32_t position, const ReportTotals* subBefore = nullptr,
                  const ReportTotals* totalBefore = nullptr) {
    l_.record = &r;
    l_.position = position;
    l_.externalAmount = p.amounts.external;
    l_.internalAmount = p.amounts.internal;
    l_.acknowledged = p.acknowledged;
    emit(ReportLineKind::Record, std::move(p.text), subBefore, totalBefore);
    l_.record = nullptr;
    l_.position = 0;
  }
  void closeSubTotal() {
    if (state_.subTotal.calls == 0) return;
    l_.record = nullptr;
    l_.totals = state_.subTotal;
    emit(ReportLineKind::SubTotal, totalsLine(texts_.subTotal, state_.subTotal, plan_.amounts.unit, texts_));
    emit(ReportLineKind::Empty, {});
    state_.subTotal = ReportTotals{};
  }

  const ReportPlan& plan_;
  const CmdrReportTexts& texts_;
  ListingUsers& users_;
  State& state_;
  LineOut& out_;
  ReportLine l_;
};

// The whole listing's lines straight into a report sink.
class SinkOut : public LineOut {
 public:
  explicit SinkOut(ReportSink& sink) : sink_(sink) {}
  void line(const ReportLine& l, const ReportTotals&, const ReportTotals&) override {
    sink_.line(l);
    ++lines;
  }
  int lines = 0;

 private:
  ReportSink& sink_;
};

// A page's lines: given to the sink up to the page's count, the rest kept
// in the cursor for the next page.
class PageOut : public LineOut {
 public:
  PageOut(ReportSink* sink, int count, CmdrPageCursor& cursor) : sink_(sink), count_(count), cursor_(cursor) {}
  void line(const ReportLine& l, const ReportTotals& subTotal, const ReportTotals& total) override {
    if (given < count_ && cursor_.pending.empty()) {
      if (sink_) sink_->line(l);
      ++given;
      return;
    }
    PendingLine p{l, std::nullopt, subTotal, total};
    if (l.record) p.record = *l.record;
    p.line.record = nullptr;
    cursor_.pending.push_back(std::move(p));
  }
  // Gives the lines kept from the page before, as far as they fit.
  void givePending() {
    size_t n = 0;
    for (; n < cursor_.pending.size() && given < count_; ++n, ++given) {
      PendingLine& p = cursor_.pending[n];
      if (p.record) p.line.record = &*p.record;
      if (sink_) sink_->line(p.line);
      p.line.record = nullptr;
    }
    cursor_.pending.erase(cursor_.pending.begin(), cursor_.pending.begin() + static_cast<std::ptrdiff_t>(n));
  }
  bool full() const { return given >= count_; }
  int given = 0;

 private:
  ReportSink* sink_;
  int count_;
  CmdrPageCursor& cursor_;
};

}  // namespace

CmdrReportTexts CmdrReportTexts::from(const corvane::StringTable& t) {
  CmdrReportTexts x;
  x.longHeader = t.text(kTextCmdrLongColumns);
  x.shortHeader = t.text(kTextCmdrShortColumns);
  x.subTotal = t.text(kTextSubTotal);
  x.total = t.text(kTextTotal);
  x.calls = t.text(kTextCalls);
  x.duration = t.text(kTextDuration);
  x.pulses = t.text(kTextPulses);
  return x;
}

std::string leftAligned(uint64_t v, size_t n) {
  std::string s = std::to_string(v);
  if (s.size() > n) return s.substr(s.size() - n);
  return padRight(std::move(s), n);
}

std::string totalsLine(const std::string& label, const ReportTotals& t, const std::string& unit,
                       const CmdrReportTexts& texts) {
  std::string s = " " + padRight(label + ":", 11);
  s += amountText(t.externalAmount, 8) + unit + " ";
  s += amountText(t.internalAmount, 8) + unit + " ";
  s += texts.calls + ":" + leftAligned(t.calls, 6) + " ";
  s += texts.duration + ":" + leftAligned(t.duration, 8) + " ";
  s += texts.pulses + ":" + leftAligned(t.rpuls, 6) + " " + leftAligned(t.ppuls, 6) + " ";
  return s;
}

CmdrReportResult buildCmdrReport(store::Database& db, const ReportPlan& plan, const CmdrReportTexts& texts,
                                 ReportSink& sink, CallStatistics* stats) {
  CmdrReportResult result;
  if (stats) stats->clear();
  Pricing pricing(plan);
  if (!pricing.load(db, result.error)) return result;
  ListingUsers users(db, plan.users);
  CmdrPageCursor::Group state;
  SinkOut out(sink);
  Grouping grouping(plan, texts, users, state, out);

  CmdrRecord r;
  auto take = [&](const CmdrRecord& row) {
    const int32_t position = result.read++;
    if (result.read % kProgressEvery == 0) sink.progress(out.lines, result.read);
    PricedRow p = pricing.price(row);
    grouping.take(row, p, position, stats);
  };
  const bool sorted = plan.byUser() && (db.engine() == store::Engine::Sqlite || db.engine() == store::Engine::Postgres);
  if (sorted) {
    // A grouped listing reads its selection once as the table lies and puts
    // the rows into user order itself: reading user after user through the
    // port index would cost a random read for every row.
    store::CmdrReader reader(db);
    CmdrSort rowsByUser;
    int scanned = 0;
    if (reader.openByKey(plan.cmdrCondition(false))) {
      while (reader.next(r)) {
        if (!rowsByUser.add(r)) break;
        if (++scanned % kProgressEvery == 0) sink.progress(0, scanned);
      }
    }
    result.error = !reader.error().empty() ? reader.error() : rowsByUser.error();
    std::optional<std::vector<uint32_t>> rank;
    if (result.error.empty()) rank = portRanks(db, rowsByUser.ports(), result.error);
    if (rank && rowsByUser.sort(*rank)) {
      while (rowsByUser.next(r)) take(r);
    }
    if (result.error.empty()) result.error = rowsByUser.error();
  } else {
    ListingRows rows(db, plan, true);
    while (rows.next(r)) take(r);
    result.error = rows.error();
  }
  if (result.error.empty() && !users.error().empty()) result.error = users.error();
  grouping.finish();
  result.lines = out.lines;
  result.total = state.total;
  if (state.total.calls != 0) result.header1 = cmdrReportHeader(plan, texts);
  return result;
}

std::string cmdrReportHeader(const ReportPlan& plan, const CmdrReportTexts& texts) {
  return plan.format == LineFormat::Short ? texts.shortHeader : texts.longHeader;
}

namespace {

// The page's figures at its cursor: those just before the first line not given.
void placeCursor(CmdrPageCursor& c) {
  c.subTotal = c.pending.empty() ? c.group.subTotal : c.pending.front().subTotal;
  c.total = c.pending.empty() ? c.group.total : c.pending.front().total;
}

CmdrPage makePage(store::Database& db, const ReportPlan& plan, const CmdrReportTexts& texts, const CmdrPageCursor& from,
                  int count, ReportSink* sink) {
  CmdrPage page;
  page.next = from;
  CmdrPageCursor& c = page.next;
  PageOut out(sink, count, c);
  out.givePending();
  if (!out.full() && !c.rowsDone) {
    Pricing pricing(plan);
    if (!pricing.load(db, page.error)) return page;
    ListingUsers users(db, plan.users);
    ListingRows rows(db, plan, false, &c);
    Grouping grouping(plan, texts, users, c.group, out);
    CmdrRecord r;
    while (!out.full() && rows.next(r)) {
      PricedRow p = pricing.price(r);
      grouping.take(r, p, c.read++, nullptr);
      c.started = true;
      c.lastPort = r.cport;
      c.lastTime = r.tdate;
      c.lastSqno = r.sqno;
    }
    page.error = rows.error();
    if (page.error.empty() && !users.error().empty()) page.error = users.error();
    if (!page.error.empty()) return page;
    if (!out.full()) {
      grouping.finish();
      c.rowsDone = true;
    }
  }
  page.lines = out.given;
  c.line += out.given;
  placeCursor(c);
  return page;
}

}  // namespace

CmdrPage buildCmdrPage(store::Database& db, const ReportPlan& plan, const CmdrReportTexts& texts,
                       const CmdrPageCursor& from, int count, ReportSink& sink) {
  return makePage(db, plan, texts, from, count, &sink);
}

std::optional<CmdrPageCursor> cmdrPageCursorAt(store::Database& db, const ReportPlan& plan,
                                               const CmdrReportTexts& texts, int line, std::string& error) {
  CmdrPage page = makePage(db, plan, texts, CmdrPageCursor{}, line, nullptr);
  if (!page.error.empty()) {
    error = page.error;
    return std::nullopt;
  }
  return std::move(page.next);
}

bool writeReport(std::FILE* out, const std::string& header1, const std::string& header2, int count,
                 const std::function<std::optional<std::string>(int)>& line) {
  auto put = [&](const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fwrite("\r\n", 1, 2, out) == 2;
  };
  if (!header1.empty() && !put(header1)) return false;
  if (!header2.empty() && !put(header2)) return false;
  for (int i = 0; i < count; ++i) {
    std::optional<std::string> text = line(i);
    if (!text || !put(*text)) return false;
  }
  return std::fflush(out) == 0;
}

bool writeReportFile(const std::string& path, const std::string& header1, const std::string& header2, int count,
                     const std::function<std::optional<std::string>(int)>& line) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = writeReport(f, header1, header2, count, line);
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

namespace {
std::function<std::optional<std::string>(int)> storeLines(LineStore& lines) {
  return [&lines](int i) -> std::optional<std::string> {
    std::optional<LineRecord> r = lines.read(i);
    if (!r) return std::nullopt;
    return std::move(r->text);
  };
}
}  // namespace

bool writeReport(std::FILE* out, const std::string& header1, const std::string& header2, LineStore& lines) {
  return writeReport(out, header1, header2, lines.count(), storeLines(lines));
}

bool writeReportFile(const std::string& path, const std::string& header1, const std::string& header2,
                     LineStore& lines) {
  return writeReportFile(path, header1, header2, lines.count(), storeLines(lines));
}

// ---- Archive and deletion ----

ArchiveResult archiveCmdrRecords(RecordStore& store, store::Database& source, const ReportPlan& plan,
                                 const std::string& path, const std::vector<std::string>& openDatabases,
                                 bool replaceConfirmed, const std::function<void(uint64_t)>& progress) {
  ArchiveResult result;
  const std::string target = canonical(path);
  std::vector<std::string> open = openDatabases;
  open.push_back(databaseFile(source.connectionString()));
  for (const std::string& o : open) {
    if (!o.empty() && canonical(o) == target) {
      result.status = ArchiveResult::Status::Refused;
      return result;
    }
  }
  std::unique_ptr<CmdrArchive> archive = store.openCmdrArchive(path, true, replaceConfirmed);
  if (!archive) {
    result.status = ArchiveResult::Status::CannotCreate;
    return result;
  }
  store::Database& adb = *archive->db;
  store::DrptCset records(source);
  std::vector<int32_t> sqnos;
  uint64_t read = 0;
  try {
    // Every row of the query; their order does not matter in the archive.
    if (!records.open(plan.cmdrCondition(false), store::sortBy("sqno"))) throw std::runtime_error(records.error());
    adb.begin();
    store::BulkInserter<CmdrRecord> insert(adb);
    CmdrRecord r;
    while (records.next(r)) {
      ++read;
      sqnos.push_back(r.sqno);
      insert.add(r);
      if (progress && read % kProgressEvery == 0) progress(read);
    }
    if (!records.error().empty()) throw std::runtime_error(records.error());
    insert.flush();
    adb.commit();
    result.copied = insert.inserted();
  } catch (const std::exception& e) {
    if (adb.inTransaction()) {
      try {
        adb.rollback();
      } catch (...) {
      }
    }
    result.error = store::failureText(e);
    result.status = ArchiveResult::Status::Failed;
    return result;
  }
  if (result.copied != read) {
    result.status = ArchiveResult::Status::Failed;
    return result;
  }
  result.sqnos = std::move(sqnos);
  result.status = ArchiveResult::Status::Copied;
  return result;
}

bool deleteCmdrRecords(store::Database& db, const std::vector<int32_t>& sqnos, std::string& error) {
  store::DrptCset records(db);
  try {
    db.begin();
    for (int32_t key : sqnos)
      if (!records.remove(key)) throw std::runtime_error(records.error());
    db.commit();
  } catch (const std::exception& e) {
    if (db.inTransaction()) {
      try {
        db.rollback();
      } catch (...) {
      }
    }
    error = store::failureText(e);
    return false;
  }
  return true;
}

}  // namespace lumarc::browse
