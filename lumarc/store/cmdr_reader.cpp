#include "lumarc/store/cmdr_reader.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace lumarc::store {

// One result column: a buffer of fetchRows values and their indicators.
struct CmdrReader::Column {
  ColType type;
  size_t width;
  size_t slot;  // bytes per row
  std::vector<unsigned char> data;
  std::vector<SQLLEN> ind;
};

CmdrReader::CmdrReader(Database& db, size_t pageRows, size_t fetchRows)
    : db_(db), pageRows_(std::max<size_t>(pageRows, 1)), fetchRows_(std::max<size_t>(fetchRows, 1)) {
  const bool wide = db.dialect().wideText();
  const bool dateText = db.dialect().dateAsText();
  for (const ColumnDef& cd : cdataTable().columns) {
    Column c{cd.type, cd.width, 0, {}, {}};
    switch (cd.type) {
      case ColType::Counter:
      case ColType::Long:
      case ColType::Short: c.slot = sizeof(SQLINTEGER); break;
      case ColType::Float: c.slot = sizeof(double); break;
      case ColType::Bit: c.slot = sizeof(SQLSMALLINT); break;
      case ColType::Text: c.slot = wide ? (cd.width + 1) * sizeof(SQLWCHAR) : cd.width * 3 + 1; break;
      case ColType::Date: c.slot = dateText ? 32 : sizeof(SQL_TIMESTAMP_STRUCT); break;
    }
    c.data.assign(c.slot * fetchRows_, 0);
    c.ind.assign(fetchRows_, 0);
    cols_.push_back(std::move(c));
  }
}

CmdrReader::~CmdrReader() = default;

void CmdrReader::close() {
  select_.reset();
  values_.reset();
  fetched_ = at_ = 0;
}

bool CmdrReader::openByKey(const Condition& filter) {
  close();
  error_.clear();
  filter_ = filter;
  last_ = false;
  byKey_ = true;
  try {
    odbc::Statement keys(db_.connection());
    keys.executeDirect("SELECT MIN(sqno), MAX(sqno) FROM Cdata");
    int64_t lo = 0, hi = -1;
    if (keys.fetch() && keys.getInt64(1, lo)) keys.getInt64(2, hi);
    keys.closeCursor();
    keyFrom_ = lo;
    keyEnd_ = hi + 1;
    if (keyFrom_ >= keyEnd_) return true;  // no rows
    runPage();
    return true;
  } catch (const std::exception& e) {
    close();
    error_ = failureText(e);
    return false;
  }
}

bool CmdrReader::open(const Condition& filter, std::optional<std::pair<DateTime, int32_t>> after) {
  close();
  error_.clear();
  byKey_ = false;
  filter_ = filter;
  last_ = after.has_value();
  if (after) lastTime_ = after->first, lastSqno_ = after->second;
  page_ = 0;
  try {
    runPage();
    return true;
  } catch (const std::exception& e) {
    close();
    error_ = failureText(e);
    return false;
  }
}

// The page after the last row read (the first page when none was): led by
// a range on tdate so that its index, or the port index after an equal
// port, serves it.
void CmdrReader::runPage() {
  const TableDef& t = cdataTable();
  std::vector<SqlValue> params;
  std::string sql = "SELECT " + columnList(t) + " FROM " + t.name + " WHERE ";
  if (!filter_.empty()) {
    sql += "(";
    filter_.render(db_.dialect(), sql, params);
    sql += ") AND ";
  }
  if (byKey_) {
    const int64_t to = std::min<int64_t>(keyEnd_, keyFrom_ + static_cast<int64_t>(pageRows_));
    sql += "tdate IS NOT NULL AND sqno >= ? AND sqno < ? ORDER BY sqno";
    params.emplace_back(keyFrom_);
    params.emplace_back(to);
    keyFrom_ = to;
  }
  // The position is the one bound on tdate here: SQLite takes a single
  // lower bound for its index range, and a filter's bound in its place
  // would make every page start at the filter's first row.
  if (byKey_) {
  } else if (!last_) {
    sql += "tdate IS NOT NULL";
  } else {
    sql += "tdate >= ? AND (tdate > ? OR (tdate = ? AND sqno > ?))";
    for (int k = 0; k < 3; ++k) params.emplace_back(lastTime_);
    params.emplace_back(int64_t{lastSqno_});
  }
  // Pages grow from a small first one: the first lines of a listing come
  // quickly, and a long read soon goes in whole pages.
  if (!byKey_) {
    page_ = page_ == 0 ? std::min<size_t>(256, pageRows_) : std::min(page_ * 4, pageRows_);
    sql += " ORDER BY tdate, sqno LIMIT " + std::to_string(page_);
  }

  select_.reset();
  auto stmt = std::make_unique<odbc::Statement>(db_.connection());
  stmt->prepare(sql);
  auto values = std::make_unique<ValueBinder>(db_);
  values->bind(*stmt, params);
  stmt->setRowArraySize(fetchRows_, &fetched_);
  stmt->execute();
  const bool wide = db_.dialect().wideText();
  const bool dateText = db_.dialect().dateAsText();
  for (size_t i = 0; i < cols_.size(); ++i) {
    Column& c = cols_[i];
    const auto n = static_cast<SQLUSMALLINT>(i + 1);
    void* p = c.data.data();
    SQLLEN* ind = c.ind.data();
    const auto len = static_cast<SQLLEN>(c.slot);
    switch (c.type) {
      case ColType::Counter:
      case ColType::Long:
      case ColType::Short: stmt->bindColumn(n, SQL_C_SLONG, p, 0, ind); break;
      case ColType::Float: stmt->bindColumn(n, SQL_C_DOUBLE, p, 0, ind); break;
      case ColType::Bit: stmt->bindColumn(n, SQL_C_SSHORT, p, 0, ind); break;
      case ColType::Text: stmt->bindColumn(n, wide ? SQL_C_WCHAR : SQL_C_CHAR, p, len, ind); break;
      case ColType::Date: stmt->bindColumn(n, dateText ? SQL_C_CHAR : SQL_C_TYPE_TIMESTAMP, p, len, ind); break;
    }
  }
  select_ = std::move(stmt);
  values_ = std::move(values);
  fetched_ = at_ = inPage_ = 0;
}

bool CmdrReader::next(CmdrRecord& out) {
  if (!select_) return false;
  try {
    while (at_ >= fetched_) {
      fetched_ = at_ = 0;
      if (select_->fetch() && fetched_ > 0) break;
      // The page ended: a full page may have more after it, and so may
      // every key range but the last.
      if (byKey_ ? keyFrom_ >= keyEnd_ : inPage_ < page_) {
        close();
        return false;
      }
      runPage();
    }
    decode(at_++, out);
    ++inPage_;
    last_ = true;
    lastTime_ = out.tdate;
    lastSqno_ = out.sqno;
    return true;
  } catch (const std::exception& e) {
    close();
    error_ = failureText(e);
    return false;
  }
}

namespace {

// Text of a column as the recordsets read it, into out's own buffer when
// it is plain ASCII.
void textOf(const TextCodec& codec, bool wide, const unsigned char* p, SQLLEN ind, size_t slot, std::string& out) {
  if (ind == SQL_NULL_DATA) {
    out.clear();
    return;
  }
  if (wide) {
    const size_t maxUnits = slot / sizeof(uint16_t) - 1;
    const size_t n =
        (ind == SQL_NO_TOTAL || ind < 0) ? maxUnits : std::min<size_t>(static_cast<size_t>(ind) / 2, maxUnits);
    uint16_t units[1025];
    std::memcpy(units, p, n * sizeof(uint16_t));
    bool ascii = true;
    for (size_t i = 0; i < n; ++i) ascii = ascii && units[i] < 0x80;
    if (!ascii) {
      out = codec.fromUtf16(units, n);
      return;
    }
    out.resize(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>(units[i]);
    return;
  }
  const size_t n = (ind == SQL_NO_TOTAL || ind < 0) ? slot - 1 : std::min<size_t>(static_cast<size_t>(ind), slot - 1);
  const char* s = reinterpret_cast<const char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(s[i]) >= 0x80) {
      out = codec.fromUtf8(std::string_view(s, n));
      return;
    }
  out.assign(s, n);
}

}  // namespace

void CmdrReader::decode(size_t row, CmdrRecord& out) const {
  const bool wide = db_.dialect().wideText();
  const bool dateText = db_.dialect().dateAsText();
  size_t i = 0;
  forEachField(out, [&](auto& f) {
    const Column& c = cols_[i++];
    const unsigned char* p = &c.data[row * c.slot];
    const SQLLEN ind = c.ind[row];
    using T = std::decay_t<decltype(f)>;
    if constexpr (std::is_same_v<T, std::string>) {
      textOf(db_.codec(), wide, p, ind, c.slot, f);
    } else if constexpr (std::is_same_v<T, DateTime>) {
      f = DateTime{};
      if (ind == SQL_NULL_DATA) return;
      if (dateText) {
        const size_t n = (ind < 0) ? std::strlen(reinterpret_cast<const char*>(p))
                                   : std::min<size_t>(static_cast<size_t>(ind), c.slot - 1);
        parseDateTime(std::string_view(reinterpret_cast<const char*>(p), n), f);
      } else {
        SQL_TIMESTAMP_STRUCT ts{};
        std::memcpy(&ts, p, sizeof ts);
        f = DateTime{ts.year, ts.month, ts.day, ts.hour, ts.minute, static_cast<int>(ts.second)};
      }
    } else {
      static_assert(std::is_same_v<T, int32_t> || std::is_same_v<T, uint32_t>);
      SQLINTEGER x = 0;
      if (ind != SQL_NULL_DATA) std::memcpy(&x, p, sizeof x);
      f = static_cast<T>(x);
    }
  });
}

}  // namespace lumarc::store
