// lumarc-cli users, definitions and replace, run as a program on a working
// directory with its own settings and database.
#include "tools/sim/test_process.h"

#include "common/codepage.h"
#include "common/test_support.h"
#include "lumarc/app/settings.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/store/record_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace lumarc {
namespace {

using corvane::testing::readAll;

struct CliRun {
  int status = -1;
  std::string out, err;
};

class UsersCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    cli_ = testproc::programPath("LUMARC_CLI");
    if (cli_.empty()) GTEST_SKIP() << "LUMARC_CLI not set";
    ASSERT_FALSE(dir_.path().empty());
  }
  // Settings (language, users format and sort) and a database with two users
  // and two dialled-digit definitions, written as the window program would.
  void prepare(uint32_t language) {
    SettingsBlock s;
    s.setLanguage(language);
    s.setUsersFormat(1);
    s.setUsersSort(1);
    ASSERT_TRUE(saveSettings(s, dir_.path()));
    const corvane::StringTable& texts = textsFor(language);
    RecordStore store(nullptr, texts.codePage());
    ASSERT_TRUE(store.openMainDatabase(dir_.path()));
    store::DrptPset users(*store.mainDatabase());
    celik_.cport = "2002";
    celik_.surn = corvane::fromUtf8("Çelik", texts.codePage());
    celik_.name = "Ali";
    celik_.pra0 = 12;
    ak_.cport = "1001";
    ak_.surn = "Ak";
    ak_.name = "Zeynep";
    ASSERT_TRUE(users.add(celik_) && users.add(ak_)) << users.error();
    std::string error;
    for (RouteRecord r :
         {RouteRecord{0, 0, 0, "A1", "0212", "", false, false}, RouteRecord{0, 0, 0, "A2", "02125", "", true, false}})
      ASSERT_EQ(browse::saveDefinition(*store.mainDatabase(), r, error), browse::SaveResult::Saved) << error;
  }
  CliRun run(std::vector<std::string> args) {
    std::vector<std::string> argv = {cli_, "--dir", dir_.path(), "--db", ""};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string errFile = dir_.path() + "/err.txt";
    testproc::ChildProcess p(argv, errFile);
    CliRun r;
    r.status = p.wait();
    r.out = p.output();
    r.err = readAll(errFile);
    return r;
  }

  corvane::testing::TempDir dir_{"lumarc-userscmd"};
  std::string cli_;
  UserRecord celik_, ak_;
};

std::vector<std::string> split(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t e; (e = text.find(end, at)) != std::string::npos; at = e + end.size())
    lines.push_back(text.substr(at, e - at));
  if (at != text.size()) lines.push_back(text.substr(at) + "<no line end>");
  return lines;
}

TEST_F(UsersCommand, UsersAreReportLinesInTheTextsCodePageOrUtf8OnAsk) {
  prepare(1);
  const corvane::StringTable& tr = turkishTexts();
  // The settings' format and sort: counters, by port.
  CliRun report = run({"users"});
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(report.out.find('\n'), report.out.find("\r\n") + 1) << "every line ends in CR LF";
  std::vector<std::string> lines = split(report.out, "\r\n");
  ASSERT_EQ(lines.size(), 4u) << report.out;
  EXPECT_EQ(lines[0].rfind(tr.text(kTextUserChargePulseCounters) + " 20", 0), 0u) << lines[0];
  EXPECT_EQ(lines[0][6], '\xFD') << "\"ı\" in code page 1254";
  EXPECT_EQ(lines[1], browse::usersHeader2(tr, 1));
  EXPECT_EQ(lines[2], browse::userLine(ak_, 1));
  EXPECT_EQ(lines[3], browse::userLine(celik_, 1));

  CliRun utf8 = run({"users", "--format", "0", "--sort=0", "--utf8"});
  ASSERT_EQ(utf8.status, 0) << utf8.err;
  EXPECT_EQ(utf8.out.find('\r'), std::string::npos);
  lines = split(utf8.out, "\n");
  ASSERT_EQ(lines.size(), 4u) << utf8.out;
  EXPECT_EQ(lines[1],
            "Port     Seç Sayaç      Ad                                       Unvan            Bölüm            "
            "Kısım            Açıklama");
  EXPECT_EQ(lines[2], browse::userLine(ak_, 0)) << "sorted by surname";
  EXPECT_EQ(lines[3], corvane::toUtf8(browse::userLine(celik_, 0), corvane::CodePage::Cp1254));
  EXPECT_EQ(lines[3].rfind("2002         12         Çelik, Ali", 0), 0u) << lines[3];
}

TEST_F(UsersCommand, ReplacePrintsTheNameOfTheLongestPrefixAndTheAcknowledgedMark) {
  prepare(0);
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"replace", "dialled", "021255551"}, "(A2)5551 A\n"},
      {{"replace", "dialled", "02124"}, "(A1)4\n"},
      {{"replace", "dialled", "0312"}, "0312\n"},
      {{"replace", "calling", "021255551"}, "021255551\n"},
  };
  for (const auto& [args, out] : cases) {
    CliRun r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, out) << args.back();
  }
  CliRun defs = run({"definitions", "dialled", "--utf8"});
  ASSERT_EQ(defs.status, 0) << defs.err;
  EXPECT_EQ(defs.out, englishTexts().text(kTextDefinitionColumns) + "\n" +
                          "A1                 0212                                              \n"
                          "A2           *     02125                                             \n");
}

TEST_F(UsersCommand, BadOptionsExitTwoAndAMissingDatabaseOne) {
  const std::vector<std::string> bad[] = {
      {"users", "--format", "2"},
      {"users", "--sort"},
      {"users", "--bogus"},
      {"users", "extra"},
      {"definitions"},
      {"definitions", "both"},
      {"definitions", "dialled", "--format", "0"},
      {"replace", "dialled"},
  };
  for (const auto& args : bad) {
    CliRun r = run(args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(r.out, "") << args.back();
    EXPECT_NE(r.err, "") << args.back();
  }
  CliRun none = run({"users"});
  EXPECT_EQ(none.status, 1) << "no database in the folder";
  EXPECT_NE(none.err.find("db init"), std::string::npos) << none.err;
}

TEST_F(UsersCommand, PdfHoldsTheHeadersAndTheLines) {
  if (std::system("pdftotext -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftotext is not installed";
  prepare(0);
  const std::string pdf = dir_.path() + "/users.pdf";
  CliRun r = run({"users", "--format", "0", "--pdf", pdf});
  if (r.status == 2 && r.err.find("not available") != std::string::npos) GTEST_SKIP() << r.err;
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(readAll(pdf).rfind("%PDF", 0), 0u);
  const std::string text = dir_.path() + "/users.txt";
  ASSERT_EQ(std::system(("pdftotext -layout '" + pdf + "' '" + text + "'").c_str()), 0);
  const std::string printed = readAll(text);
  for (const char* part : {"User charge pulse counters", "Department", "Zeynep"})
    EXPECT_NE(printed.find(part), std::string::npos) << part << " missing in:\n" << printed;
}

}  // namespace
}  // namespace lumarc
