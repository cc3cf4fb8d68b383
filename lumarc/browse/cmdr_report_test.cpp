// The CMDR report on small record sets: what each listing mode shows, the
// totals and amounts accounting reads, the saved file's bytes, and the
// archive and deletion that must never lose a record.
#include "lumarc/browse/cmdr_report.h"

#include "lumarc/texts/texts.h"
#include "lumarc/browse/browse_db_test_support.h"
#include "lumarc/browse/statistics.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace lumarc::browse {
namespace {

using testing::OnDatabase;

struct Collect : ReportSink {
  std::vector<std::pair<ReportLineKind, std::string>> lines;
  std::vector<ReportLine> records;  // record points to the builder's row only while line() runs
  std::vector<int32_t> sqnos;
  void line(const ReportLine& l) override {
    lines.emplace_back(l.kind, l.text);
    if (l.kind != ReportLineKind::Record) return;
    records.push_back(l);
    sqnos.push_back(l.record->sqno);
  }
  // One letter per line: H heading, R record, S sub-total, E empty, T total.
  std::string shape() const {
    std::string s;
    for (auto& [k, t] : lines) s += "RHSTE"[int(k)];
    return s;
  }
};

const CmdrReportTexts& texts() {
  static const CmdrReportTexts t = CmdrReportTexts::from(englishTexts());
  return t;
}

class Reporting : public OnDatabase {
 protected:
  void SetUp() override {
    OnDatabase::SetUp();
    if (IsSkipped()) return;
    addUser("101", "Smith   ", "John", true, "Sales", "North");
    addUser("102", "Adams", "Eve", false, "Support", "South");
    CmdrRecord a = call("101", DateTime{2024, 5, 6, 9, 0, 0}, 30);
    a.rpuls = 4, a.ppuls = 2;
    a.rdata = digits("02125551234");
    r1 = add(a);
    CmdrRecord b = call("102", DateTime{2024, 5, 6, 10, 0, 0}, 45);
    b.rpuls = 1;
    b.rdata = digits("0312000");
    r2 = add(b);
    CmdrRecord c = call("101", DateTime{2024, 5, 7, 9, 0, 0}, 15);
    c.ppuls = 3;
    r3 = add(c);
    CmdrRecord noUser = call("103", DateTime{2024, 5, 7, 11, 0, 0}, 5);
    r4 = add(noUser);
  }
  CmdrReportResult run(const TemplateRecord& s, Collect& out, CallStatistics* stats = nullptr) {
    CmdrReportResult r = buildCmdrReport(db(), planFor(s), texts(), out, stats);
    EXPECT_EQ(r.error, "");
    return r;
  }
  int32_t r1 = 0, r2 = 0, r3 = 0, r4 = 0;
};

TEST_P(Reporting, UserSortedListGroupsEachUserWithSubTotalsAndATotal) {
  TemplateRecord s = defaultSelection();
  s.TLtyp = kAllUserSorted;
  s.TPrce = 0.5;
  s.TPunt = "EUR";
  Collect out;
  CmdrReportResult r = run(s, out);
  EXPECT_EQ(out.shape(), "HRRSEHRSEHRSET");
  EXPECT_EQ(out.lines[0].second, "Smith, John      101");
  EXPECT_EQ(out.lines[5].second, "Adams, Eve      102");
  EXPECT_EQ(out.lines[9].second, "      103") << "a port without a user has an empty name";
  EXPECT_EQ(out.lines[3].second,
            " Sub Total:        2.000EUR        2.500EUR Calls:2      Duration:45       Pulses:4      5      ");
  EXPECT_EQ(out.lines[13].second,
            " Total:            2.500EUR        2.500EUR Calls:4      Duration:95       Pulses:5      5      ");
  EXPECT_EQ(r.header1, englishTexts().text(kTextCmdrLongColumns));
  EXPECT_EQ(r.header2, "");
  EXPECT_EQ(out.sqnos, (std::vector<int32_t>{r1, r3, r2, r4}));
  EXPECT_DOUBLE_EQ(out.records[0].externalAmount, 2);
  EXPECT_DOUBLE_EQ(out.records[0].internalAmount, 1);
}

TEST_P(Reporting, ModesListTheirUsersOnly) {
  struct Case {
    int32_t mode;
    const char* listed;
    const char* shape;
  };
  const Case cases[] = {
      {kAllTimeSorted, "", "RRRRT"},      {kSelectedUsers, "", "HRRSET"}, {kSingleUser, "102", "HRSET"},
      {kDepartments, "Support", "HRSET"}, {kSections, "North", "HRRSET"}, {kSections, "Nowhere", ""},
  };
  for (const Case& c : cases) {
    TemplateRecord s = defaultSelection();
    s.TLtyp = c.mode;
    s.TLstr = c.listed;
    Collect out;
    CmdrReportResult r = run(s, out);
    EXPECT_EQ(out.shape(), c.shape) << c.mode << " " << c.listed;
    if (std::string(c.shape).empty()) {
      EXPECT_EQ(r.header1, "") << "no calls, no headers";
    }
  }
}

TEST_P(Reporting, NoDetailsListsHeadingsAndTotalsOnly) {
  TemplateRecord s = defaultSelection();
  s.TLtyp = kAllUserSorted;
  s.TFlag = kNoDetails;
  Collect out;
  CallStatistics stats;
  CmdrReportResult r = run(s, out, &stats);
  EXPECT_EQ(out.shape(), "HSEHSEHSET");
  EXPECT_EQ(r.total.calls, 4u);
  EXPECT_EQ(stats.count, 4) << "the chart still counts every call";
  s.TLtyp = kAllTimeSorted;
  Collect all;
  run(s, all);
  EXPECT_EQ(all.shape(), "RRRRT") << "time sorted lists ignore No details";
}

TEST_P(Reporting, AcknowledgedCallsAreFreeOnlyWhenAskedAndAlwaysMarkedInShortLines) {
  addDefinition("IST", "0212", true);
  struct Case {
    int32_t ackf, format, replace;
    double external;
    bool mark;
    const char* dialled;
  };
  const Case cases[] = {
      {0, 0, 0, 2, false, "02125551234"},
      {1, 0, 0, 0, true, "02125551234"},  // looked up for the free test without replacing
      {1, 0, 1, 0, true, "(IST)5551234"},
      {0, 1, 0, 2, true, "02125551234"},  // the short line shows the mark
  };
  for (const Case& c : cases) {
    TemplateRecord s = defaultSelection();
    s.TPrce = 0.5;
    s.TAckf = c.ackf;
    s.TRpfm = c.format;
    s.TRplc = c.replace;
    Collect out;
    run(s, out);
    ASSERT_FALSE(out.records.empty());
    const ReportLine& first = out.records[0];
    EXPECT_DOUBLE_EQ(first.externalAmount, c.external) << c.ackf << c.format << c.replace;
    EXPECT_EQ(first.acknowledged, c.mark) << c.ackf << c.format << c.replace;
    EXPECT_NE(first.text.find(std::string(c.dialled) + " "), std::string::npos) << first.text;
    if (c.format == 1) {
      EXPECT_EQ(first.text.substr(0, 3), "A  ");
    }
  }
}

TEST_P(Reporting, SavedFileHasHeadersAndCrLfLinesWithBytesUnchanged) {
  addUser("104",
          "\xDE\xFD"
          "k",
          "\xC7"
          "a\xF0",
          false);  // CP1254 bytes
  add(call("104", DateTime{2024, 5, 8, 8, 0, 0}));
  TemplateRecord s = defaultSelection();
  s.TLtyp = kSingleUser;
  s.TLstr = "104";
  LineStore lines;
  LineStoreSink sink(lines);
  CmdrReportResult r = buildCmdrReport(db(), planFor(s), texts(), sink);
  const std::string path = dir_.path() + "/report.txt";
  ASSERT_TRUE(writeReportFile(path, r.header1, r.header2, lines));
  std::ifstream in(path, std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  const std::string text = got.str();
  EXPECT_EQ(text.substr(0, r.header1.size() + 2), r.header1 + "\r\n");
  EXPECT_NE(text.find("\r\n\xDE\xFD"
                      "k, \xC7"
                      "a\xF0      104\r\n"),
            std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(text.find("\n\n"), std::string::npos);
  EXPECT_FALSE(writeReportFile(dir_.path() + "/missing/report.txt", r.header1, r.header2, lines));
}

TEST_P(Reporting, TrashDeletesOnlyTheArchivedRows) {
  TemplateRecord s = defaultSelection();
  const std::string archivePath = dir_.path() + "/archive.mdb";
  ArchiveResult a = archiveCmdrRecords(store_, db(), planFor(s), archivePath, {}, false);
  ASSERT_EQ(a.status, ArchiveResult::Status::Copied) << a.error;
  EXPECT_EQ(a.copied, 4u);
  {
    auto archive = store_.openCmdrArchive(archivePath, false);
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->db->rowCount(store::cdataTable()), 4);
  }
  const int32_t late = add(call("101", DateTime{2024, 5, 9, 9, 0, 0}));  // arrives after the copy
  std::string error;
  ASSERT_TRUE(deleteCmdrRecords(db(), a.sqnos, error)) << error;
  store::DrptCset left(db());
  ASSERT_TRUE(left.open());
  std::vector<int32_t> rows;
  CmdrRecord r;
  while (left.next(r)) rows.push_back(r.sqno);
  EXPECT_EQ(rows, std::vector<int32_t>{late});
}

TEST_P(Reporting, ArchiveRefusesTheOpenDatabaseAndAFileItCannotCreate) {
  TemplateRecord s = defaultSelection();
  const std::string main = dir_.path() + "/Lumarc.mdb";
  ArchiveResult a = archiveCmdrRecords(store_, db(), planFor(s), dir_.path() + "/./Lumarc.mdb", {main}, true);
  EXPECT_EQ(a.status, ArchiveResult::Status::Refused);
  EXPECT_TRUE(a.sqnos.empty());
  const std::string locked = dir_.path() + "/locked";
  ASSERT_EQ(::mkdir(locked.c_str(), 0500), 0);
  if (::geteuid() != 0) {
    ArchiveResult b = archiveCmdrRecords(store_, db(), planFor(s), locked + "/archive.mdb", {main}, false);
    EXPECT_EQ(b.status, ArchiveResult::Status::CannotCreate);
    EXPECT_TRUE(b.sqnos.empty()) << "nothing may be trashed after a failed copy";
  }
  EXPECT_EQ(db().rowCount(store::cdataTable()), 4);
}

INSTANTIATE_TEST_SUITE_P(Engines, Reporting, ::testing::Values(testing::Engine::Sqlite, testing::Engine::Postgres),
                         testing::engineName);

}  // namespace
}  // namespace lumarc::browse
