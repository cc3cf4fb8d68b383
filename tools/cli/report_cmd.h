// lumarc-cli report cmdr|voice: the browsers' reports without a window. The
// options fill in a selection (a saved template first, when named); each
// kind of report then runs the builder its browser runs and writes text
// (the report file's bytes), CSV or PDF.
#pragma once

#include "tools/cli/command.h"

#include "common/string_table.h"
#include "lumarc/browse/line_store.h"
#include "lumarc/records/records.h"
#include "lumarc/store/record_store.h"

#include <memory>
#include <string>

namespace lumarc::cli {

enum class ReportFormat { Text, Csv, Pdf };

struct ReportOptions {
  TemplateRecord selection;  // the form's defaults, the template, then the options
  ReportFormat format = ReportFormat::Text;
  std::string output;                           // empty: standard output (text and CSV only)
  const corvane::StringTable* texts = nullptr;  // the program language's texts
  RecordStore* store = nullptr;                 // main database open
};

// The voice recording report (report_voice.cpp). Exit status as for cmdr.
int runVoiceReport(const Options& opt, const ReportOptions& ro);

// Writes a finished report of headers and lines in ro's format (Text or
// Pdf) to ro.output or standard output. Returns the exit status: 0, or 1
// after "<file> File access failed!" on standard error. An empty report
// (no headers, no lines) writes 0 bytes.
int writeLinesReport(const ReportOptions& ro, const std::string& header1, const std::string& header2,
                     browse::LineStore& lines);
// "<file> File access failed!" on standard error; returns 1.
int fileAccessFailed(const ReportOptions& ro, const std::string& file);

}  // namespace lumarc::cli
