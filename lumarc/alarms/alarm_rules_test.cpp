// The rule file: a good file read whole, and each kind of refusal named by
// its line and reason.
#include "lumarc/alarms/alarm_rules.h"

#include <gtest/gtest.h>

namespace lumarc::alarms {
namespace {

const char* kGood = R"([mail]
to = ["pbx-admin@example.com"]
every = 10

[program]
path = "/usr/local/bin/page"

[[rule]]
name = "premium at night"
kind = "destination"
severity = "critical"
prefixes = ["0900", "00"]
hours = "08:00-18:00"
days = "mon-fri"
outside = true

[[rule]]
name = "long"
kind = "long_call"
severity = "warning"
seconds = 3600
ports = [" 1001", "1002"]

[[rule]]
name = "burst"
kind = "burst"
severity = "warning"
calls = 5
minutes = 10

[[rule]]
name = "who"
kind = "unknown_port"
severity = "info"

[[rule]]
name = "quiet"
kind = "silence"
severity = "warning"
minutes = 30
hours = "8-18"
days = ["mon", "tue", "wed", "thu", "fri"]
)";

TEST(AlarmRules, AGoodFileIsReadWhole) {
  AlarmConfig c;
  const auto problems = parseAlarmRules(kGood, "rules.toml", c);
  ASSERT_TRUE(problems.empty()) << problems.front().line << ": " << problems.front().message;
  ASSERT_EQ(c.rules.size(), 5u);
  EXPECT_EQ(c.mail.to, std::vector<std::string>{"pbx-admin@example.com"});
  EXPECT_EQ(c.mail.everyMinutes, 10);
  EXPECT_EQ(c.mail.sendmail, "/usr/sbin/sendmail");
  EXPECT_EQ(c.program, "/usr/local/bin/page");
  const Rule& night = c.rules[0];
  EXPECT_EQ(night.kind, RuleKind::Destination);
  EXPECT_EQ(night.severity, Severity::Critical);
  EXPECT_EQ(night.prefixes, (std::vector<std::string>{"0900", "00"}));
  EXPECT_EQ(night.line, 8u);
  // 2024-05-06 is a Monday: office hours are out of the window, the night
  // and the Saturday in it.
  EXPECT_FALSE(night.window.contains({2024, 5, 6, 10, 0, 0}));
  EXPECT_TRUE(night.window.contains({2024, 5, 6, 18, 0, 0}));
  EXPECT_TRUE(night.window.contains({2024, 5, 6, 7, 59, 0}));
  EXPECT_TRUE(night.window.contains({2024, 5, 11, 10, 0, 0}));
  EXPECT_EQ(c.rules[1].ports, (std::vector<std::string>{"1001", "1002"}));
  EXPECT_EQ(c.rules[2].calls, 5u);
  EXPECT_EQ(c.rules[2].minutes, 10u);
  EXPECT_EQ(c.rules[3].kind, RuleKind::UnknownPort);
  EXPECT_EQ(c.rules[4].window.days, 0x1Fu);
  EXPECT_FALSE(c.rules[4].window.allDay);
}

TEST(AlarmRules, RefusalsNameTheirLineAndReason) {
  const std::string head = "[[rule]]\nname = \"r\"\nseverity = \"info\"\n";
  struct Case {
    const char* what;
    std::string text;
    unsigned line;
    const char* reason;
  } cases[] = {
      {"an unknown key", head + "kind = \"long_call\"\nseconds = 60\nsecond = 61\n", 6, "unknown key \"second\""},
      {"an unknown top-level key", "[mial]\nto = \"a@b\"\n" + head + "kind = \"unknown_port\"\n", 1,
       "unknown key \"mial\""},
      {"a bad severity", "[[rule]]\nname = \"r\"\nkind = \"unknown_port\"\nseverity = \"urgent\"\n", 4,
       "severity \"urgent\" is not critical, warning or info"},
      {"a bad number", head + "kind = \"long_call\"\nseconds = -5\n", 5, "seconds must be from 1"},
      {"a text for a number", head + "kind = \"burst\"\ncalls = \"5\"\nminutes = 3\n", 5,
       "calls must be a whole number"},
      {"bad hours", head + "kind = \"unknown_port\"\nhours = \"8 to 18\"\n", 5, "hours \"8 to 18\" is not a range"},
      {"an unknown kind", head + "kind = \"fraud\"\n", 4, "unknown kind \"fraud\""},
      {"prefixes as numbers", head + "kind = \"destination\"\nprefixes = [\"0900\",\n  900]\n", 6,
       "prefixes must be quoted digit strings (found a number"},
      {"a prefix with letters", head + "kind = \"destination\"\nprefixes = [\"09x0\"]\n", 5,
       "prefix \"09x0\" is not a string of digits"},
      {"an empty prefix list", head + "kind = \"destination\"\nprefixes = []\n", 5,
       "prefixes must be a non-empty list"},
      {"prefixes not a list", head + "kind = \"destination\"\nprefixes = \"0900\"\n", 5,
       "prefixes must be a non-empty list"},
      {"broken TOML", head + "kind = \"destination\nprefixes = []\n", 4, ""},
      {"a rule named twice", head + "kind = \"unknown_port\"\n" + head + "kind = \"unknown_port\"\n", 6,
       "rule \"r\" named twice (first on line 2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AlarmConfig config;
    const auto problems = parseAlarmRules(c.text, "rules.toml", config);
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems.front().line, c.line) << problems.front().message;
    EXPECT_NE(problems.front().message.find(c.reason), std::string::npos) << problems.front().message;
  }
}

}  // namespace
}  // namespace lumarc::alarms
