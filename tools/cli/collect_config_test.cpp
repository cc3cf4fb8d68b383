// The collector's configuration file: what a good file gives, and each
// kind of bad line reported with its number while the others still count.
#include "tools/cli/collect_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumarc::cli {
namespace {

TEST(CollectConfigFile, AGoodFileGivesEveryLinkDatabaseAndDirectory) {
  const std::string text =
      "# site 1\n"
      "\n"
      "cmdr=192.168.1.20\n"
      "  cmdr = pbx2.example.com:5001  \r\n"
      "voice=192.168.1.20\n"
      "monitor=192.168.1.20,secret-12AB\n"
      "db=DRIVER={PostgreSQL Unicode};SERVER=db;DATABASE=lumarc;PWD=a=b#c\n"
      "voice_db=DSN=voice\n"
      "dir=/var/lib/lumarc/site1\n";
  CollectConfig c;
  EXPECT_TRUE(parseCollectConfig(text, c).empty());
  EXPECT_EQ(c.cmdr, (std::vector<std::string>{"192.168.1.20", "pbx2.example.com:5001"}));
  EXPECT_EQ(c.voice, (std::vector<std::string>{"192.168.1.20"}));
  EXPECT_EQ(c.monitor, (std::vector<std::string>{"192.168.1.20,secret-12AB"}));
  EXPECT_EQ(c.db, "DRIVER={PostgreSQL Unicode};SERVER=db;DATABASE=lumarc;PWD=a=b#c") << "= and # belong to the value";
  EXPECT_EQ(c.voiceDb, "DSN=voice");
  EXPECT_EQ(c.dir, "/var/lib/lumarc/site1");
}

TEST(CollectConfigFile, EachBadLineIsReportedWithItsNumber) {
  struct Case {
    const char* what;
    std::string text;
    unsigned line;
    const char* message;
  } cases[] = {
      {"a misspelt key", "cmdr=pbx1.example.com\ncmrd=pbx2.example.com\n", 2, "unknown key \"cmrd\""},
      {"a line without =", "\n# x\ncmdr pbx1.example.com\n", 3, "expected KEY=VALUE, found \"cmdr pbx1.example.com\""},
      {"an empty value", "db=\n", 1, "db= needs a value"},
      {"an address without a host", "monitor=:9876\n", 1, "\":9876\" names no usable host"},
      {"a port out of range", "cmdr=pbx1.example.com:70000\n", 1, "\"pbx1.example.com:70000\" names no usable host"},
      {"a fifth CMDR link", "cmdr=10.0.0.1\ncmdr=10.0.0.2\ncmdr=10.0.0.3\ncmdr=10.0.0.4\ncmdr=10.0.0.5\n", 5,
       "more than 4 cmdr links"},
      {"a third monitor link", "monitor=10.0.0.1\nmonitor=10.0.0.2\nmonitor=10.0.0.3\n", 3,
       "more than 2 monitor links"},
      {"a second directory", "dir=/a\ndir=/b\n", 2, "dir= given twice (first on line 1)"},
      {"a relative directory", "dir=var/lib/lumarc\n", 1, "dir= needs an absolute path"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CollectConfig config;
    const std::vector<ConfigProblem> problems = parseCollectConfig(c.text, config);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].line, c.line);
    EXPECT_EQ(problems[0].message.rfind(c.message, 0), 0u) << problems[0].message;
  }
}

TEST(CollectConfigFile, EveryProblemOfAFileIsReportedAtOnce) {
  CollectConfig c;
  const std::vector<ConfigProblem> problems =
      parseCollectConfig("cmdr=pbx1.example.com\nfoo=1\ncmdr=10.0.0.2\nbar\n", c);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].line, 2u);
  EXPECT_EQ(problems[1].line, 4u);
}

}  // namespace
}  // namespace lumarc::cli
