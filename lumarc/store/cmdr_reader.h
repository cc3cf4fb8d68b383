// The reading side of Cdata for listings: rows of a condition in time order
// (tdate, then sqno), fetched as whole arrays of typed columns and read in
// pages, each page continuing after the last row of the one before, so
// that neither driver holds more than one page and no row costs a round
// trip of its own. Rows without a date are never read.
#pragma once

#include "lumarc/records/records.h"
#include "lumarc/store/database.h"

#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

namespace lumarc::store {

class CmdrReader {
 public:
  // pageRows: rows per query at most; fetchRows: rows per fetch.
  explicit CmdrReader(Database& db, size_t pageRows = 8192, size_t fetchRows = 256);
  ~CmdrReader();
  CmdrReader(const CmdrReader&) = delete;
  CmdrReader& operator=(const CmdrReader&) = delete;

  // Starts the rows of filter, or those after (tdate, sqno) when given;
  // false with error() on a failure. The filter should not bound tdate
  // itself (compare its parts instead): the read's position is its range.
  bool open(const Condition& filter, std::optional<std::pair<DateTime, int32_t>> after = std::nullopt);
  // Starts the rows of filter in key (sqno) order, each page a range of
  // keys: a read of a whole selection whose order does not matter, which
  // then goes through the table as it lies, whatever bounds the filter has.
  bool openByKey(const Condition& filter);
  // The next row into out, whose texts keep their buffers; false at the
  // end or on a failure (error() then set).
  bool next(CmdrRecord& out);
  void close();
  bool isOpen() const { return select_ != nullptr; }
  const std::string& error() const { return error_; }

 private:
  struct Column;
  void runPage();
  void decode(size_t row, CmdrRecord& out) const;

  Database& db_;
  size_t pageRows_, fetchRows_;
  size_t page_ = 0;  // rows asked of the page open
  std::vector<Column> cols_;
  Condition filter_;
  std::unique_ptr<odbc::Statement> select_;
  std::unique_ptr<ValueBinder> values_;
  SQLULEN fetched_ = 0;  // rows in the arrays
  size_t at_ = 0;        // the next row of the arrays
  size_t inPage_ = 0;    // rows of the page read
  bool byKey_ = false;   // pages are key ranges [keyFrom_, keyFrom_ + pageRows_)
  int64_t keyFrom_ = 0, keyEnd_ = 0;
  bool last_ = false;  // a row was read: the next page starts after it
  DateTime lastTime_;
  int32_t lastSqno_ = 0;
  std::string error_;
};

}  // namespace lumarc::store
