// lumarc-cli report cmdr|voice: a month of calls per user with prices, as
// the CMDR browser's "Save" writes it, for a scheduled job on a server.
// Every option sets one field of the selection form; what is left out keeps
// the form's default, or the named template's value.
#include "tools/cli/report_cmd.h"
#include "tools/cli/pdf_output.h"

#include "tools/cli/store_text.h"

#include "common/codepage.h"
#include "common/files.h"
#include "lumarc/app/session.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/cmdr_report.h"
#include "lumarc/browse/csv.h"
#include "lumarc/browse/report_plan.h"
#include "lumarc/browse/selection.h"
#include "lumarc/browse/selection_options.h"
#include "tools/common/progress_bar.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumarc::cli {

namespace {

// The options after the report kind, in two passes: the template first,
// then every other option over it, in the order given.
struct Parsed {
  std::string kind;  // cmdr or voice
  std::string templateName;
  std::vector<std::pair<std::string, std::string>> fields;  // option, value (empty for flags)
  std::string format = "text", output;
};

void declare(CLI::App& parser, Parsed& p) {
  parser.add_option("KIND", p.kind, "the report: cmdr (call records) or voice (recordings)")
      ->type_name("cmdr|voice")
      ->required()
      ->check(CLI::IsMember({"cmdr", "voice"}).description(""));
  parser.add_option("--template", p.templateName, "start from the saved selection NAME")->type_name("NAME");
  // The options that set a field of the selection (selection_options.h).
  size_t options = 0, flags = 0;
  const browse::SelectionOption* o = browse::selectionOptions(options);
  for (size_t i = 0; i < options; ++i) parser.add_option(o[i].name, o[i].help)->type_name(o[i].type);
  const browse::SelectionFlag* f = browse::selectionFlags(flags);
  for (size_t i = 0; i < flags; ++i) parser.add_flag(f[i].name, f[i].help);
  parser.add_option("--format", p.format, "text (the report file), csv or pdf (default text)")
      ->type_name("text|csv|pdf");
  parser.add_option("--output", p.output, "write to FILE (default: standard output)")
      ->type_name("FILE")
      ->check(CLI::Validator([](std::string& v) { return v.empty() ? std::string("needs a file name") : ""; }, ""));
}

// The field options as given, in their order.
void collectFields(const CLI::App& parser, Parsed& p) {
  std::map<const CLI::Option*, size_t> taken;
  for (const CLI::Option* o : parser.parse_order()) {
    const std::string name = o->get_name();
    if (o->get_positional() || name == "--template" || name == "--format" || name == "--output") continue;
    const size_t n = taken[o]++;
    p.fields.emplace_back(name, o->get_expected_max() == 0 || o->results().size() <= n ? "" : o->results()[n]);
  }
}

// Sets the selection field of one option; false with the reason.
bool apply(const std::string& a, const std::string& v, corvane::CodePage cp, TemplateRecord& s, std::string& why) {
  return browse::applySelectionOption(a, v, cp, s, why);
}

std::FILE* openOutput(const ReportOptions& ro) {
  return ro.output.empty() ? stdout : std::fopen(ro.output.c_str(), "wb");
}

// Passes the report's lines on and, when the report goes to a file, shows
// the records read on a terminal.
class ProgressSink : public browse::ReportSink {
 public:
  ProgressSink(browse::ReportSink& to, bool show) : to_(to), bar_("report", "records", 0, show ? 2 : -1) {}
  void line(const browse::ReportLine& l) override { to_.line(l); }
  void progress(int listed, int read) override {
    to_.progress(listed, read);
    bar_.update(uint64_t(read));
  }
  void finish() { bar_.finish(); }

 private:
  browse::ReportSink& to_;
  corvane::tools::TerminalProgress bar_;
};

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
    ProgressSink shown(csv, !ro.output.empty());
    const browse::CmdrReportResult r = browse::buildCmdrReport(db, plan, texts, shown);
    shown.finish();
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
  ProgressSink shown(sink, !ro.output.empty());
  const browse::CmdrReportResult r = browse::buildCmdrReport(db, plan, texts, shown);
  shown.finish();
  if (!r.error.empty()) return failed(r.error);
  return writeLinesReport(ro, r.header1, r.header2, lines);
}

int report(const Options& opt, const CLI::App& parser, const Parsed& p) {
  auto usageError = [&parser](const std::string& why) { return corvane::tools::usageError(parser, why); };
  const std::string& kind = p.kind;
  std::string why;
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

  const Session session(opt.workDir);
  ro.texts = session.texts;
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
  if (parser.count("--template") > 0) {
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

Runner define(CLI::App& parser) {
  auto p = std::make_shared<Parsed>();
  declare(parser, *p);
  return [&parser, p](const Options& opt) {
    Parsed given = *p;
    collectFields(parser, given);
    return report(opt, parser, given);
  };
}

Register reportReg({"report", "the CMDR or voice recording report of a selection, as the browser's Save writes it",
                    define});

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
