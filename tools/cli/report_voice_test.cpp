// lumarc-cli report voice, run as a program: the text is what the voice
// browser lists, written by the report file rule, the CSV reads back one
// row per recording, and an empty selection writes nothing.
#include "tools/sim/test_process.h"

#include "common/files.h"
#include "common/format.h"
#include "common/test_support.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/cmdr_report.h"
#include "lumarc/browse/selection.h"
#include "lumarc/browse/voice_report.h"
#include "lumarc/store/record_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using corvane::testing::readAll;

// RFC 4180 rows (quoted fields, doubled quotes, CR LF endings).
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
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
  }
  EXPECT_TRUE(row.empty() && field.empty()) << "the last row ends with CR LF";
  return rows;
}

class VoiceReportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    cli_ = testproc::programPath("LUMARC_CLI");
    if (cli_.empty()) GTEST_SKIP() << "LUMARC_CLI not set";
    store_ = std::make_unique<RecordStore>(nullptr, corvane::CodePage::Cp1252);
    ASSERT_TRUE(corvane::ensureDirectory(dir_.path() + "/Wav"));
    ASSERT_TRUE(store_->openMainDatabase(dir_.path()));
    ASSERT_TRUE(store_->openVoiceDatabase(dir_.path() + "/Wav"));
    UserRecord u;
    u.cport = corvane::portText8("201");
    u.surn = "Smith, \"JJ\"";
    u.name = "Ann";
    store::DrptPset users(*store_->mainDatabase());
    ASSERT_TRUE(users.add(u));
    const struct {
      const char* port;
      uint32_t date, time;
      bool out;
    } recs[] = {
        {"202", 0x240501, 0x090000, false}, {"201", 0x240502, 0x100000, true}, {"201", 0x240501, 0x110000, false}};
    store::DrptVset v(*store_->voiceDatabase());
    for (const auto& r : recs) {
      VoiceRecord row;
      row.rcdport = corvane::portText8(r.port);
      row.rcddate = r.date;
      row.rcdtime = r.time;
      row.rcdtype = "A";
      row.duration = 75;
      row.rcddsq = "1001";
      row.rcdrcv = "5550100";
      row.Drog = r.out;
      row.cref = 0x42;
      row.rcdfn = dir_.path() + "/Wav/rec, " + r.port;
      row.rcdfx = "wav";
      ASSERT_TRUE(v.add(row)) << v.error();
    }
  }
  // The bytes of the voice browser's listing under the report file rule.
  std::string windowList(const TemplateRecord& s) {
    browse::LineStore lines;
    browse::VoiceListing l = browse::listRecordings(
        *store_->voiceDatabase(), store_->mainDatabase(), browse::planFor(s, browse::ListedTable::Voice),
        englishTexts(), [&](std::string_view t, int32_t k, int32_t i, int32_t e) { lines.add(t, k, i, e); });
    const std::string path = dir_.path() + "/listed.txt";
    EXPECT_TRUE(browse::writeReportFile(path, l.header1, "", lines));
    return readAll(path);
  }
  struct Run {
    int status;
    std::string out, err;
  };
  Run run(std::vector<std::string> args) {
    std::vector<std::string> argv = {cli_, "--dir", dir_.path(), "--db", "", "report", "voice"};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string errFile = dir_.path() + "/err.txt";
    testproc::ChildProcess p(argv, errFile);
    Run r;
    r.status = p.wait();
    r.out = p.output();
    r.err = readAll(errFile);
    return r;
  }

  corvane::testing::TempDir dir_{"lumarc-voicereport"};
  std::string cli_;
  std::unique_ptr<RecordStore> store_;
};

TEST_F(VoiceReportCommand, TextIsTheBrowsersListingUnderTheReportFileRule) {
  TemplateRecord s = browse::defaultSelection();
  s.TLtyp = browse::kAllUserSorted;
  const std::string expected = windowList(s);
  ASSERT_NE(expected.find("Smith, \"JJ\", Ann      201\r\n"), std::string::npos) << expected;
  ASSERT_NE(expected.find("\r\n"), std::string::npos);
  Run r = run({"--mode", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);

  Run o = run({"--mode", "1", "--direction", "out", "--output", dir_.path() + "/out.txt"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "");
  s.vrdir = browse::kOutgoing;
  EXPECT_EQ(readAll(dir_.path() + "/out.txt"), windowList(s));
}

TEST_F(VoiceReportCommand, CsvReadsBackOneRowPerRecordingWithItsUser) {
  Run r = run({"--mode", "1", "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = parseCsv(r.out);
  ASSERT_EQ(rows.size(), 4u);
  const std::vector<std::string>& title = rows[0];
  auto col = [&](const char* name) { return size_t(std::find(title.begin(), title.end(), name) - title.begin()); };
  ASSERT_LT(col("file"), title.size());
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), title.size());
    EXPECT_EQ(rows[i][col("kind")], "record");
  }
  EXPECT_EQ(rows[1][col("user")], "Smith, \"JJ\", Ann");
  EXPECT_EQ(rows[1][col("port")], "201");
  EXPECT_EQ(rows[1][col("date")], "2024-05-01");
  EXPECT_EQ(rows[2][col("direction")], "O");
  EXPECT_EQ(rows[3][col("port")], "202");
  EXPECT_EQ(rows[3][col("file")], dir_.path() + "/Wav/rec, 202.wav");
}

TEST_F(VoiceReportCommand, PdfHoldsTheRecordingLines) {
  if (::access("/usr/bin/pdftotext", X_OK) != 0) GTEST_SKIP() << "pdftotext is not installed";
  const std::string pdf = dir_.path() + "/voice.pdf";
  Run r = run({"--format", "pdf", "--output", pdf});
  ASSERT_EQ(r.status, 0) << r.err;
  testproc::ChildProcess p({"/usr/bin/pdftotext", "-layout", pdf, "-"});
  ASSERT_EQ(p.wait(), 0);
  const std::string text = p.output();
  EXPECT_NE(text.find("2024/05/02 10:00:00"), std::string::npos) << text;
  EXPECT_NE(text.find("Duration"), std::string::npos) << text;
}

TEST_F(VoiceReportCommand, NoMatchingRecordingIsAnEmptyReport) {
  for (const char* format : {"text", "csv"}) {
    Run r = run({"--from", "2025-01-01", "--to", "2024-01-01", "--format", format});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "") << format;
  }
  Run bad = run({"--direction", "sideways"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
}

}  // namespace
}  // namespace lumarc
