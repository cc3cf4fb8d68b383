// lumarc-cli collect with alarm rules and /metrics, end to end on
// loopback: corvane-sim cmdr plays the exchange, a destination rule raises
// an alarm for each of its calls, the mail action fails (a sendmail script
// that keeps its input and exits with 1) without refusing any record, and
// /metrics, scraped over HTTP, shows the link, the records and the alarms.
#include "common/test_support.h"
#include "tools/sim/test_process.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

namespace lumarc {
namespace {

using Child = testproc::ChildProcess;
using corvane::testing::readAll;
using corvane::testing::TempDir;
using testproc::waitFor;
constexpr auto binary = testproc::programPath;

size_t countOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

TEST(CollectAlarms, AlarmsOnArrivingRecordsAFailingMailRefusesNothingAndMetricsShowIt) {
  TempDir dir("lumarc-alarms");
  ASSERT_FALSE(dir.path().empty());
  std::ofstream(dir.file("sendmail")) << "#!/bin/sh\ncat > " << dir.file("mail.txt") << "\nexit 1\n";
  ::chmod(dir.file("sendmail").c_str(), 0755);
  // The simulator's calls dial 0212555N.
  std::ofstream(dir.file("rules.toml")) << "[mail]\nto = \"pbx-admin@example.com\"\nsendmail = \""
                                        << dir.file("sendmail")
                                        << "\"\n\n[[rule]]\nname = \"toll\"\nkind = \"destination\"\n"
                                           "severity = \"critical\"\nprefixes = [\"0212\"]\n\n"
                                           "[[rule]]\nname = \"long\"\nkind = \"long_call\"\n"
                                           "severity = \"warning\"\nseconds = 100000\n";
  Child sim({binary("CORVANE_SIM"), "cmdr", "--any-port", "--count", "12", "--batch", "4"});
  const std::string port = testproc::listeningPort(sim);
  ASSERT_FALSE(port.empty()) << sim.output();
  Child cli({binary("LUMARC_CLI"), "--dir", dir.path(), "collect", "--cmdr", "127.0.0.1:" + port, "--alarms",
             dir.file("rules.toml"), "--metrics", "127.0.0.1:0"},
            dir.file("err.txt"));
  std::smatch m;
  const std::regex served("metrics on http://127\\.0\\.0\\.1:([0-9]+)/metrics");
  std::string err;
  ASSERT_TRUE(waitFor([&] {
    err = readAll(dir.file("err.txt"));
    return std::regex_search(err, m, served) || !cli.running();
  })) << err;
  ASSERT_TRUE(cli.running()) << err;
  const int metricsPort = std::stoi(m[1]);
  ASSERT_TRUE(waitFor([&] { return sim.printed("done"); })) << sim.output();

  // Every record is acknowledged though the mail fails; the alarms arrive
  // within a moment of their records' commit.
  httplib::Client http("127.0.0.1", metricsPort);
  const std::string link = "{kind=\"cmdr\",exchange=\"127.0.0.1:" + port + "\"}";
  std::string metrics;
  ASSERT_TRUE(waitFor(
      [&] {
        auto res = http.Get("/metrics");
        if (!res || res->status != 200) return false;
        metrics = res->body;
        return metrics.find("lumarc_alarms_raised_total{rule=\"toll\"} 2\n") != std::string::npos &&
               metrics.find("lumarc_cmdr_frames_received_total" + link + " 12\n") != std::string::npos;
      },
      20))
      << metrics;
  EXPECT_NE(metrics.find("# HELP lumarc_link_connected "), std::string::npos);
  EXPECT_NE(metrics.find("# TYPE lumarc_cmdr_records_stored_total counter\n"), std::string::npos);
  EXPECT_NE(metrics.find("lumarc_link_connected" + link + " 1\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("lumarc_cmdr_records_refused_total" + link + " 0\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("lumarc_alarms_raised_total{rule=\"long\"} 0\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("lumarc_database_connected 1\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("lumarc_cmdr_last_record_timestamp_seconds" + link + " "), std::string::npos) << metrics;
  const std::regex stored("lumarc_cmdr_records_stored_total\\{[^}]*\\} ([0-9]+)\n");
  ASSERT_TRUE(std::regex_search(metrics, m, stored)) << metrics;
  EXPECT_GE(std::stoi(m[1]), 2);

  cli.signal(SIGTERM);
  EXPECT_EQ(cli.wait(), 0);
  err = readAll(dir.file("err.txt"));
  EXPECT_EQ(countOf(err, "<2>lumarc-cli: alarm critical \"toll\" port "), 2u) << err;
  EXPECT_EQ(countOf(err, "alarm mail failed: " + dir.file("sendmail") + " ended with status 1"), 1u) << err;
  EXPECT_NE(readAll(dir.file("mail.txt")).find("Subject: Lumarc alarm: toll (critical, 1 alarm)"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.file("fcmdr.txt"))) << "no record refused";

  // The alarms are rows of table Alarm, as a reader of it asks for them.
  Child rows({"/usr/bin/sqlite3", dir.file("Lumarc.mdb"),
              "SELECT sqno, adate IS NOT NULL, rule, sever, cport, rkey > 0, atext FROM Alarm ORDER BY sqno DESC"});
  EXPECT_EQ(rows.wait(), 0);
  EXPECT_EQ(rows.output(),
            "2|1|toll|critical|1007|1|call from port 1007 to 02125557 (prefix 0212)\n"
            "1|1|toll|critical|1001|1|call from port 1001 to 02125551 (prefix 0212)\n");
}

TEST(CollectAlarms, ARefusedRuleFileNamesItsLineAndStopsTheStart) {
  TempDir dir("lumarc-alarms");
  std::ofstream(dir.file("rules.toml")) << "[[rule]]\nname = \"toll\"\nkind = \"destination\"\n"
                                           "severity = \"critical\"\nprefixes = [900]\n";
  Child cli({binary("LUMARC_CLI"), "--dir", dir.path(), "collect", "--cmdr", "127.0.0.1:1", "--alarms",
             dir.file("rules.toml"), "--for", "5"},
            dir.file("err.txt"));
  EXPECT_EQ(cli.wait(), 2);
  EXPECT_NE(readAll(dir.file("err.txt"))
                .find(dir.file("rules.toml") + ":5: prefixes must be quoted digit strings (found a number"),
            std::string::npos)
      << readAll(dir.file("err.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("Lumarc.mdb"))) << "nothing opened";
}

}  // namespace
}  // namespace lumarc
