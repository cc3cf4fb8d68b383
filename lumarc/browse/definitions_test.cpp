// Users and number definitions: the lines a person reads, the replacement a
// report prints, and the edits, on a real SQLite file and on the test
// PostgreSQL server when there is one.
#include "lumarc/browse/definitions.h"

#include "common/fault_seam.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/browse_db_test_support.h"
#include "lumarc/store/record_store.h"
#include "lumarc/store/store_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lumarc::browse {
namespace {

RouteRecord definition(const char* name, const char* digits, bool ackd = false, int32_t type = kDialledDigits) {
  RouteRecord r;
  r.RType = type;
  r.RName = name;
  r.RDgts = digits;
  r.Ackd = ackd;
  return r;
}

// ---- Replacement ----

TEST(Replacement, LongestDefinitionThatBeginsTheNumberNamesIt) {
  // clang-format off
  std::vector<RouteRecord> rows = {
      definition("A1      ", "0212"),  // name as a fixed-width column gives it
      definition("A2", "02125", true),
      definition("LONG", "021255551234"),
      definition("EMPTY", ""),
      definition("CLIP", "03", false, kCallingNumber),
  };
  // clang-format on
  for (size_t i = 0; i < rows.size(); ++i) rows[i].RSno = int32_t(i + 1);
  const DefinitionIndex index(rows, kDialledDigits);
  struct Case {
    const char* number;
    std::string text;
    bool acknowledged;
  };
  const std::string forty = "0212" + std::string(36, '7');
  const Case cases[] = {
      {"021255551", "(A2)5551", true},
      {"02124", "(A1)4", false},
      {"0312", "0312", false},  // no definition; the calling-number one is of the other type
      {"999", "999", false},    // an empty definition matches nothing
      {"", "", false},
      {"02125", "(A2)", true},  // the whole number
      {"0212555512345", "(LONG)5", false},
      {"02125  ", "(A2)", true},                             // trailing blanks of a number column
      {"021", "021", false},                                 // shorter than every definition
      {forty.c_str(), "(A1)" + forty.substr(4, 28), false},  // the number is cut to 32
  };
  for (const Case& c : cases) {
    NumberReplacement r = index.replace(c.number);
    EXPECT_EQ(r.text, c.text) << c.number;
    EXPECT_EQ(r.acknowledged, c.acknowledged) << c.number;
  }
}

// ---- Lines ----

TEST(Lines, UserAndDefinitionLinesKeepTheirColumns) {
  UserRecord u;
  u.cport = "1001";
  u.Slct = true;
  u.surn = "Smith   ";
  u.name = "John";
  u.titl = "Engineer";
  u.dept = "Sales";
  u.sect = "North";
  u.cmnt = "desk 4";
  u.pra0 = u.ppa0 = u.pra1 = 4294967295u;  // 12884901885 in all: more than 32 bits hold
  EXPECT_EQ(userLine(u, 0),
            "1001     *   2884901885 Smith, John                              Engineer         Sales            North"
            "            desk 4                          ");
  EXPECT_EQ(userLine(u, 1), "1001     *   2884901885 8589934590 4294967295 0          0          0          ");

  UserRecord blank;
  blank.cport = "2002";
  EXPECT_EQ(userLine(blank, 0), "2002         0" + std::string(134, ' ')) << "no \", \" without names";

  RouteRecord d = definition("A2", "02125", true);
  d.RCmnt = "Istanbul Europe";
  EXPECT_EQ(definitionLine(d), "A2           *     02125            Istanbul Europe                  ");
}

TEST(Lines, ColumnTitlesStandOverTheirColumns) {
  const std::string h = usersHeader2(englishTexts(), 0);
  UserRecord u;
  u.cport = "P";
  u.surn = "S";
  u.titl = "T";
  u.dept = "D";
  u.sect = "E";
  u.cmnt = "C";
  const std::string line = userLine(u, 0);
  for (const char* title : {"Name", "Title", "Department", "Section", "Comment"}) {
    size_t at = h.find(title);
    ASSERT_NE(at, std::string::npos) << title;
    EXPECT_NE(line[at], ' ') << title << " is not over its column";
  }
  EXPECT_EQ(usersHeader2(englishTexts(), 1).find("Services"), 68u);
  EXPECT_EQ(definitionsHeader(englishTexts()).find("Number"), definitionLine(definition("N", "1")).find('1'));
  std::tm t{};
  t.tm_year = 124, t.tm_mon = 4, t.tm_mday = 6, t.tm_hour = 7, t.tm_min = 8, t.tm_sec = 9;
  EXPECT_EQ(usersHeader1(englishTexts(), t), "User charge pulse counters 2024/05/06 07:08:09");
}

// ---- Lists and edits on a database ----

using testing::Engine;

class OnDatabase : public testing::OnDatabase {
 protected:
  int32_t addUser(const char* port, const char* surname, const char* name) {
    UserRecord u;
    u.cport = port;
    u.surn = surname;
    u.name = name;
    store::DrptPset users(db());
    EXPECT_TRUE(users.add(u)) << users.error();
    return u.sqno;
  }
  UserRecord user(int32_t sqno) {
    store::DrptPset users(db());
    return users.find(sqno).value_or(UserRecord{});
  }
  std::vector<RouteRecord> definitions() {
    std::vector<RouteRecord> all;
    store::DrptRset defs(db());
    defs.open();
    RouteRecord r;
    while (defs.next(r)) all.push_back(r);
    return all;
  }
};

TEST_P(OnDatabase, ListsFollowTheSortOrderWithNamesCaseInsensitive) {
  addUser("2002", "adams", "Bob");
  addUser("1001", "Baker", "al");
  addUser("3003", "ADAMS", "alice");
  for (const auto& [sort, ports] : {std::pair{0, "3003 2002 1001 "}, std::pair{1, "1001 2002 3003 "}}) {
    std::string seen;
    EXPECT_EQ(listUsers(db(), sort, [&](const UserRecord& u) { seen += u.cport + " "; }), "");
    EXPECT_EQ(seen, ports) << "sort " << sort;
  }

  for (RouteRecord r : {definition("b", "02"), definition("A", "03"), definition("c", "01"),
                        definition("Z", "00", false, kCallingNumber)}) {
    std::string error;
    ASSERT_EQ(saveDefinition(db(), r, error), SaveResult::Saved) << error;
  }
  for (const auto& [sort, names] : {std::pair{1, "A b c "}, std::pair{0, "c b A "}}) {
    std::string seen;
    EXPECT_EQ(listDefinitions(db(), kDialledDigits, sort, [&](const RouteRecord& r) { seen += r.RName + " "; }), "");
    EXPECT_EQ(seen, names) << "order " << sort;
  }
  std::string error;
  auto index = DefinitionIndex::load(db(), kCallingNumber, error);
  ASSERT_TRUE(index) << error;
  EXPECT_EQ(index->replace("0012").text, "(Z)12");
}

TEST_P(OnDatabase, SavingAUserKeepsPulsesChargedWhileTheWindowHeldIt) {
  const int32_t sqno = addUser("1001", "Baker", "Al");
  std::string error;
  ASSERT_TRUE(toggleUserSelected(db(), sqno, error)) << error;
  UserRecord edited = user(sqno);  // what the properties window shows

  CmdrRecord call;  // the collector charges the user meanwhile
  call.type = "A";
  call.cport = "1001";
  call.tdate = DateTime{2024, 5, 6, 7, 8, 9};
  call.rpuls = 7;
  ASSERT_EQ(store_.store(call).status, StoreOutcome::Status::Stored);

  edited.surn = "Baker-Smith";
  edited.titl = "Manager";
  ASSERT_TRUE(saveUser(db(), edited, error)) << error;
  const UserRecord now = user(sqno);
  EXPECT_EQ(now.surn, "Baker-Smith");
  EXPECT_EQ(now.titl, "Manager");
  EXPECT_EQ(now.pra0, 7u) << "the pulses charged meanwhile were lost";
  EXPECT_TRUE(now.Slct);

  edited.cmnt = std::string(33, 'x');
  EXPECT_FALSE(saveUser(db(), edited, error));
  EXPECT_EQ(user(sqno).cmnt, "") << "a comment longer than its column was stored";
}

TEST_P(OnDatabase, RefusedDefinitionsStoreNothing) {
  struct Case {
    RouteRecord row;
    SaveResult result;
  };
  const Case cases[] = {
      {definition("A1", ""), SaveResult::DigitsMissing},
      {definition("A1", "02 12"), SaveResult::NotDigits},
      {definition("A1", "0212a"), SaveResult::NotDigits},
      {definition("A1", "01234567890123456"), SaveResult::TooLong},
      {definition("NINECHARS", "0212"), SaveResult::TooLong},
  };
  for (Case c : cases) {
    std::string error;
    EXPECT_EQ(saveDefinition(db(), c.row, error), c.result) << c.row.RName << " " << c.row.RDgts;
    EXPECT_EQ(c.row.RSno, 0);
  }
  EXPECT_TRUE(definitions().empty());
}

TEST_P(OnDatabase, EditingADeletedDefinitionFailsInsteadOfAddingIt) {
  RouteRecord r = definition("A1", "0212");
  std::string error;
  ASSERT_EQ(saveDefinition(db(), r, error), SaveResult::Saved) << error;
  ASSERT_NE(r.RSno, 0);
  r.RDgts = "0213";
  ASSERT_EQ(saveDefinition(db(), r, error), SaveResult::Saved) << error;
  ASSERT_EQ(definitions().size(), 1u);
  EXPECT_EQ(definitions()[0].RDgts, "0213");

  ASSERT_TRUE(deleteDefinition(db(), r.RSno, error)) << error;
  EXPECT_EQ(saveDefinition(db(), r, error), SaveResult::Failed);
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(definitions().empty());
  EXPECT_FALSE(deleteDefinition(db(), r.RSno, error));
}

TEST_P(OnDatabase, ANewDefinitionWhoseCommitFailsIsNotStoredAndStaysNew) {
  corvane::fault::Guard guard;
  corvane::fault::Injected f;
  f.message = "refused by the test";
  corvane::fault::arm(corvane::fault::Point::Commit, 1, f);
  RouteRecord r = definition("A1", "0212");
  std::string error;
  EXPECT_EQ(saveDefinition(db(), r, error), SaveResult::Failed);
  EXPECT_NE(error.find("refused by the test"), std::string::npos) << error;
  EXPECT_EQ(r.RSno, 0);
  corvane::fault::disarm();
  EXPECT_TRUE(definitions().empty());
  ASSERT_EQ(saveDefinition(db(), r, error), SaveResult::Saved) << "the database stayed usable: " << error;
}

TEST_P(OnDatabase, SelectionMarksToggleAndSetOnlyThemselves) {
  const int32_t a = addUser("1001", "A", "a"), b = addUser("1002", "B", "b");
  std::string error;
  ASSERT_TRUE(toggleUserSelected(db(), a, error)) << error;
  EXPECT_TRUE(user(a).Slct);
  EXPECT_FALSE(user(b).Slct);
  ASSERT_TRUE(toggleUserSelected(db(), a, error)) << error;
  EXPECT_FALSE(user(a).Slct) << "toggled twice";
  ASSERT_TRUE(setAllUsersSelected(db(), true, error)) << error;
  EXPECT_TRUE(user(a).Slct && user(b).Slct);
  ASSERT_TRUE(setAllUsersSelected(db(), false, error)) << error;
  EXPECT_FALSE(user(a).Slct || user(b).Slct);
  EXPECT_FALSE(toggleUserSelected(db(), b + 100, error)) << "a user that is gone";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Engines, OnDatabase, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         testing::engineName);
// clang-format on

}  // namespace
}  // namespace lumarc::browse
