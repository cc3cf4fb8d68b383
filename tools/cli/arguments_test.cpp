// The command lines of lumarc-cli and corvane-sim, run as programs: help on
// standard output with status 0, usage errors on standard error with status
// 2 and nothing on standard output, and the global options before the
// command name in both of their forms.
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using corvane::testing::readAll;

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* cli = std::getenv("LUMARC_CLI");
    const char* sim = std::getenv("CORVANE_SIM");
    if (!cli || !sim) GTEST_SKIP() << "LUMARC_CLI or CORVANE_SIM not set";
    cli_ = cli, sim_ = sim;
  }
  Outcome run(const std::string& program, const std::vector<std::string>& args) {
    std::string cmd =
        "cd " + shellQuote(dir_.path()) + " && env -u LUMARC_DB -u LUMARC_VOICE_DB " + shellQuote(program);
    for (const std::string& a : args) cmd += " " + shellQuote(a);
    cmd += " >out.txt 2>err.txt </dev/null";
    Outcome r;
    const int st = std::system(cmd.c_str());
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = readAll(dir_.path() + "/out.txt");
    r.err = readAll(dir_.path() + "/err.txt");
    return r;
  }
  // The first words of the lines after "HEADING:" up to the next blank line.
  static std::vector<std::string> listed(const std::string& help, const std::string& heading) {
    std::vector<std::string> names;
    std::istringstream in(help.substr(help.find("\n" + heading + ":\n") + heading.size() + 3));
    for (std::string line; std::getline(in, line) && !line.empty();)
      names.push_back(line.substr(2, line.find(' ', 2) - 2));
    return names;
  }
  corvane::testing::TempDir dir_{"lumarc-args"};
  std::string cli_, sim_;
};

TEST_F(CommandLine, EveryCommandAndRoleHasHelpThatStartsWithItsUsage) {
  const Outcome top = run(cli_, {"--help"});
  ASSERT_EQ(top.status, 0) << top.err;
  EXPECT_EQ(top.out.rfind("usage: lumarc-cli [--dir WORKDIR] [--db CONNECTION] COMMAND [ARGS...]\n", 0), 0u) << top.out;
  const std::vector<std::string> commands = listed(top.out, "commands");
  EXPECT_EQ(commands.size(), 14u) << top.out;
  for (const std::string& c : commands) {
    const Outcome r = run(cli_, {c, "--help"});
    EXPECT_EQ(r.status, 0) << c;
    EXPECT_EQ(r.out.rfind("usage: lumarc-cli [--dir WORKDIR] [--db CONNECTION] " + c, 0), 0u) << r.out;
  }
  const Outcome sim = run(sim_, {"-h"});
  ASSERT_EQ(sim.status, 0) << sim.err;
  const std::vector<std::string> roles = listed(sim.out, "roles");
  EXPECT_EQ(roles.size(), 6u) << sim.out;
  for (const std::string& role : roles) {
    const Outcome r = run(sim_, {role, "--help"});
    EXPECT_EQ(r.status, 0) << role;
    EXPECT_EQ(r.out.rfind("usage: corvane-sim [--listen ADDRESS] [--port PORT] " + role, 0), 0u) << r.out;
  }
}

TEST_F(CommandLine, UsageErrorsSayWhatIsWrongAndEndWithStatus2) {
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const Case cli[] = {
      {{}, "no command given"},
      {{"fax"}, "unknown command fax"},
      {{"--colour", "settings"}, "--colour"},
      {{"settings", "extra"}, "extra"},
      {{"db", "drop"}, "drop"},
      {{"collect"}, "usage: lumarc-cli [--dir WORKDIR] [--db CONNECTION] collect [--config FILE]"},
      {{"collect", "--cmdr", "127.0.0.1:1", "--pcap", "x.pcapng"}, "--pcap needs a --monitor link"},
      {{"monitor", "127.0.0.1:1", "--for", "soon"}, "--for"},
      {{"monitor"}, "ADDRESS"},
      {{"decode", "--pcap"}, "--pcap"},
  };
  for (const Case& c : cli) {
    const Outcome r = run(cli_, c.args);
    EXPECT_EQ(r.status, 2) << c.err;
    EXPECT_EQ(r.out, "") << c.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  const Case sim[] = {
      {{"fax"}, "unknown role fax"},
      {{"rtp"}, "one of --echo, --play FILE, --bridge"},
      {{"rtp", "--echo", "--loss", "x"}, "--loss"},
      {{"keyset", "--rtp", "loud"}, "--rtp"},
      {{"--port", "high", "cmdr"}, "--port"},
  };
  for (const Case& c : sim) {
    const Outcome r = run(sim_, c.args);
    EXPECT_EQ(r.status, 2) << c.err;
    EXPECT_EQ(r.out, "") << c.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

TEST_F(CommandLine, TheWorkingDirectoryIsGivenInEitherForm) {
  for (const std::vector<std::string>& dir : {std::vector<std::string>{"--dir", "a"}, {"--dir=b"}}) {
    std::vector<std::string> args = dir;
    args.insert(args.end(), {"db", "init"});
    const std::string folder = dir.size() == 2 ? "a" : "b";
    ASSERT_TRUE(std::filesystem::create_directory(dir_.path() + "/" + folder));
    const Outcome r = run(cli_, args);
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st {};
    EXPECT_EQ(::stat((dir_.path() + "/" + folder + "/Lumarc.mdb").c_str(), &st), 0) << r.out;
  }
}

}  // namespace
