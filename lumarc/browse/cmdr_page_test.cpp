// A listing page by page, as a web front end walks a month: every page
// joined to the ones before is the whole listing, line for line, with the
// sub-totals that run across page borders, on SQLite and PostgreSQL.
#include "lumarc/browse/cmdr_report.h"

#include "lumarc/texts/texts.h"
#include "lumarc/browse/browse_db_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumarc::browse {
namespace {

using testing::OnDatabase;

// A listing line as a sink sees it.
struct Seen {
  ReportLineKind kind;
  std::string text;
  int32_t index, position;
  double external, internal;
  bool operator==(const Seen& o) const {
    // Amounts belong to record lines only.
    return kind == o.kind && text == o.text && index == o.index && position == o.position &&
           (kind != ReportLineKind::Record || (external == o.external && internal == o.internal));
  }
};
std::ostream& operator<<(std::ostream& os, const Seen& s) {
  return os << int(s.kind) << " #" << s.index << " @" << s.position << " \"" << s.text << "\"";
}

struct Lines : ReportSink {
  std::vector<Seen> seen;
  std::vector<std::string> types;  // the record's type on record lines, else empty
  void line(const ReportLine& l) override {
    seen.push_back({l.kind, l.text, l.lineIndex(), l.position, l.externalAmount, l.internalAmount});
    types.push_back(l.record ? l.record->type : "");
  }
};

const CmdrReportTexts& texts() {
  static const CmdrReportTexts t = CmdrReportTexts::from(englishTexts());
  return t;
}

class Paging : public OnDatabase {
 protected:
  void SetUp() override {
    OnDatabase::SetUp();
    if (IsSkipped()) return;
    addUser("101", "Smith", "John", true, "Sales");
    addUser("102", "Adams", "Eve", false, "Sales");
    addUser("104", "Brown", "Ann", true, "Support");
    // Users with several calls each, calls at the same second (ordered by
    // their key), a port without a user, and system records between them.
    const char* ports[] = {"102", "101", "103", "104", "101", "102", "101", "104"};
    for (int i = 0; i < 24; ++i) {
      CmdrRecord r = call(ports[i % 8], DateTime{2024, 5, 1 + i / 6, 8 + i % 3, i % 2 ? 30 : 0, 0}, 10 + i);
      r.rpuls = uint32_t(i % 5);
      r.ppuls = uint32_t(i % 3);
      if (i % 7 == 3) r.type = "B";
      add(r);
      if (i % 4 == 0) {
        r.duration += 100;  // a second call of that user in the same second
        add(r);
      }
    }
  }
  Lines whole(const ReportPlan& plan) {
    Lines all;
    const CmdrReportResult r = buildCmdrReport(db(), plan, texts(), all);
    EXPECT_EQ(r.error, "");
    return all;
  }
};

// The running figures before each line of a whole listing: a call counts
// from its record line on; a user's sub-total (grouped listings only)
// starts again after the empty line that closes the one before.
struct Running {
  ReportTotals sub, total;
};
std::vector<Running> runningBefore(const Lines& all, bool grouped) {
  std::vector<Running> out;
  Running now;
  for (size_t i = 0; i < all.seen.size(); ++i) {
    out.push_back(now);
    const Seen& l = all.seen[i];
    if (l.kind == ReportLineKind::Record && all.types[i] == "A") {
      for (ReportTotals* t : {&now.sub, &now.total}) {
        if (t == &now.sub && !grouped) continue;
        ++t->calls;
        t->externalAmount += l.external;
        t->internalAmount += l.internal;
      }
    }
    if (l.kind == ReportLineKind::Empty) now.sub = ReportTotals{};
  }
  out.push_back(now);
  return out;
}

TEST_P(Paging, PagesJoinedAreTheWholeListingWithTheFiguresAtEachPageStart) {
  struct Case {
    const char* what;
    void (*set)(TemplateRecord&);
  };
  const Case cases[] = {
      {"calls by time", [](TemplateRecord&) {}},
      {"every variant by time", [](TemplateRecord& s) { s.TRect = 0; }},
      {"calls by user", [](TemplateRecord& s) { s.TLtyp = kAllUserSorted; }},
      {"every variant by user", [](TemplateRecord& s) { s.TLtyp = kAllUserSorted, s.TRect = 0; }},
      {"selected users", [](TemplateRecord& s) { s.TLtyp = kSelectedUsers; }},
      {"one department", [](TemplateRecord& s) { s.TLtyp = kDepartments, s.TLstr = "Sales"; }},
      {"headings and totals only", [](TemplateRecord& s) { s.TLtyp = kAllUserSorted, s.TFlag = kNoDetails; }},
      {"short lines, priced", [](TemplateRecord& s) { s.TLtyp = kAllUserSorted, s.TRpfm = 1, s.TPrce = 0.25; }},
      {"nothing selected", [](TemplateRecord& s) { s.TStr.year = 2030, s.TEnd.year = 2030; }},
  };
  for (const Case& c : cases) {
    TemplateRecord s = defaultSelection();
    s.TPrce = 0.5;
    s.TPunt = "EUR";
    c.set(s);
    const ReportPlan plan = planFor(s);
    const Lines all = whole(plan);
    const std::vector<Running> before = runningBefore(all, plan.byUser());
    for (int size : {1, 2, 3, 4, 7, 1000}) {
      Lines paged;
      CmdrPageCursor cursor;
      int pages = 0;
      while (!cursor.atEnd() && pages <= int(all.seen.size()) + 1) {
        const int at = cursor.line;
        ASSERT_EQ(size_t(at), paged.seen.size()) << c.what << " / " << size;
        if (plan.details) {
          EXPECT_EQ(cursor.subTotal.calls, before[at].sub.calls) << c.what << " / " << size << " at " << at;
          EXPECT_DOUBLE_EQ(cursor.subTotal.externalAmount, before[at].sub.externalAmount) << c.what << " at " << at;
          EXPECT_EQ(cursor.total.calls, before[at].total.calls) << c.what << " / " << size << " at " << at;
          EXPECT_DOUBLE_EQ(cursor.total.internalAmount, before[at].total.internalAmount) << c.what << " at " << at;
        }
        CmdrPage page = buildCmdrPage(db(), plan, texts(), cursor, size, paged);
        ASSERT_EQ(page.error, "") << c.what;
        EXPECT_LE(page.lines, size);
        if (!page.next.atEnd()) {
          EXPECT_EQ(page.lines, size) << c.what << ": only the last page is short";
        }
        cursor = std::move(page.next);
        ++pages;
      }
      EXPECT_EQ(paged.seen.size(), all.seen.size()) << c.what << " in pages of " << size;
      for (size_t i = 0; i < std::min(paged.seen.size(), all.seen.size()); ++i)
        ASSERT_EQ(paged.seen[i], all.seen[i]) << c.what << " in pages of " << size << ", line " << i;
    }
  }
}

TEST_P(Paging, APageFromALineNumberIsThatPartOfTheListing) {
  TemplateRecord s = defaultSelection();
  s.TLtyp = kAllUserSorted;
  s.TRect = 0;
  s.TPrce = 0.5;
  const ReportPlan plan = planFor(s);
  const Lines all = whole(plan);
  ASSERT_GT(all.seen.size(), 20u);
  const std::vector<Running> before = runningBefore(all, plan.byUser());
  for (int start : {0, 1, 5, 9, 17, int(all.seen.size()) - 1, int(all.seen.size()), int(all.seen.size()) + 5}) {
    std::string error;
    std::optional<CmdrPageCursor> at = cmdrPageCursorAt(db(), plan, texts(), start, error);
    ASSERT_TRUE(at) << error;
    const size_t from = std::min(size_t(start), all.seen.size());
    EXPECT_EQ(size_t(at->line), from);
    EXPECT_EQ(at->total.calls, before[from].total.calls) << start;
    EXPECT_EQ(at->subTotal.calls, before[from].sub.calls) << start;
    Lines page;
    const CmdrPage p = buildCmdrPage(db(), plan, texts(), *at, 6, page);
    ASSERT_EQ(p.error, "");
    const size_t to = std::min(from + 6, all.seen.size());
    EXPECT_EQ(page.seen, std::vector<Seen>(all.seen.begin() + long(from), all.seen.begin() + long(to))) << start;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Paging, ::testing::Values(testing::Engine::Sqlite, testing::Engine::Postgres),
                         testing::engineName);

}  // namespace
}  // namespace lumarc::browse
