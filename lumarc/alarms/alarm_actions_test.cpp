// The alarm actions with real programs: sendmail is a script that keeps
// its input (or fails), the program a script that keeps its arguments.
#include "lumarc/alarms/alarm_actions.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <fstream>

namespace lumarc::alarms {
namespace {

using corvane::testing::readAll;

void script(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  ::chmod(path.c_str(), 0755);
}

Alarm alarmOf(const char* rule, int record) {
  Alarm a;
  a.raised = {2024, 5, 6, 22, 0, record};
  a.rule = rule;
  a.severity = Severity::Critical;
  a.port = "1001";
  a.record = record;
  a.text = "call from port 1001 to 0900123 (prefix 0900)";
  return a;
}

struct Journal {
  std::vector<std::pair<int, std::string>> lines;
  JournalWriter writer() {
    return [this](int p, const std::string& l) { lines.emplace_back(p, l); };
  }
  size_t count(const std::string& part) const {
    size_t n = 0;
    for (const auto& [p, l] : lines) n += l.find(part) != std::string::npos;
    return n;
  }
};

TEST(AlarmActions, JournalAtOnceOneMailPerRuleEveryFewMinutesAndTheProgramWithArguments) {
  ::signal(SIGPIPE, SIG_IGN);
  corvane::testing::TempDir dir("alarm-actions");
  script(dir.file("sendmail"), "echo \"$@\" >> " + dir.file("mail.args") + "\ncat >> " + dir.file("mail.txt") +
                                   "\necho ---- >> " + dir.file("mail.txt") + "\n");
  script(dir.file("page"), "for a in \"$@\"; do echo \"$a\"; done >> " + dir.file("page.txt") + "\n");
  MailSettings mail;
  mail.to = {"pbx-admin@example.com"};
  mail.sendmail = dir.file("sendmail");
  mail.everyMinutes = 5;
  Journal journal;
  AlarmActions actions(mail, dir.file("page"), journal.writer());
  actions.alarm(alarmOf("premium", 1), 1000);  // mailed at once
  actions.alarm(alarmOf("premium", 2), 1010);  // waits for the next mail
  actions.alarm(alarmOf("premium", 3), 1020);
  actions.alarm(alarmOf("long", 4), 1030);  // another rule: a mail of its own
  actions.tick(1200);
  EXPECT_EQ(actions.mailsSent(), 2u);
  actions.tick(1300);
  EXPECT_EQ(actions.mailsSent(), 3u);
  const std::string mails = readAll(dir.file("mail.txt"));
  EXPECT_EQ(readAll(dir.file("mail.args")), "-t\n-t\n-t\n");
  EXPECT_NE(mails.find("To: pbx-admin@example.com\nSubject: Lumarc alarm: premium (critical, 1 alarm)\n"),
            std::string::npos)
      << mails;
  EXPECT_NE(mails.find("Subject: Lumarc alarm: premium (critical, 2 alarms)"), std::string::npos) << mails;
  EXPECT_NE(mails.find("record 3: call from port 1001"), std::string::npos) << mails;
  ASSERT_EQ(journal.lines.size(), 4u);
  EXPECT_EQ(journal.lines[0].first, 2);
  EXPECT_EQ(journal.lines[0].second,
            "alarm critical \"premium\" port 1001 record 1: call from port 1001 to 0900123 (prefix 0900)");
  EXPECT_EQ(
      readAll(dir.file("page.txt"))
          .rfind(
              "premium\ncritical\n1001\n1\ncall from port 1001 to 0900123 (prefix 0900)\n2024-05-06 22:00:01\npremium\n",
              0),
      0u);
}

TEST(AlarmActions, AFailingActionIsReportedOnceAndAgainWhenItWorks) {
  ::signal(SIGPIPE, SIG_IGN);
  corvane::testing::TempDir dir("alarm-actions");
  script(dir.file("sendmail"), "exit 75\n");
  MailSettings mail;
  mail.to = {"a@example.com"};
  mail.sendmail = dir.file("sendmail");
  mail.everyMinutes = 0;
  Journal journal;
  AlarmActions actions(mail, dir.file("no-such-program"), journal.writer());
  for (int i = 1; i <= 3; ++i) actions.alarm(alarmOf("premium", i), 1000 + i);
  EXPECT_EQ(actions.failures(), 6u);
  EXPECT_EQ(journal.count("alarm mail failed: " + dir.file("sendmail") + " ended with status 75"), 1u);
  EXPECT_EQ(journal.count("alarm program failed: " + dir.file("no-such-program") + ": No such file"), 1u);
  script(dir.file("sendmail"), "cat > /dev/null\n");
  actions.alarm(alarmOf("premium", 4), 2000);
  EXPECT_EQ(journal.count("alarm mail works again"), 1u);
  EXPECT_EQ(journal.count("premium\" port 1001 record"), 4u) << "every alarm in the journal";
}

}  // namespace
}  // namespace lumarc::alarms
