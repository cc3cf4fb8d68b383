// lumarc-cli report cmdr|voice: a month of calls per user with prices, as
// the CMDR browser's "Save" writes it, for a scheduled job on a server.
// Every option sets one field of the selection form; what is left out keeps
// the form's default, or the named template's value.
#include "tools/cli/report_cmd.h"
#include "tools/cli/pdf_output.h"

#include "tools/cli/store_text.h"

#include "common/codepage.h"
#include "common/files.h"
#include "lumarc/app/settings.h"
#include "lumarc/app/texts.h"
#include "lumarc/browse/cmdr_report.h"
#include "lumarc/browse/csv.h"
#include "lumarc/browse/report_plan.h"
#include "lumarc/browse/selection.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lumarc::cli {

namespace {

constexpr const char* kUsage =
    "report cmdr|voice [--template NAME] [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--time-from HH:MM] "
    "[--time-to HH:MM] [--month YYYY-MM|previous] [--variant 0-5] [--mode 0-5] [--user|--dept|--section TEXT] [--port TEXT] "
    "[--dialled TEXT] [--calling TEXT] [--exchange A.B.C.D] [--price N] [--unit TEXT] [--line long|short] "
    "[--replace none|dialled|calling|both] [--acked-free] [--no-details] [--direction all|in|out] "
    "[--format text|csv|pdf] [--output FILE]";

int usageError(const std::string& why) {
  std::fprintf(stderr, "lumarc-cli: %s\nusage: lumarc-cli [--dir WORKDIR] [--db CONNECTION] %s\n", why.c_str(), kUsage);
  return 2;
}

bool digitsOnly(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool parseDate(const std::string& v, DateTime& t) {
  if (v.size() != 10 || v[4] != '-' || v[7] != '-' || !digitsOnly(v.substr(0, 4)) || !digitsOnly(v.substr(5, 2)) ||
      !digitsOnly(v.substr(8, 2)))
    return false;
  DateTime d = t;
  d.year = std::atoi(v.substr(0, 4).c_str());
  d.month = std::atoi(v.substr(5, 2).c_str());
  d.day = std::atoi(v.substr(8, 2).c_str());
  d.hour = 0, d.minute = 0, d.second = 0;
  if (browse::dateFields(d).year < 0) return false;
  t.year = d.year, t.month = d.month, t.day = d.day;
  return true;
}

bool parseTime(const std::string& v, DateTime& t) {
  if (v.size() != 5 || v[2] != ':' || !digitsOnly(v.substr(0, 2)) || !digitsOnly(v.substr(3, 2))) return false;
  const int h = std::atoi(v.substr(0, 2).c_str()), m = std::atoi(v.substr(3, 2).c_str());
  if (h > 23 || m > 59) return false;
  t.hour = h, t.minute = m, t.second = 0;
  return true;
}

bool parseChoice(const std::string& v, const std::vector<std::string>& words, int32_t& out) {
  for (size_t i = 0; i < words.size(); ++i)
    if (v == words[i]) {
      out = static_cast<int32_t>(i);
      return true;
    }
  return false;
}

// The options after the report kind, in two passes: the template first,
// then every other option over it.
struct Parsed {
  std::string templateName;
  bool haveTemplate = false;
  std::vector<std::pair<std::string, std::string>> fields;  // option, value (empty for flags)
  std::string format = "text", output;
};

bool split(const std::vector<std::string>& args, Parsed& p, std::string& why) {
  static const std::vector<std::string> flags = {"--acked-free", "--no-details"};
  static const std::vector<std::string> valued = {
      "--template", "--month", "--from",    "--to",        "--time-from", "--time-to", "--variant",  "--mode",
      "--user",     "--dept",  "--section", "--port",      "--dialled",   "--calling", "--exchange", "--price",
      "--unit",     "--line",  "--replace", "--direction", "--format",    "--output"};
  for (size_t i = 1; i < args.size(); ++i) {
    std::string a = args[i], value;
    bool hasValue = false;
    const size_t eq = a.find('=');
    if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a.resize(eq);
      hasValue = true;
    }
    const bool isFlag = std::find(flags.begin(), flags.end(), a) != flags.end();
    const bool isValued = std::find(valued.begin(), valued.end(), a) != valued.end();
    if (!isFlag && !isValued) {
      why = a.rfind("--", 0) == 0 ? "unknown option " + args[i] : "unexpected argument " + args[i];
      return false;
    }
    if (isFlag) {
      if (hasValue) {
        why = a + " takes no value";
        return false;
      }
      p.fields.emplace_back(a, "");
      continue;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        why = a + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (a == "--template") {
      p.templateName = value;
      p.haveTemplate = true;
    } else if (a == "--format") {
      p.format = value;
    } else if (a == "--output") {
      if (value.empty()) {
        why = "--output needs a file name";
        return false;
      }
      p.output = value;
    } else {
      p.fields.emplace_back(a, value);
    }
  }
  return true;
}

// Sets the selection field of one option; false with the reason.
bool apply(const std::string& a, const std::string& v, corvane::CodePage cp, TemplateRecord& s, std::string& why) {
  auto bad = [&] {
    why = "invalid value \"" + v + "\" for " + a;
    return false;
  };
  auto text = [&] { return corvane::fromUtf8(v, cp); };
  if (a == "--month") {
    // Every day of one month: a calendar month, or the one before today's.
    int y = 0, m = 0;
    if (v == "previous") {
      const std::time_t now = std::time(nullptr);
      std::tm tm{};
      localtime_r(&now, &tm);
      y = tm.tm_year + 1900, m = tm.tm_mon;  // tm_mon is 0-based: the previous month 1-based
      if (m == 0) y -= 1, m = 12;
    } else if (v.size() == 7 && v[4] == '-' && digitsOnly(v.substr(0, 4)) && digitsOnly(v.substr(5, 2))) {
      y = std::atoi(v.substr(0, 4).c_str()), m = std::atoi(v.substr(5, 2).c_str());
    }
    if (m < 1 || m > 12 || y < 100) return bad();
    DateTime last{y, m, 31, 0, 0, 0};
    while (browse::dateFields(last).year < 0) --last.day;
    s.TStr.year = y, s.TStr.month = m, s.TStr.day = 1;
    s.TEnd.year = y, s.TEnd.month = m, s.TEnd.day = last.day;
    return true;
  }
  if (a == "--from") return parseDate(v, s.TStr) || bad();
  if (a == "--to") return parseDate(v, s.TEnd) || bad();
  if (a == "--time-from") return parseTime(v, s.TStr) || bad();
  if (a == "--time-to") return parseTime(v, s.TEnd) || bad();
  if (a == "--variant" || a == "--mode") {
    if (v.size() != 1 || v[0] < '0' || v[0] > '5') return bad();
    (a == "--variant" ? s.TRect : s.TLtyp) = v[0] - '0';
    return true;
  }
  if (a == "--user" || a == "--dept" || a == "--section") {
    s.TLstr = text();
    return true;
  }
  if (a == "--port") return (s.Tpuport = text(), true);
  if (a == "--dialled") return (s.Tddgts = text(), true);
  if (a == "--calling") return (s.Tcdgts = text(), true);
  if (a == "--unit") return (s.TPunt = text(), true);
  if (a == "--exchange") {
    in_addr addr{};
    if (::inet_pton(AF_INET, v.c_str(), &addr) != 1) return bad();
    s.ipadr = ntohl(addr.s_addr);
    return true;
  }
  if (a == "--price") {
    char* end = nullptr;
    const double p = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !(p >= 0 && p <= 99999999)) return bad();
    s.TPrce = p;
    return true;
  }
  if (a == "--line") return parseChoice(v, {"long", "short"}, s.TRpfm) || bad();
  if (a == "--replace") return parseChoice(v, {"none", "dialled", "calling", "both"}, s.TRplc) || bad();
  if (a == "--direction") return parseChoice(v, {"all", "in", "out"}, s.vrdir) || bad();
  if (a == "--acked-free") return (s.TAckf = 1, true);
  if (a == "--no-details") return (s.TFlag |= browse::kNoDetails, true);
  why = "unknown option " + a;
  return false;
}

std::FILE* openOutput(const ReportOptions& ro) {
  return ro.output.empty() ? stdout : std::fopen(ro.output.c_str(), "wb");
}

int runCmdrReport(const ReportOptions& ro) {
  store::Database& db = *ro.store->mainDatabase();
  const browse::CmdrReportTexts texts = browse::CmdrReportTexts::from(*ro.texts);
  auto failed = [](const std::string& error) {
    std::fprintf(stderr, "lumarc-cli: %s (%s)\n", databaseAccessFailedText().c_str(), error.c_str());
    return 1;
  };
  const browse::ReportPlan plan = browse::planFor(ro.selection);
  if (ro.format == ReportFormat::Csv) {
    std::FILE* out = openOutput(ro);
    if (!out) return fileAccessFailed(ro, ro.output);
    browse::CmdrCsvWriter csv(out, ro.texts->codePage(), plan.amounts.unit);
    const browse::CmdrReportResult r = browse::buildCmdrReport(db, plan, texts, csv);
    bool ok = csv.ok() && std::fflush(out) == 0;
    if (out != stdout && std::fclose(out) != 0) ok = false;
    if (!r.error.empty()) return failed(r.error);
    return ok ? 0 : fileAccessFailed(ro, ro.output.empty() ? "stdout" : ro.output);
  }
  browse::LineStore lines;
  if (!lines.ok()) {
    std::fprintf(stderr, "lumarc-cli: the report lines could not be kept\n");
    return 1;
  }
  browse::LineStoreSink sink(lines);
  const browse::CmdrReportResult r = browse::buildCmdrReport(db, plan, texts, sink);
  if (!r.error.empty()) return failed(r.error);
  return writeLinesReport(ro, r.header1, r.header2, lines);
}

int report(const Options& opt) {
  if (opt.args.empty()) return usageError("say cmdr or voice");
  const std::string kind = opt.args[0];
  if (kind != "cmdr" && kind != "voice") return usageError("unknown report kind " + kind);
  Parsed p;
  std::string why;
  if (!split(opt.args, p, why)) return usageError(why);
  ReportOptions ro;
  if (p.format == "text")
    ro.format = ReportFormat::Text;
  else if (p.format == "csv")
    ro.format = ReportFormat::Csv;
  else if (p.format == "pdf")
    ro.format = ReportFormat::Pdf;
  else
    return usageError("invalid value \"" + p.format + "\" for --format");
#ifndef LUMARC_CLI_PDF
  if (ro.format == ReportFormat::Pdf) return usageError("--format pdf is not available in this build");
#endif
  if (ro.format == ReportFormat::Pdf && p.output.empty()) return usageError("--format pdf needs --output FILE");
  ro.output = p.output;

  SettingsBlock settings;
  loadSettings(settings, opt.workDir);
  ro.texts = &textsFor(settings.language());
  const corvane::CodePage cp = ro.texts->codePage();
  // Values are checked before the database is touched.
  TemplateRecord check = browse::defaultSelection();
  for (const auto& [a, v] : p.fields)
    if (!apply(a, v, cp, check, why)) return usageError(why);

  struct stat st {};
  const std::string file = corvane::joinPath(opt.workDir, RecordStore::kMainFile);
  if (opt.db.empty() && !userDsnDefined("LumarcDb") && ::stat(file.c_str(), &st) != 0) {
    std::fprintf(stderr, "lumarc-cli: %s does not exist in %s (run: lumarc-cli db init)\n", RecordStore::kMainFile,
                 opt.workDir.c_str());
    return 1;
  }
  StderrStoreMessages messages;
  RecordStore store(&messages, cp);
  if (!store.openMainDatabase(opt.workDir, opt.db)) {
    std::fprintf(stderr, "lumarc-cli: %s\n", databaseAccessFailedText().c_str());
    return 1;
  }
  ro.store = &store;
  ro.selection = browse::defaultSelection();
  if (p.haveTemplate) {
    std::string error;
    auto t = browse::findTemplate(*store.mainDatabase(), corvane::fromUtf8(p.templateName, cp), error);
    if (!t) {
      if (!error.empty()) {
        std::fprintf(stderr, "lumarc-cli: %s (%s)\n", databaseAccessFailedText().c_str(), error.c_str());
        return 1;
      }
      std::fprintf(stderr, "lumarc-cli: no template named \"%s\"\n", p.templateName.c_str());
      return 2;
    }
    ro.selection = *t;
  }
  for (const auto& [a, v] : p.fields) apply(a, v, cp, ro.selection, why);
  return kind == "cmdr" ? runCmdrReport(ro) : runVoiceReport(opt, ro);
}

Register reportReg({"report", "cmdr|voice [OPTIONS] [--format text|csv|pdf] [--output FILE]",
                    "the CMDR or voice recording report of a selection, as the browser's Save writes it", report});

}  // namespace

int fileAccessFailed(const ReportOptions& ro, const std::string& file) {
  std::fprintf(stderr, "lumarc-cli: %s %s\n", file.c_str(), ro.texts->text(kTextFileAccessFailed).c_str());
  return 1;
}

int writeLinesReport(const ReportOptions& ro, const std::string& header1, const std::string& header2,
                     browse::LineStore& lines) {
  if (ro.format == ReportFormat::Pdf) {
#ifdef LUMARC_CLI_PDF
    if (header1.empty() && header2.empty() && lines.count() == 0) {
      std::FILE* f = std::fopen(ro.output.c_str(), "wb");
      if (!f || std::fclose(f) != 0) return fileAccessFailed(ro, ro.output);
      return 0;
    }
    if (!lines.flush() || !printLinesAsPdf(ro.output, header1, header2, lines, *ro.texts))
      return fileAccessFailed(ro, ro.output);
    return 0;
#else
    return fileAccessFailed(ro, ro.output);
#endif
  }
  if (ro.output.empty()) return browse::writeReport(stdout, header1, header2, lines) ? 0 : 1;
  return browse::writeReportFile(ro.output, header1, header2, lines) ? 0 : fileAccessFailed(ro, ro.output);
}

}  // namespace lumarc::cli
