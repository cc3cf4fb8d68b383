#include "launcher/launch.h"

#include "common/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace corvane::setup {
namespace {

namespace fs = std::filesystem;

struct Sandbox {
  Sandbox() {
    fs::create_directories(root + "/bin");
    fs::create_directories(root + "/work");
  }
  // A fake program that records its arguments, one per line, then lingers.
  void fake(const std::string& name, int lingerSeconds = 0) {
    std::string p = root + "/bin/" + name;
    std::ofstream(p) << "#!/bin/sh\nexec </dev/null 2>/dev/null\nfor a in \"$@\"; do echo \"$a\"; done > " << root
                     << "/" << name << ".args\nexec >/dev/null\n/bin/sleep " << lingerSeconds << "\n";
    fs::permissions(p, fs::perms::owner_all);
  }
  std::string read(const std::string& name) { return corvane::testing::readAll(root + "/" + name); }
  // Runs the launcher with PATH set to the sandbox only.
  int run(std::string* err, const std::string& display = "") {
    std::string cmd = "cd '" + root + "/work' && env -i PATH='" + root + "/bin' " +
                      (display.empty() ? "" : "DISPLAY=" + display + " ") + "'" + std::getenv("CORVANE_SETUP") +
                      "' 2>'" + root + "/stderr'";
    int status = std::system(cmd.c_str());
    *err = read("stderr");
    return WEXITSTATUS(status);
  }
  corvane::testing::TempDir dir{"corvane-setup"};
  std::string root = dir.path();
};

bool waitForFile(const std::string& path) {
  for (int i = 0; i < 200; ++i) {
    if (fs::exists(path) && fs::file_size(path) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

TEST(SetupLauncher, StartsJavaSetupThroughPkexecWithTheSessionVariables) {
  Sandbox sb;
  sb.fake("java");
  sb.fake("pkexec");
  std::string err;
  EXPECT_EQ(sb.run(&err, ":7"), 0);
  EXPECT_EQ(err, "");
  ASSERT_TRUE(waitForFile(sb.root + "/pkexec.args"));
  std::string args = sb.read("pkexec.args");
  EXPECT_EQ(args, "env\nDISPLAY=:7\n" + sb.root + "/bin/java\n-jar\n" + sb.root + "/work/Setup.jar\n");
}

TEST(SetupLauncher, NeverWaitsForTheSetup) {
  Sandbox sb;
  sb.fake("java");
  sb.fake("pkexec", 30);  // a setup that runs for half a minute
  std::string err;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(sb.run(&err), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
}

TEST(SetupLauncher, MissingJavaOrPkexecAsksForJava) {
  for (const char* present : {"pkexec", "java"}) {
    Sandbox sb;
    sb.fake(present);
    std::string err;
    EXPECT_EQ(sb.run(&err), 0) << present;
    EXPECT_EQ(err, "Please install Java runtime!\n") << present;
    EXPECT_FALSE(fs::exists(sb.root + "/pkexec.args"));
  }
}

TEST(SetupLauncher, SearchPathLookup) {
  Sandbox sb;
  sb.fake("java");
  EXPECT_EQ(findOnPath("java", "/nonexistent:" + sb.root + "/bin"), sb.root + "/bin/java");
  EXPECT_FALSE(findOnPath("java", "/nonexistent"));
  EXPECT_FALSE(findOnPath("bin", sb.root));  // a directory is no program
  auto cmd = setupCommand("/p", "/j", "/w/Setup.jar", {{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", ""}});
  EXPECT_EQ(cmd, (std::vector<std::string>{"/p", "env", "DISPLAY=:0", "/j", "-jar", "/w/Setup.jar"}));
}

}  // namespace
}  // namespace corvane::setup
