#include "lumarc/browse/cmdr_report.h"

#include "lumarc/texts/texts.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/statistics.h"
#include "lumarc/links/cmdr_line.h"
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

CmdrReportResult buildCmdrReport(store::Database& db, const TemplateRecord& s, const CmdrReportTexts& texts,
                                 ReportSink& sink, CallStatistics* stats) {
  CmdrReportResult result;
  if (stats) stats->clear();

  const bool shortFormat = s.TRpfm == 1;
  const DigitReplacement replacement = s.TRplc == 1   ? DigitReplacement::Dialled
                                       : s.TRplc == 2 ? DigitReplacement::Calling
                                       : s.TRplc == 3 ? DigitReplacement::Both
                                                      : DigitReplacement::None;
  const bool replaceDialled = replacement == DigitReplacement::Dialled || replacement == DigitReplacement::Both;
  const bool replaceCalling = replacement == DigitReplacement::Calling || replacement == DigitReplacement::Both;
  // The acknowledged mark decides free calls and shows in the short line,
  // so it is looked up whenever either needs it.
  const bool needAck = s.TAckf != 0 || shortFormat;
  std::optional<DefinitionIndex> dialled, calling;
  if (replaceDialled || needAck) {
    dialled = DefinitionIndex::load(db, kDialledDigits, result.error);
    if (!dialled) return result;
  }
  if (replaceCalling) {
    calling = DefinitionIndex::load(db, kCallingNumber, result.error);
    if (!calling) return result;
  }

  LineOptions options;
  options.format = shortFormat ? LineFormat::Short : LineFormat::Long;
  options.replacement = replacement;
  options.replace = [&](const std::string& digits, bool isCalling) {
    return (isCalling ? *calling : *dialled).replace(digits).text;
  };

  const int32_t mode = s.TLtyp;
  const bool grouped = mode >= kAllUserSorted && mode <= kSections;
  const bool noDetails = (s.TFlag & kNoDetails) != 0 && s.TRect == kCallRecords && mode != kAllTimeSorted;
  ListingUsers users(db, s);

  const store::Condition filter = cmdrFilter(s).condition(grouped);
  std::vector<std::string> ports;
  if (grouped) {
    try {
      ports = selectionPorts(db, filter);
    } catch (const std::exception& e) {
      result.error = store::failureText(e);
      return result;
    }
  }
  size_t nextPort = 0;
  store::DrptCset records(db);
  // Opens the next query: the whole selection in time order, or the next
  // user's rows; false when there is none left.
  auto openNext = [&]() -> bool {
    records.close();
    if (!grouped) {
      if (nextPort++ > 0) return false;
      return records.open(filter, cmdrOrder(mode));
    }
    if (nextPort >= ports.size()) return false;
    // Port and time: the database then picks the port index, and one
    // user's rows are read at once (paging by time would scan the time index).
    return records.open(store::Condition::all({filter, store::Condition::eq("cport", ports[nextPort++])}),
                        cmdrOrder(mode));
  };

  ReportTotals subTotal;
  std::string currentPort;
  bool haveCurrent = false;
  ReportLine l;
  auto emit = [&](ReportLineKind kind, std::string text) {
    l.kind = kind;
    l.text = std::move(text);
    sink.line(l);
    ++result.lines;
  };
  auto closeSubTotal = [&] {
    if (subTotal.calls == 0) return;
    l.record = nullptr;
    l.totals = subTotal;
    emit(ReportLineKind::SubTotal, totalsLine(texts.subTotal, subTotal, s.TPunt, texts));
    emit(ReportLineKind::Empty, {});
    subTotal = ReportTotals{};
  };

  CmdrRecord r;
  bool more = openNext();
  if (!more && !records.error().empty()) result.error = records.error();
  while (more) {
    if (!records.next(r)) {
      if (!records.error().empty()) {
        result.error = records.error();
        break;
      }
      more = openNext();
      if (!more && !records.error().empty()) result.error = records.error();
      continue;
    }
    const int32_t position = result.read++;
    if (result.read % kProgressEvery == 0) sink.progress(result.lines, result.read);

    // Amounts and the acknowledged mark.
    double external = 0, internal = 0;
    bool acknowledged = false;
    if (needAck && dialled) acknowledged = dialled->replace(r.rdata).acknowledged;
    if (r.type == "A" && s.TPrce != 0 && uint64_t{r.rpuls} + r.ppuls != 0 && !(s.TAckf != 0 && acknowledged)) {
      external = r.rpuls * s.TPrce;
      internal = r.ppuls * s.TPrce;
    }
    options.externalAmount = external;
    options.internalAmount = internal;
    options.acknowledged = acknowledged;
    std::string text = cmdrLineText(r, options);

    bool listRecord = true;
    if (r.type != "A") {
      if (text.empty()) continue;
    } else {
      if (!passesCallTests(s, r)) continue;
      if (grouped) {
        if (!haveCurrent || r.cport != currentPort) {
          closeSubTotal();
          if (!users.listed(r.cport)) continue;
          l.record = nullptr;
          const std::string heading = users.heading(r.cport);
          l.userName = heading.substr(0, heading.size() - r.cport.size() - 1);
          l.userPort = r.cport;
          emit(ReportLineKind::Heading, heading);
          currentPort = r.cport;
          haveCurrent = true;
        }
        addTo(subTotal, r, external, internal);
      }
      addTo(result.total, r, external, internal);
      if (stats) stats->add(r);
      listRecord = !noDetails;
    }
    if (listRecord) {
      l.record = &r;
      l.position = position;
      l.externalAmount = external;
      l.internalAmount = internal;
      l.acknowledged = acknowledged;
      emit(ReportLineKind::Record, std::move(text));
      l.record = nullptr;
      l.position = 0;
    }
  }
  if (result.error.empty() && !users.error().empty()) result.error = users.error();

  if (result.total.calls != 0) {
    closeSubTotal();
    l.record = nullptr;
    l.totals = result.total;
    emit(ReportLineKind::Total, totalsLine(texts.total, result.total, s.TPunt, texts));
    if (shortFormat)
      result.header1 = texts.shortHeader;
    else
      result.header1 = texts.longHeader;
  }
  return result;
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

ArchiveResult archiveCmdrRecords(RecordStore& store, store::Database& source, const TemplateRecord& s,
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
    if (!records.open(cmdrFilter(s).condition(), store::sortBy("sqno"))) throw std::runtime_error(records.error());
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
