// Every CMDR listing mode over a few thousand seeded records, reduced to one
// digest per mode: the saved text's bytes with every line's kind, index and
// position, the CSV, the totals and the call statistics. The digests were
// taken from the listing as it was before its reading was reworked, so any
// change of a byte, a line's order or a figure in any mode shows here. The
// same listing walked page by page must give the same digest.
#include "lumarc/browse/cmdr_report.h"

#include "lumarc/texts/texts.h"
#include "lumarc/browse/browse_db_test_support.h"
#include "lumarc/browse/csv.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/statistics.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace lumarc::browse {
namespace {

using testing::OnDatabase;

// FNV-1a, 64 bits.
struct Digest {
  uint64_t h = 1469598103934665603ull;
  void add(std::string_view s) {
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  }
  void add(int64_t v) { add(std::to_string(v) + ";"); }
  void add(double v) {
    char b[64];
    std::snprintf(b, sizeof b, "%.17g;", v);
    add(std::string_view(b));
  }
  std::string hex() const {
    char b[24];
    std::snprintf(b, sizeof b, "%016" PRIx64, h);
    return b;
  }
};

// Lines as the browser stores them: kind, index, position and text.
struct DigestSink : ReportSink {
  Digest d;
  int lines = 0;
  void line(const ReportLine& l) override {
    d.add(int64_t{l.lineKind()});
    d.add(int64_t{l.lineIndex()});
    d.add(int64_t{l.position});
    d.add(l.text);
    d.add(std::string_view("\r\n"));
    ++lines;
  }
};

const CmdrReportTexts& texts() {
  static const CmdrReportTexts t = CmdrReportTexts::from(englishTexts());
  return t;
}

class Digests : public OnDatabase {
 protected:
  void SetUp() override {
    OnDatabase::SetUp();
    if (IsSkipped()) return;
    seed();
  }

  // 40 ports, 30 of them with a user; 3,000 records stored out of time
  // order, some in the same second on the same port, a few of other kinds,
  // some without a date.
  void seed() {
    std::mt19937 rnd(20240506);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rnd() % n); };
    const char* depts[] = {"Sales", "Support", "Stock"};
    const char* sects[] = {"North", "South"};
    for (int u = 0; u < 30; ++u) {
      const std::string port = std::to_string(100 + u * 7);
      std::string surname = u % 9 == 4 ? "M\xFCller" : "Surname" + std::to_string(u);
      if (u % 5 == 0) surname += "  ";
      addUser(port.c_str(), surname.c_str(), u % 11 == 3 ? "" : "Name", u % 3 == 0, depts[u % 3], sects[u % 2]);
    }
    addDefinition("IST", "0212", true);
    addDefinition("ANK", "0312", false);
    addDefinition("MOB", "0532", false, kCallingNumber);
    db().begin();
    store::BulkInserter<CmdrRecord> bulk(db(), 128);
    static const char* kinds = "AAAAAAAAAAAAAABCDE";
    DateTime last{2024, 5, 6, 8, 0, 0};
    for (int i = 0; i < 3000; ++i) {
      const uint32_t port = pick(40);
      CmdrRecord r = call(std::to_string(100 + port * 7).c_str(), last, pick(900));
      if (pick(4) != 0) last = addSeconds(DateTime{2024, 5, 1 + static_cast<int>(pick(20)), 0, 0, 0}, pick(86400));
      if (pick(200) == 0) r.tdate = DateTime{};
      r.type = std::string(1, kinds[pick(18)]);
      r.rdata = digits((pick(3) == 0 ? "0212" : pick(2) ? "0312" : "0444") + std::to_string(1000000 + pick(9000000)));
      r.cdata = digits((pick(2) ? "0532" : "0216") + std::to_string(1000000 + pick(9000000)));
      r.pport = corvane::portText8(std::to_string(800 + pick(5)));
      r.uport = corvane::portText8(std::to_string(900 + pick(3)));
      r.rpuls = pick(12);
      r.ppuls = pick(4);
      r.crefa = rnd();
      r.flags = rnd() & 0x01F80012u;
      r.ipadr = pick(2) ? 0xC0A80A01u : 0;
      bulk.add(r);
    }
    bulk.flush();
    db().commit();
  }

  // The digest of a mode's listings: one with every record in long lines,
  // one of calls only in short lines with replaced digits, free
  // acknowledged calls, a time window and no details. pageLines 0: the
  // whole listing with its CSV and statistics; -1: the whole listing's
  // lines alone; else its lines walked in pages of that many lines.
  std::string digestOf(int32_t mode, const char* listed, int pageLines = 0) {
    Digest all;
    for (int variant = 0; variant < 2; ++variant) {
      TemplateRecord s = defaultSelection();
      s.TLtyp = mode;
      s.TLstr = listed;
      s.TPrce = 0.35;
      s.TPunt = "EUR";
      if (variant == 0) {
        s.TRect = kAllRecords;
      } else {
        s.TRpfm = 1;
        s.TRplc = 3;
        s.TAckf = 1;
        s.TFlag = kNoDetails;
        s.TStr = DateTime{2024, 5, 3, 7, 30, 0};
        s.TEnd = DateTime{2024, 5, 17, 19, 0, 0};
        s.TPmie = 1;
      }
      const ReportPlan plan = planFor(s);
      DigestSink lines;
      CallStatistics stats;
      CmdrReportResult r;
      if (pageLines <= 0) {
        r = buildCmdrReport(db(), plan, texts(), lines, pageLines == 0 ? &stats : nullptr);
      } else {
        CmdrPageCursor c;
        while (!c.atEnd()) {
          CmdrPage p = buildCmdrPage(db(), plan, texts(), c, pageLines, lines);
          EXPECT_EQ(p.error, "");
          if (!p.error.empty()) break;
          c = std::move(p.next);
        }
        r.total = c.total;
        r.lines = lines.lines;
        if (c.total.calls != 0) r.header1 = cmdrReportHeader(plan, texts());
      }
      EXPECT_EQ(r.error, "") << mode;
      EXPECT_GT(r.total.calls, 0u) << "mode " << mode << " lists calls";
      all.add(r.header1 + "\r\n" + r.header2 + "\r\n");
      all.add(lines.d.hex());
      all.add(int64_t{r.lines});
      all.add(int64_t(r.total.calls));
      all.add(int64_t(r.total.duration));
      all.add(int64_t(r.total.rpuls));
      all.add(int64_t(r.total.ppuls));
      all.add(r.total.externalAmount);
      all.add(r.total.internalAmount);
      if (pageLines != 0) continue;
      all.add(int64_t{stats.count});
      for (double v : stats.hours) all.add(v);
      for (double v : stats.durations) all.add(v);
      for (double v : stats.pulses) all.add(v);
      for (double v : stats.weekDays) all.add(v);
      // The CSV of the same listing.
      char* buf = nullptr;
      size_t size = 0;
      std::FILE* f = open_memstream(&buf, &size);
      EXPECT_NE(f, nullptr);
      if (!f) continue;
      CmdrCsvWriter csv(f, corvane::CodePage::Cp1252, plan.amounts.unit);
      EXPECT_EQ(buildCmdrReport(db(), plan, texts(), csv).error, "");
      std::fclose(f);
      all.add(std::string_view(buf, size));
      std::free(buf);
    }
    return all.hex();
  }
};

struct ModeCase {
  int32_t mode;
  const char* listed;
  const char* digest;
};

// clang-format off
const ModeCase kModes[] = {
    {kAllTimeSorted, "", "91070050098031e4"},
    {kAllUserSorted, "", "c2bc3977f5363223"},
    {kSelectedUsers, "", "fd41398e82348801"},
    {kSingleUser, "121", "b5d1c2c6197a0b45"},
    {kDepartments, "Support", "695eac5d434d3d84"},
    {kSections, "North", "d6e95f7d609030fe"},
    {9, "", "c4babc350bd4474f"},  // outside 0-5: time sorted
};
// clang-format on

TEST_P(Digests, EveryModeListsAsBefore) {
  for (const ModeCase& c : kModes) {
    EXPECT_EQ(digestOf(c.mode, c.listed), c.digest) << "mode " << c.mode;
  }
}

TEST_P(Digests, PageByPageListsAsWhole) {
  for (const ModeCase& c : kModes) {
    EXPECT_EQ(digestOf(c.mode, c.listed, 97), digestOf(c.mode, c.listed, -1)) << "mode " << c.mode;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Digests, ::testing::Values(testing::Engine::Sqlite, testing::Engine::Postgres),
                         testing::engineName);

}  // namespace
}  // namespace lumarc::browse
