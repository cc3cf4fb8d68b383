#include "lumarc/browse/csv.h"

#include "common/format.h"
#include "lumarc/links/cmdr_line.h"

#include <cstdio>

namespace lumarc::browse {

namespace {

std::string trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

std::string amount(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

}  // namespace

std::string csvField(std::string_view s) {
  const bool quote =
      s.find_first_of(",\"\r\n") != std::string_view::npos || (!s.empty() && (s.front() == ' ' || s.back() == ' '));
  if (!quote) return std::string(s);
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string csvRow(const std::vector<std::string>& fields) {
  std::string row;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) row += ',';
    row += csvField(fields[i]);
  }
  row += "\r\n";
  return row;
}

const std::vector<std::string>& cmdrCsvColumns() {
  static const std::vector<std::string> columns = {
      "kind",     "user",  "port",         "sqno",   "type",    "date",        "duration", "cport",
      "pport",    "uport", "dialled",      "digits", "calling", "rpuls",       "ppuls",    "external",
      "internal", "unit",  "acknowledged", "calls",  "user_ip", "exchange_ip", "flags"};
  return columns;
}

CmdrCsvWriter::CmdrCsvWriter(std::FILE* out, corvane::CodePage cp, std::string unit)
    : out_(out), cp_(cp), unit_(std::move(unit)) {}

CmdrCsvWriter::CmdrCsvWriter(RowFn row, corvane::CodePage cp, std::string unit)
    : row_(std::move(row)), cp_(cp), unit_(std::move(unit)) {}

void CmdrCsvWriter::write(const std::vector<std::string>& fields) {
  if (row_) {
    if (!row_(fields)) ok_ = false;
    return;
  }
  std::string row;
  if (!titled_) row = csvRow(cmdrCsvColumns());
  titled_ = true;
  row += csvRow(fields);
  if (std::fwrite(row.data(), 1, row.size(), out_) != row.size()) ok_ = false;
}

void CmdrCsvWriter::line(const ReportLine& l) {
  switch (l.kind) {
    case ReportLineKind::Heading:
      name_ = text(trimmed(l.userName));
      port_ = text(trimmed(l.userPort));
      return;
    case ReportLineKind::Empty: return;
    case ReportLineKind::Record: {
      const CmdrRecord& r = *l.record;
      write({"record",
             name_,
             port_,
             std::to_string(r.sqno),
             text(r.type),
             recordDateText(r.tdate),
             std::to_string(r.duration),
             text(trimmed(r.cport)),
             text(trimmed(r.pport)),
             text(trimmed(r.uport)),
             text(trimmed(r.rdata)),
             text(trimmed(r.xdata)),
             text(trimmed(r.cdata)),
             std::to_string(r.rpuls),
             std::to_string(r.ppuls),
             amount(l.externalAmount),
             amount(l.internalAmount),
             text(unit_),
             l.acknowledged ? "A" : "",
             "",
             r.crefc ? corvane::ipv4Text(r.crefc) : "",
             r.ipadr ? corvane::ipv4Text(r.ipadr) : "",
             std::to_string(r.flags)});
      return;
    }
    case ReportLineKind::SubTotal:
    case ReportLineKind::Total: {
      const ReportTotals& t = l.totals;
      const bool sub = l.kind == ReportLineKind::SubTotal;
      write({sub ? "subtotal" : "total",
             sub ? name_ : "",
             sub ? port_ : "",
             "",
             "",
             "",
             std::to_string(t.duration),
             "",
             "",
             "",
             "",
             "",
             "",
             std::to_string(t.rpuls),
             std::to_string(t.ppuls),
             amount(t.externalAmount),
             amount(t.internalAmount),
             text(unit_),
             "",
             std::to_string(t.calls),
             "",
             "",
             ""});
      return;
    }
  }
}

}  // namespace lumarc::browse
