// The CSV export of a CMDR report: a title row, then one row per listed
// record with its fields as columns, the user heading it is listed under,
// its amounts and acknowledged mark, and the sub-total and total rows told
// apart by the "kind" column (record, subtotal, total). Fields are quoted
// as RFC 4180 asks, rows end with CR LF, and the text is UTF-8.
#pragma once

#include "common/codepage.h"
#include "lumarc/browse/cmdr_report.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::browse {

// One field as RFC 4180 writes it: quoted when it holds a comma, a quote,
// CR or LF, or leading or trailing blanks; quotes doubled.
std::string csvField(std::string_view utf8);
// Fields joined with commas, ending with CR LF.
std::string csvRow(const std::vector<std::string>& utf8Fields);

// The column titles of the CMDR CSV.
const std::vector<std::string>& cmdrCsvColumns();

// A report sink that writes CSV rows to out: the title row before the
// first row, so that an empty report writes nothing.
class CmdrCsvWriter : public ReportSink {
 public:
  CmdrCsvWriter(std::FILE* out, corvane::CodePage cp, std::string unit);
  // The rows' fields (UTF-8, cmdrCsvColumns() order) handed to `row`
  // instead, without the title row; a false return counts as a failed write.
  using RowFn = std::function<bool(const std::vector<std::string>& utf8Fields)>;
  CmdrCsvWriter(RowFn row, corvane::CodePage cp, std::string unit);
  void line(const ReportLine& l) override;
  // Whether every write succeeded.
  bool ok() const { return ok_; }

 private:
  void write(const std::vector<std::string>& fields);
  std::string text(std::string_view bytes) const { return corvane::toUtf8(bytes, cp_); }
  std::FILE* out_ = nullptr;
  RowFn row_;
  corvane::CodePage cp_;
  std::string unit_;
  std::string name_, port_;  // the current user heading, UTF-8
  bool ok_ = true;
  bool titled_ = false;
};

}  // namespace lumarc::browse
