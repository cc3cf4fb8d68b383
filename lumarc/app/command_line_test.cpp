#include "lumarc/app/command_line.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace lumarc {
namespace {

namespace fs = std::filesystem;

TEST(CommandLine, EmptyLineAsksForTheImport) {
  EXPECT_EQ(parseCommandLine("").action, CommandLine::Action::ImportOldDatabase);
  const char* argv[] = {"lumarc"};
  EXPECT_EQ(joinArguments(1, argv), "");
}

TEST(CommandLine, LinkItemsOpenCmdrAndVoiceLinks) {
  // clang-format off
  struct Case { const char* text; std::vector<std::tuple<LinkKind, std::string, int>> links; };
  // clang-format on
  const Case cases[] = {
      {"-C192.168.1.10:5000-V192.168.1.10",
       {{LinkKind::Cmdr, "192.168.1.10", 5000}, {LinkKind::Voice, "192.168.1.10", 9874}}},
      {"-c10.0.0.1 -v10.0.0.2:77", {{LinkKind::Cmdr, "10.0.0.1", 9876}, {LinkKind::Voice, "10.0.0.2", 77}}},
      // clang-format off
      {"-C12:5", {}},                      // colon at index 2: host "12:5" is no host
      {"-C10.0.0.1:0", {}},                // port 0 opens nothing
      {"-C10.0.0.1:70000", {}},            // port beyond 16 bits opens nothing
      {"-M10.0.0.1 -C1 -X", {}},           // other letters and short items are skipped
      // clang-format on
      {"-C 10.0.0.9\" ", {{LinkKind::Cmdr, "10.0.0.9", 9876}}},
      {"-C \"10.0.0.9\"", {}},  // only a trailing quote is dropped
  };
  for (const auto& c : cases) {
    CommandLine cl = parseCommandLine(c.text);
    EXPECT_EQ(cl.action, CommandLine::Action::Links) << c.text;
    ASSERT_EQ(cl.links.size(), c.links.size()) << c.text;
    for (size_t i = 0; i < c.links.size(); ++i) {
      EXPECT_EQ(cl.links[i].kind, std::get<0>(c.links[i])) << c.text;
      EXPECT_EQ(cl.links[i].target.hostText(), std::get<1>(c.links[i])) << c.text;
      EXPECT_EQ(cl.links[i].target.port(), std::get<2>(c.links[i])) << c.text;
    }
  }
}

TEST(CommandLine, InstallationCallReadsTargetFlagsAndParameterFile) {
  CommandLine cl = parseCommandLine("-D12345678 -Lumarc -Halvern -P /opt/sys params.bin  -x");
  EXPECT_EQ(cl.action, CommandLine::Action::Installation);
  ASSERT_TRUE(cl.hasWizardTarget);
  EXPECT_EQ(cl.wizardTarget, "12345678");
  EXPECT_TRUE(cl.flagLumarc);
  EXPECT_TRUE(cl.flagHalvern);
  EXPECT_FALSE(cl.flagQuillet);
  EXPECT_EQ(cl.parameterFile, " /opt/sys params.bin");

  CommandLine q = parseCommandLine("-dABCDEFGH -Quillet -p\"x.sys\"");
  EXPECT_TRUE(q.hasWizardTarget);
  EXPECT_TRUE(q.flagQuillet);
  EXPECT_EQ(q.parameterFile, "");
}

TEST(CommandLine, ShortInstallationCallOpensTheBrowserWithoutShortcuts) {
  CommandLine cl = parseCommandLine("-Dabc -Lumarc");
  EXPECT_EQ(cl.action, CommandLine::Action::Installation);
  EXPECT_FALSE(cl.hasWizardTarget);
  EXPECT_FALSE(cl.flagLumarc);
  auto r = createDesktopShortcuts(cl, "/tmp", "/tmp");
  EXPECT_TRUE(r.written.empty());
}

TEST(CommandLine, LongParameterFileIsCut) {
  std::string text = "-D12345678 -P" + std::string(400, 'a');
  EXPECT_EQ(parseCommandLine(text).parameterFile.size(), 259u);
}

TEST(Shortcuts, DesktopEntriesStartTheProgramsInTheWorkingDirectory) {
  corvane::testing::TempDir tmp("lumarc-desk");
  const std::string& dir = tmp.path();
  CommandLine cl = parseCommandLine("-D12345678 -Lumarc -Quillet");
  std::ofstream(dir + "/BRENNIC Lumarc.desktop") << "old";
  auto r = createDesktopShortcuts(cl, "/srv/pbx tools", dir);
  ASSERT_EQ(r.written.size(), 2u);
  std::string body = corvane::testing::readAll(dir + "/BRENNIC Lumarc.desktop");
  EXPECT_NE(body.find("Name=BRENNIC Lumarc\n"), std::string::npos);
  EXPECT_NE(body.find("Exec=\"/srv/pbx tools/lumarc\"\n"), std::string::npos);
  EXPECT_NE(body.find("Path=/srv/pbx tools\n"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat((dir + "/BRENNIC Quillet.desktop").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  EXPECT_FALSE(fs::exists(dir + "/BRENNIC Halvern.desktop"));
}

}  // namespace
}  // namespace lumarc
