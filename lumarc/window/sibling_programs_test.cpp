// Starting the sibling programs: fake `Halvern` and `Quillet` scripts record
// where they were started from, in which folder and with which arguments.
#include "common/test_support.h"
#include "lumarc/window/sibling_programs.h"
#include "lumarc/browse/ui/ui_test_support.h"

#include <gtest/gtest.h>

#include <QThread>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace lumarc::ui {
namespace {

using corvane::testing::TempDir;

constexpr uint32_t kExchange = 10u << 24 | 79u << 16 | 10;  // 10.79.0.10

// A shell script named name in dir that writes its own path, its working
// folder and its arguments, one per line, to record.
void fakeProgram(const std::string& dir, const std::string& name, const std::string& record) {
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/" + name;
  std::ofstream(path) << "#!/bin/sh\n{ echo \"$0\"; pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"" << record
                      << ".tmp\"\nmv \"" << record << ".tmp\" \"" << record << "\"\n";
  ::chmod(path.c_str(), 0755);
}

// The record's lines once the program has written it (up to 5 s).
std::vector<std::string> recorded(const std::string& record) {
  for (int i = 0; i < 100 && !std::filesystem::exists(record); ++i) QThread::msleep(50);
  std::vector<std::string> lines;
  std::ifstream in(record);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(SiblingPrograms, HalvernGetsTheAccountAndExchangeAsSeparateArguments) {
  testApplication();
  TempDir dir("siblings");
  fakeProgram(dir.file("bin"), "Halvern", dir.file("halvern.txt"));
  SiblingPrograms programs(dir.file("work"), dir.file("bin"));
  std::filesystem::create_directories(dir.file("work"));
  // The password ends at its first zero byte.
  ASSERT_EQ(programs.startHalvern(std::string("0A1B2C3D4E5F\0\0\0\0", 16), kExchange), ProgramStart::Started);
  const std::vector<std::string> lines = recorded(dir.file("halvern.txt"));
  const std::vector<std::string> startedAs = {dir.file("bin/Halvern"), dir.file("work")};
  const std::vector<std::string> arguments = {"-CHalvern", "-UHalvern", "-P0A1B2C3D4E5F", "-I10.79.0.10"};
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2), startedAs);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()), arguments);
}

struct FindCase {
  const char* name;
  bool besideProgram, inWorkDir;
  const char* startedFrom;  // "bin", "work" or nullptr (nothing started)
};

TEST(SiblingPrograms, QuilletIsTakenFromBesideTheProgramBeforeTheWorkingFolderAndMissingStartsNothing) {
  testApplication();
  const FindCase cases[] = {
      {"both", true, true, "bin"},
      {"work only", false, true, "work"},
      {"neither", false, false, nullptr},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir("siblings");
    std::filesystem::create_directories(dir.file("work"));
    std::filesystem::create_directories(dir.file("bin"));
    if (c.besideProgram) fakeProgram(dir.file("bin"), "Quillet", dir.file("quillet.txt"));
    if (c.inWorkDir) fakeProgram(dir.file("work"), "Quillet", dir.file("quillet.txt"));
    // A file that is not executable is no program.
    if (!c.besideProgram) std::ofstream(dir.file("bin/Quillet")) << "not a program\n";
    SiblingPrograms programs(dir.file("work"), dir.file("bin"));
    if (!c.startedFrom) {
      EXPECT_EQ(programs.startQuillet(), ProgramStart::Missing);
      QThread::msleep(200);
      EXPECT_FALSE(std::filesystem::exists(dir.file("quillet.txt")));
      continue;
    }
    ASSERT_EQ(programs.startQuillet(), ProgramStart::Started);
    const std::vector<std::string> expected = {dir.file(std::string(c.startedFrom) + "/Quillet"), dir.file("work")};
    EXPECT_EQ(recorded(dir.file("quillet.txt")), expected);
  }
}

}  // namespace
}  // namespace lumarc::ui
