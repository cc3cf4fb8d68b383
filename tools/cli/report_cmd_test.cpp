// lumarc-cli report cmdr, run as a program: the text is the window's saved
// report byte for byte, the CSV reads back with a CSV parser, the PDF holds
// the report's text, and wrong input is refused before anything is written.
#include "tools/sim/test_process.h"

#include "common/codepage.h"
#include "common/format.h"
#include "common/test_support.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/cmdr_report.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/selection.h"
#include "lumarc/store/record_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using corvane::testing::readAll;

struct CliRun {
  int status = -1;
  std::string out, err;
};

// RFC 4180: fields separated by commas, quoted fields may hold commas,
// doubled quotes and line breaks; records end with CR LF.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
        field += '"', ++i;
      else if (c == '"')
        quoted = false;
      else
        field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field), field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row.push_back(field), field.clear();
      rows.push_back(row), row.clear();
      ++i;
    } else {
      field += c;
    }
    any = true;
  }
  EXPECT_TRUE(!any || (row.empty() && field.empty())) << "the last row ends with CR LF";
  return rows;
}

class ReportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    cli_ = testproc::programPath("LUMARC_CLI");
    if (cli_.empty()) GTEST_SKIP() << "LUMARC_CLI not set";
    store_ = std::make_unique<RecordStore>(nullptr, corvane::CodePage::Cp1252);
    ASSERT_TRUE(store_->openMainDatabase(dir_.path()));
    store::Database& db = *store_->mainDatabase();
    store::DrptPset users(db);
    UserRecord u;
    u.cport = corvane::portText8("101");
    u.surn = "Smith \"JJ\"";
    u.name = "J\xE9r\xF4me";  // CP1252 bytes
    ASSERT_TRUE(users.add(u));
    u.cport = corvane::portText8("102");
    u.surn = "Adams";
    u.name = "Eve";
    ASSERT_TRUE(users.add(u));
    store::DrptCset cdata(db);
    const struct {
      const char* port;
      DateTime t;
      uint32_t rpuls, ppuls;
    } calls[] = {{"101", {2024, 4, 30, 23, 0, 0}, 9, 9},
                 {"101", {2024, 5, 1, 9, 0, 0}, 4, 2},
                 {"102", {2024, 5, 15, 12, 0, 0}, 1, 0},
                 {"101", {2024, 5, 31, 18, 0, 0}, 0, 3},
                 {"102", {2024, 6, 1, 0, 0, 0}, 7, 7}};
    for (const auto& c : calls) {
      CmdrRecord r;
      r.type = "A";
      r.tdate = c.t;
      r.duration = 60;
      r.cport = corvane::portText8(c.port);
      r.rdata = "0212555" + std::string(25, ' ');
      r.rpuls = c.rpuls;
      r.ppuls = c.ppuls;
      ASSERT_TRUE(cdata.add(r)) << cdata.error();
    }
    TemplateRecord t = browse::defaultSelection();
    t.TName = "May";
    t.TStr = {2024, 5, 1, 0, 0, 0};
    t.TEnd = {2024, 5, 31, 23, 59, 0};
    t.TLtyp = browse::kAllUserSorted;
    t.TPrce = 0.25;
    t.TPunt = "EUR";
    std::string error;
    ASSERT_TRUE(browse::saveTemplate(db, t, error)) << error;
  }
  // The bytes the CMDR browser's Save writes for a selection.
  std::string windowSave(const TemplateRecord& s) {
    browse::LineStore lines;
    browse::LineStoreSink sink(lines);
    const auto r = browse::buildCmdrReport(*store_->mainDatabase(), browse::planFor(s),
                                           browse::CmdrReportTexts::from(englishTexts()), sink);
    const std::string path = dir_.path() + "/saved.txt";
    EXPECT_TRUE(browse::writeReportFile(path, r.header1, r.header2, lines));
    return readAll(path);
  }
  CliRun run(std::vector<std::string> args) {
    std::vector<std::string> argv = {cli_, "--dir", dir_.path(), "--db", "", "report"};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string errFile = dir_.path() + "/err.txt";
    testproc::ChildProcess p(argv, errFile);
    CliRun r;
    r.status = p.wait();
    r.out = p.output();
    r.err = readAll(errFile);
    return r;
  }

  corvane::testing::TempDir dir_{"lumarc-reportcmd"};
  std::string cli_;
  std::unique_ptr<RecordStore> store_;
};

TEST_F(ReportCommand, TextIsTheWindowsSavedFileByteForByte) {
  TemplateRecord s = browse::defaultSelection();
  s.TStr = {2024, 5, 1, 0, 0, 0};
  s.TEnd = {2024, 5, 31, 23, 59, 0};
  s.TLtyp = browse::kAllUserSorted;
  s.TPrce = 0.25;
  s.TPunt = "EUR";
  s.TRpfm = 1;
  const std::string expected = windowSave(s);
  ASSERT_NE(expected.find(" Total:"), std::string::npos);
  CliRun r = run({"cmdr", "--from", "2024-05-01", "--to=2024-05-31", "--mode", "1", "--price", "0.25", "--unit", "EUR",
                  "--line", "short"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
  CliRun m = run({"cmdr", "--month", "2024-05", "--mode", "1", "--price=0.25", "--unit", "EUR", "--line", "short"});
  EXPECT_EQ(m.out, expected) << "a month is its first to its last day";
  CliRun t = run({"cmdr", "--template", "May", "--line", "short", "--output", dir_.path() + "/out.txt"});
  EXPECT_EQ(t.status, 0) << t.err;
  EXPECT_EQ(t.out, "") << "with --output nothing goes to standard output";
  EXPECT_EQ(readAll(dir_.path() + "/out.txt"), expected) << "the template's fields with the option over them";
}

TEST_F(ReportCommand, CsvReadsBackWithKindsAmountsAndUserHeadings) {
  CliRun r = run({"cmdr", "--template", "May", "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = parseCsv(r.out);
  ASSERT_EQ(rows.size(), 7u);  // title, 2 records + sub-total, 1 record + sub-total, total
  const std::vector<std::string>& title = rows[0];
  auto col = [&](const char* name) { return size_t(std::find(title.begin(), title.end(), name) - title.begin()); };
  ASSERT_LT(col("acknowledged"), title.size());
  std::vector<std::string> kinds;
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), title.size()) << i;
    kinds.push_back(rows[i][col("kind")]);
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"record", "record", "subtotal", "record", "subtotal", "total"}));
  EXPECT_EQ(rows[1][col("user")], "Smith \"JJ\", J\xC3\xA9r\xC3\xB4me") << "quotes and commas survive; UTF-8";
  EXPECT_EQ(rows[1][col("port")], "101");
  EXPECT_EQ(rows[1][col("external")], "1.000");
  EXPECT_EQ(rows[1][col("internal")], "0.500");
  EXPECT_EQ(rows[1][col("unit")], "EUR");
  EXPECT_EQ(rows[6][col("calls")], "3");
  EXPECT_EQ(rows[6][col("external")], "1.250");
}

TEST_F(ReportCommand, CsvMarksAcknowledgedNumbersWheneverDialledDigitsAreReplaced) {
  store::DrptRset defs(*store_->mainDatabase());
  RouteRecord d;
  d.RType = browse::kDialledDigits;
  d.RName = "Ankara";
  d.RDgts = "0212";
  d.Ackd = true;
  ASSERT_TRUE(defs.add(d)) << defs.error();
  // Long lines, acknowledged calls not free: only the replacement needs the definitions.
  CliRun r = run({"cmdr", "--template", "May", "--format", "csv", "--replace", "dialled"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = parseCsv(r.out);
  ASSERT_EQ(rows.size(), 7u);
  const std::vector<std::string>& title = rows[0];
  auto col = [&](const char* name) { return size_t(std::find(title.begin(), title.end(), name) - title.begin()); };
  ASSERT_LT(col("acknowledged"), title.size());
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), title.size()) << i;
    const bool record = rows[i][col("kind")] == "record";
    EXPECT_EQ(rows[i][col("acknowledged")], record ? "A" : "") << "row " << i;
  }
  EXPECT_EQ(rows[6][col("external")], "1.250") << "acknowledged calls still cost without --acked-free";
  // Without the replacement nothing needs the mark and none is shown.
  CliRun plain = run({"cmdr", "--template", "May", "--format", "csv"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  for (const auto& row : parseCsv(plain.out)) EXPECT_NE(row[col("acknowledged")], "A");
}

TEST_F(ReportCommand, PdfHoldsTheReportText) {
  if (::access("/usr/bin/pdftotext", X_OK) != 0) GTEST_SKIP() << "pdftotext is not installed";
  const std::string pdf = dir_.path() + "/may.pdf";
  CliRun r = run({"cmdr", "--template", "May", "--format", "pdf", "--output", pdf});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  testproc::ChildProcess p({"/usr/bin/pdftotext", "-layout", pdf, "-"});
  ASSERT_EQ(p.wait(), 0);
  const std::string text = p.output();
  EXPECT_NE(text.find("Sub Total:"), std::string::npos) << text;
  EXPECT_NE(text.find("Adams, Eve"), std::string::npos) << text;
  EXPECT_NE(text.find("2024/05/31 18:00:00"), std::string::npos) << text;
}

TEST_F(ReportCommand, WrongInputIsRefusedAndAnEmptySelectionIsAnEmptyReport) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {{"cmdr", "--template", "June"}, 2, "June"},
      {{"cmdr", "--colour", "red"}, 2, "--colour"},
      {{"cmdr", "--mode", "6"}, 2, "--mode"},
      {{"cmdr", "--from", "2024-02-30"}, 2, "--from"},
      {{"cmdr", "--line", "wide"}, 2, "--line"},
      {{"cmdr", "--month", "2024-13"}, 2, "--month"},
      {{"cmdr", "--exchange", "10.1.2"}, 2, "--exchange"},
      {{"cmdr", "--format", "pdf"}, 2, "--output"},
      {{"fax"}, 2, "fax"},
      {{"cmdr", "--output", "/nonexistent-dir/r.txt"}, 1, "/nonexistent-dir/r.txt File access failed!"},
      {{"cmdr", "--from", "2024-06-01", "--to", "2024-05-01"}, 0, ""},
      {{"cmdr", "--exchange", "10.1.2.3", "--format", "csv"}, 0, ""},
  };
  for (const Case& c : cases) {
    CliRun r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
    EXPECT_EQ(r.out, "") << c.args[1];
    if (*c.err) {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
  }
}

}  // namespace
}  // namespace lumarc
