// The report plan of a selection: what a filled-in form makes a listing
// query, group, price and show, decided without a database.
#include "lumarc/browse/report_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace lumarc::browse {
namespace {

// The listing's WHERE clause as SQLite gets it, and its bound values.
struct Rendered {
  std::string sql;
  std::vector<store::SqlValue> values;
  bool binds(const store::SqlValue& v) const { return std::find(values.begin(), values.end(), v) != values.end(); }
};
Rendered render(const store::Condition& c) {
  Rendered r;
  c.render(store::Dialect(store::Engine::Sqlite), r.sql, r.values);
  return r;
}

std::string orderText(const store::Sort& sort) {
  std::string s;
  for (const store::SortKey& k : sort) s += (s.empty() ? "" : ", ") + k.expr.columnName();
  return s;
}

TEST(ReportPlan, FormFieldsDecideWhatTheCallListingDoes) {
  struct Expect {
    bool byUser;
    const char* order;
    LineFormat format;
    bool dialledDefinitions, callingDefinitions, looksUpAcknowledged;
    bool details;
  };
  struct Case {
    const char* what;
    void (*set)(TemplateRecord&);
    Expect expect;
  };
  const LineFormat L = LineFormat::Long, S = LineFormat::Short;
  // clang-format off
  const Case cases[] = {
      {"default: calls by time, long lines, no look-ups",
       [](TemplateRecord&) {},                                 {false, "tdate, sqno", L, false, false, false, true}},
      {"short lines show the acknowledged mark",
       [](TemplateRecord& s) { s.TRpfm = 1; },                 {false, "tdate, sqno", S, true, false, true, true}},
      {"acknowledged calls free need the mark in long lines too",
       [](TemplateRecord& s) { s.TAckf = 1; },                 {false, "tdate, sqno", L, true, false, true, true}},
      {"dialled digits replaced: the mark goes with the name",
       [](TemplateRecord& s) { s.TRplc = 1; },                 {false, "tdate, sqno", L, true, false, true, true}},
      {"calling number replaced without the dialled list",
       [](TemplateRecord& s) { s.TRplc = 2; },                 {false, "tdate, sqno", L, false, true, false, true}},
      {"both columns replaced",
       [](TemplateRecord& s) { s.TRplc = 3; },                 {false, "tdate, sqno", L, true, true, true, true}},
      {"user sorted listing groups by port",
       [](TemplateRecord& s) { s.TLtyp = kAllUserSorted; },    {true, "cport, tdate, sqno", L, false, false, false, true}},
      {"no details hides the call lines of a grouped listing",
       [](TemplateRecord& s) { s.TLtyp = kSections, s.TFlag = kNoDetails; },
                                                               {true, "cport, tdate, sqno", L, false, false, false, false}},
      {"no details is ignored by the time-sorted listing",
       [](TemplateRecord& s) { s.TFlag = kNoDetails; },        {false, "tdate, sqno", L, false, false, false, true}},
      {"no details is ignored for system records",
       [](TemplateRecord& s) { s.TLtyp = kAllUserSorted, s.TRect = 2, s.TFlag = kNoDetails; },
                                                               {true, "cport, tdate, sqno", L, false, false, false, true}},
      {"an unknown mode lists by time",
       [](TemplateRecord& s) { s.TLtyp = 9; },                 {false, "tdate, sqno", L, false, false, false, true}},
  };
  // clang-format on
  for (const Case& c : cases) {
    TemplateRecord s = defaultSelection();
    c.set(s);
    const ReportPlan p = planFor(s);
    EXPECT_EQ(p.byUser(), c.expect.byUser) << c.what;
    EXPECT_EQ(orderText(p.order), c.expect.order) << c.what;
    EXPECT_EQ(p.format, c.expect.format) << c.what;
    EXPECT_EQ(p.needsDialledDefinitions(), c.expect.dialledDefinitions) << c.what;
    EXPECT_EQ(p.needsCallingDefinitions(), c.expect.callingDefinitions) << c.what;
    EXPECT_EQ(p.looksUpAcknowledged, c.expect.looksUpAcknowledged) << c.what;
    EXPECT_EQ(p.details, c.expect.details) << c.what;
  }
}

TEST(ReportPlan, WhereClauseBindsTheFormsValues) {
  struct Case {
    const char* what;
    void (*set)(TemplateRecord&);
    ListedTable table;
    std::vector<store::SqlValue> bound;
    std::vector<const char*> columns;
  };
  const Case cases[] = {
      {"call records only", [](TemplateRecord&) {}, ListedTable::Cmdr, {std::string("A")}, {"type", "duration"}},
      {"single user's port padded to 8",
       [](TemplateRecord& s) { s.TLtyp = kSingleUser, s.TLstr = "102"; },
       ListedTable::Cmdr,
       {std::string("     102")},
       {"cport"}},
      {"dialled prefix up to the first blank",
       [](TemplateRecord& s) { s.Tddgts = "0212 555"; },
       ListedTable::Cmdr,
       {std::string("0212")},
       {"rdata"}},
      {"every variant leaves the call fields out", [](TemplateRecord& s) { s.TRect = 0; }, ListedTable::Cmdr, {}, {}},
      {"voice single user",
       [](TemplateRecord& s) { s.TLtyp = kSingleUser, s.TLstr = "7"; },
       ListedTable::Voice,
       {std::string("       7")},
       {"rcdport", "rcddate"}},
      {"voice outgoing only", [](TemplateRecord& s) { s.vrdir = kOutgoing; }, ListedTable::Voice, {}, {"Drog"}},
  };
  for (const Case& c : cases) {
    TemplateRecord s = defaultSelection();
    c.set(s);
    const Rendered r = render(planFor(s, c.table).where);
    for (const store::SqlValue& v : c.bound) EXPECT_TRUE(r.binds(v)) << c.what << ": " << r.sql;
    for (const char* column : c.columns) EXPECT_NE(r.sql.find(column), std::string::npos) << c.what << ": " << r.sql;
    for (const store::SqlValue& v : c.bound)
      EXPECT_EQ(r.sql.find("'" + std::get<std::string>(v) + "'"), std::string::npos)
          << c.what << ": values are bound, not in the text";
  }
  TemplateRecord all = defaultSelection();
  all.TRect = 0;
  EXPECT_EQ(render(planFor(all).where).sql.find("duration"), std::string::npos) << "every variant: no duration test";
}

TEST(ReportPlan, GroupedListingComparesDatesByPartsForThePortIndex) {
  TemplateRecord s = defaultSelection();
  const std::string byTime = render(planFor(s).where).sql;
  s.TLtyp = kAllUserSorted;
  const ReportPlan grouped = planFor(s);
  EXPECT_EQ(render(grouped.where).sql, render(grouped.cmdr.condition(true)).sql);
  EXPECT_NE(render(grouped.where).sql, byTime);
}

TEST(ReportPlan, CallsArePricedUnlessFreeOrWithoutPulses) {
  struct Case {
    const char* what;
    double price;
    bool ackedFree, acknowledged;
    const char* type;
    uint32_t rpuls, ppuls;
    double external, internal;
  };
  // clang-format off
  const Case cases[] = {
      {"priced per pulse",                  0.5, false, false, "A", 4, 2, 2, 1},
      {"no price, no amount",               0,   false, false, "A", 4, 2, 0, 0},
      {"acknowledged but not free",         0.5, false, true,  "A", 4, 2, 2, 1},
      {"acknowledged and free",             0.5, true,  true,  "A", 4, 2, 0, 0},
      {"free only when acknowledged",       0.5, true,  false, "A", 4, 2, 2, 1},
      {"system records cost nothing",       0.5, false, false, "B", 4, 2, 0, 0},
      {"no pulses",                         0.5, false, false, "A", 0, 0, 0, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    TemplateRecord s = defaultSelection();
    s.TPrce = c.price;
    s.TAckf = c.ackedFree ? 1 : 0;
    s.TPunt = "EUR";
    const ReportPlan p = planFor(s);
    EXPECT_EQ(p.amounts.unit, "EUR");
    CmdrRecord r;
    r.type = c.type;
    r.rpuls = c.rpuls;
    r.ppuls = c.ppuls;
    const AmountRule::Amounts a = p.amounts.of(r, c.acknowledged);
    EXPECT_DOUBLE_EQ(a.external, c.external) << c.what;
    EXPECT_DOUBLE_EQ(a.internal, c.internal) << c.what;
  }
}

TEST(ReportPlan, TrunkSidesAndStarCountOnlyTestCalls) {
  struct Case {
    int32_t tlic, tlog, star;
    uint32_t flags;
    const char* type;
    bool passes;
  };
  // clang-format off
  const Case cases[] = {
      {1, 0, 0, 1u << 19, "A", false}, {2, 0, 0, 1u << 19, "A", true},   {2, 0, 0, 0, "A", false},
      {0, 1, 0, 1u << 20, "A", false}, {0, 2, 0, 1u << 20, "A", true},   {0, 0, 1, 0, "A", true},
      {0, 0, 1, 1u << 21, "A", false}, {0, 0, 16, 15u << 21, "A", true}, {1, 1, 3, 1u << 19, "B", true},
  };
  // clang-format on
  for (const Case& c : cases) {
    TemplateRecord s = defaultSelection();
    s.TTlic = c.tlic, s.TTlog = c.tlog, s.TStar = c.star;
    CmdrRecord r;
    r.type = c.type;
    r.flags = c.flags;
    EXPECT_EQ(planFor(s).tests.passes(r), c.passes) << c.tlic << c.tlog << c.star << " " << c.flags;
  }
}

TEST(ReportPlan, UserRuleOfEachMode) {
  struct Case {
    int32_t mode;
    bool grouped, needsUserRecord;
  };
  const Case cases[] = {{kAllTimeSorted, false, false},
                        {kAllUserSorted, true, false},
                        {kSelectedUsers, true, true},
                        {kSingleUser, true, false},
                        {kDepartments, true, true},
                        {kSections, true, true},
                        {6, false, false},
                        {-1, false, false}};
  for (const Case& c : cases) {
    TemplateRecord s = defaultSelection();
    s.TLtyp = c.mode;
    s.TLstr = "Sales";
    for (ListedTable t : {ListedTable::Cmdr, ListedTable::Voice}) {
      const ReportPlan p = planFor(s, t);
      EXPECT_EQ(p.users.grouped(), c.grouped) << c.mode;
      EXPECT_EQ(p.users.needsUserRecord(), c.needsUserRecord) << c.mode;
      EXPECT_EQ(p.users.listed, "Sales");
    }
  }
}

}  // namespace
}  // namespace lumarc::browse
