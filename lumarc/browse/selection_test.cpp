// The selection: which rows a filled-in form lists, on real seeded
// databases (SQLite always, PostgreSQL when the test server is given), and
// the templates that keep it.
#include "lumarc/browse/selection.h"

#include "lumarc/browse/report_plan.h"

#include "lumarc/browse/browse_db_test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace lumarc::browse {
namespace {

using testing::OnDatabase;

class Selecting : public OnDatabase {
 protected:
  // The sqnos the CMDR query of s returns, in order.
  // byPort: the form a grouped listing queries one user's rows with.
  std::vector<int32_t> cmdrRows(const TemplateRecord& s, bool byPort = false) {
    store::DrptCset c(db());
    const ReportPlan plan = planFor(s);
    EXPECT_TRUE(c.open(plan.cmdr.condition(byPort), plan.order)) << c.error();
    std::vector<int32_t> rows;
    CmdrRecord r;
    while (c.next(r)) rows.push_back(r.sqno);
    EXPECT_EQ(c.error(), "");
    return rows;
  }
  std::vector<int32_t> voiceRows(const TemplateRecord& s) {
    store::DrptVset v(db(), store::vdata00Table());
    const ReportPlan plan = planFor(s, ListedTable::Voice);
    EXPECT_TRUE(v.open(plan.where, plan.order)) << v.error();
    std::vector<int32_t> rows;
    VoiceRecord r;
    while (v.next(r)) rows.push_back(r.sqno);
    return rows;
  }
};

TEST_P(Selecting, DateAndTimeOfDayWindowsPickTheRightCalls) {
  // Three days, calls at 07:59, 08:00, 12:30, 17:59 and 18:00 each day.
  std::vector<std::vector<int32_t>> at(3);
  const int minutes[][2] = {{7, 59}, {8, 0}, {12, 30}, {17, 59}, {18, 0}};
  const DateTime days[] = {{2024, 2, 28}, {2024, 2, 29}, {2024, 3, 1}};  // a leap year
  for (int d = 0; d < 3; ++d)
    for (auto [h, m] : minutes)
      at[d].push_back(add(call("100", DateTime{days[d].year, days[d].month, days[d].day, h, m, 30})));
  struct Case {
    const char* what;
    DateTime from, to;
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {"default range",
       {2000, 1, 1, 0, 0, 0},
       {2099, 12, 31, 23, 59, 0},
       {at[0][0], at[0][1], at[0][2], at[0][3], at[0][4], at[1][0], at[1][1], at[1][2], at[1][3], at[1][4], at[2][0],
        at[2][1], at[2][2], at[2][3], at[2][4]}},
      {"one day whole",
       {2024, 2, 29, 0, 0, 0},
       {2024, 2, 29, 23, 59, 0},
       {at[1][0], at[1][1], at[1][2], at[1][3], at[1][4]}},
      {"office hours on every day of the range",
       {2024, 2, 28, 8, 0, 0},
       {2024, 2, 29, 17, 59, 0},
       {at[0][1], at[0][2], at[0][3], at[1][1], at[1][2], at[1][3]}},
      {"end minute included", {2024, 3, 1, 17, 59, 0}, {2024, 3, 1, 17, 59, 0}, {at[2][3]}},
      {"reversed dates", {2024, 3, 1, 0, 0, 0}, {2024, 2, 28, 23, 59, 0}, {}},
      {"invalid end date", {2024, 2, 28, 0, 0, 0}, {2024, 2, 30, 23, 59, 0}, {}},
      {"invalid start date bounds nothing", {2024, 13, 1, 0, 0, 0}, {2024, 2, 28, 23, 59, 0}, at[0]},
  };
  for (const Case& c : cases) {
    TemplateRecord s = defaultSelection();
    s.TStr = c.from;
    s.TEnd = c.to;
    EXPECT_EQ(cmdrRows(s), c.expected) << c.what;
    EXPECT_EQ(cmdrRows(s, true), c.expected) << c.what << " (by port)";
  }
}

TEST_P(Selecting, CallFieldsNarrowTheCallsOnly) {
  const DateTime t{2024, 5, 6, 10, 0, 0};
  CmdrRecord plain = call("100", t, 30);
  plain.rdata = digits("02125551234");
  plain.cdata = digits("05321112233");
  plain.uport = corvane::portText8("1A");
  plain.rpuls = 4;
  plain.ppuls = 2;
  plain.ipadr = 0xC0A80001;  // 192.168.0.1: negative as a signed 32-bit number
  const int32_t a = add(plain);
  CmdrRecord longCall = call("200", t, 90000);  // longer than a day
  longCall.rdata = digits("0312444");
  longCall.rpuls = 50;
  const int32_t b = add(longCall);
  CmdrRecord system = call("300", t);
  system.type = "B";
  system.rpuls = 1000;
  const int32_t c = add(system);

  struct Case {
    const char* what;
    void (*set)(TemplateRecord&);
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {"defaults keep a call longer than the picker", [](TemplateRecord&) {}, {a, b}},
      {"all variants", [](TemplateRecord& s) { s.TRect = 0; }, {a, b, c}},
      {"system records", [](TemplateRecord& s) { s.TRect = 2; }, {c}},
      {"dialled prefix up to the first blank", [](TemplateRecord& s) { s.Tddgts = "0212 555"; }, {a}},
      {"calling prefix", [](TemplateRecord& s) { s.Tcdgts = "0532"; }, {a}},
      {"used port with a letter after a blank", [](TemplateRecord& s) { s.Tpuport = " 1A"; }, {a}},
      {"used port beginning with a non-hex character", [](TemplateRecord& s) { s.Tpuport = "x1A"; }, {a, b}},
      {"exchange address", [](TemplateRecord& s) { s.ipadr = 0xC0A80001; }, {a}},
      {"external pulses", [](TemplateRecord& s) { s.TPmie = 10; }, {b}},
      {"internal pulses", [](TemplateRecord& s) { s.TPmii = 1, s.TPmai = 2; }, {a}},
      {"maximum duration below the end bounds", [](TemplateRecord& s) { s.TMad.hour = 1; }, {a}},
      {"minimum duration", [](TemplateRecord& s) { s.TMid.minute = 1; }, {b}},
      {"pulses do not narrow other variants", [](TemplateRecord& s) { s.TRect = 2, s.TPmae = 0; }, {c}},
      {"single user", [](TemplateRecord& s) { s.TLtyp = kSingleUser, s.TLstr = "200"; }, {b}},
  };
  for (const Case& k : cases) {
    TemplateRecord s = defaultSelection();
    k.set(s);
    EXPECT_EQ(cmdrRows(s), k.expected) << k.what;
  }
}

TEST_P(Selecting, UserSortedModesGroupByPortThenTime) {
  const int32_t late = add(call("2", DateTime{2024, 1, 2, 9, 0, 0}));
  const int32_t early = add(call("10", DateTime{2024, 1, 3, 9, 0, 0}));
  const int32_t first = add(call("2", DateTime{2024, 1, 1, 9, 0, 0}));
  const int32_t sameSecond = add(call("2", DateTime{2024, 1, 1, 9, 0, 0}));
  TemplateRecord s = defaultSelection();
  EXPECT_EQ(cmdrRows(s), (std::vector<int32_t>{first, sameSecond, late, early}));
  s.TLtyp = kAllUserSorted;
  EXPECT_EQ(cmdrRows(s), (std::vector<int32_t>{first, sameSecond, late, early}))
      << "ports compare as stored: \"       2\" first";
  EXPECT_EQ(cmdrRows(s, true), (std::vector<int32_t>{first, sameSecond, late, early}))
      << "calls of one second in key order";
}

TEST_P(Selecting, VoiceRangesIncludeTheEndMinute) {
  auto rec = [&](uint32_t date, uint32_t time, const char* dsq, bool outgoing) {
    VoiceRecord v;
    v.rcdport = corvane::portText8("100");
    v.rcddate = date;
    v.rcdtime = time;
    v.rcdtype = "A";
    v.duration = 10;
    v.rcddsq = dsq;
    v.rcdrcv = "0212555";
    v.Drog = outgoing;
    store::DrptVset vs(db(), store::vdata00Table());
    EXPECT_TRUE(vs.add(v)) << vs.error();
    return v.sqno;
  };
  db().ensureTables(store::voiceTables());
  const int32_t a = rec(0x240506, 0x170559, "1A", false);  // 17:05:59
  const int32_t b = rec(0x240506, 0x170600, "1A", true);   // 17:06:00
  const int32_t c = rec(0x240507, 0x090000, "2B", false);
  struct Case {
    const char* what;
    void (*set)(TemplateRecord&);
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {"defaults", [](TemplateRecord&) {}, {a, b, c}},
      {"end minute 17:05 takes its 59th second",
       [](TemplateRecord& s) { s.TStr = {2024, 5, 6, 17, 5, 0}, s.TEnd = {2024, 5, 6, 17, 5, 0}; },
       {a}},
      {"port without padding", [](TemplateRecord& s) { s.Tpuport = " 1A"; }, {a, b}},
      {"incoming", [](TemplateRecord& s) { s.vrdir = kIncoming; }, {a, c}},
      {"outgoing", [](TemplateRecord& s) { s.vrdir = kOutgoing; }, {b}},
      {"receiving digits", [](TemplateRecord& s) { s.Tddgts = "0213"; }, {}},
  };
  for (const Case& k : cases) {
    TemplateRecord s = defaultSelection();
    k.set(s);
    EXPECT_EQ(voiceRows(s), k.expected) << k.what;
  }
}

TEST_P(Selecting, TemplatesSaveRewriteAndTrash) {
  std::string error;
  TemplateRecord s = defaultSelection();
  s.TName = "Monthly accounting report for all users";  // longer than 32
  s.TPrce = 0.25;
  s.TPunt = "EUR";
  s.Tpuport = "1A";
  ASSERT_TRUE(saveTemplate(db(), s, error)) << error;
  ASSERT_GT(s.TSno, 0);
  TemplateRecord other = defaultSelection();
  other.TName = "A first";
  ASSERT_TRUE(saveTemplate(db(), other, error)) << error;

  auto all = loadTemplates(db(), error);
  ASSERT_TRUE(all) << error;
  ASSERT_EQ(all->size(), 2u);
  EXPECT_EQ((*all)[0].TName, "A first") << "listed by name";
  EXPECT_EQ((*all)[1].TName, "Monthly accounting report for al");
  EXPECT_EQ((*all)[1].TStr, s.TStr);
  EXPECT_EQ((*all)[1].TMad.hour, 23);
  EXPECT_DOUBLE_EQ((*all)[1].TPrce, 0.25);

  s.TPunt = "TRY";
  ASSERT_TRUE(saveTemplate(db(), s, error)) << error;
  auto found = findTemplate(db(), s.TName, error);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->TPunt, "TRY");
  EXPECT_EQ(found->TSno, s.TSno) << "saving a chosen template rewrites its row";

  ASSERT_TRUE(deleteTemplate(db(), s.TSno, error)) << error;
  EXPECT_FALSE(findTemplate(db(), s.TName, error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(loadTemplates(db(), error)->size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Engines, Selecting, ::testing::Values(testing::Engine::Sqlite, testing::Engine::Postgres),
                         testing::engineName);

}  // namespace
}  // namespace lumarc::browse
