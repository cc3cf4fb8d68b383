// Every include points down: a folder's code uses only its own headers and
// those of the folders below it. Tests may reach further (they check what
// the program shows, in its words), so test files are not held to it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What each folder may include, besides itself. Sub-folders belong to the
// longest folder named here that holds them.
const std::map<std::string, std::set<std::string>>& allowed() {
  static const std::map<std::string, std::set<std::string>> m = {
      {"lumarc/records", {}},
      {"common", {"lumarc/records"}},
      {"lumarc/decoder", {"common", "lumarc/records"}},
      {"lumarc/links", {"lumarc/decoder", "common", "lumarc/records"}},
      {"lumarc/store", {"common", "lumarc/records"}},
      {"lumarc/app", {"lumarc/links", "lumarc/store", "lumarc/decoder", "common", "lumarc/records"}},
      // The window sits on top of everything of the management program.
      {"lumarc/app/ui",
       {"lumarc/browse/ui", "lumarc/browse", "lumarc/discovery", "lumarc/app", "lumarc/links", "lumarc/store", "lumarc/decoder",
        "common", "lumarc/records"}},
      {"lumarc/discovery", {"lumarc/links", "common", "lumarc/records"}},
      {"lumarc/browse",
       {"lumarc/app", "lumarc/links", "lumarc/store", "lumarc/decoder", "common", "lumarc/records",
        "lumarc/discovery"}},
      // The browser views' widgets, under the window that holds them.
      {"lumarc/browse/ui",
       {"lumarc/browse", "lumarc/app", "lumarc/links", "lumarc/store", "lumarc/decoder", "common",
        "lumarc/records", "lumarc/discovery"}},
      {"halvern", {"common"}},
      // The softphone's core thread, window and program.
      {"halvern/ui", {"halvern", "common"}},
      {"launcher", {"common"}},
  };
  return m;
}

// The folder a path (relative to the source tree) belongs to, or "".
std::string layerOf(const std::string& path) {
  std::string best;
  for (const auto& [folder, deps] : allowed()) {
    (void)deps;
    if (path.rfind(folder + "/", 0) == 0 && folder.size() > best.size()) best = folder;
  }
  return best;
}

bool isTestFile(const std::string& name) {
  return name.find("_test.") != std::string::npos || name.find("test_support") != std::string::npos;
}

struct Violation {
  std::string file, include;
};

std::vector<Violation> violations(const fs::path& root) {
  std::vector<Violation> out;
  const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    const std::string ext = e.path().extension().string();
    if (ext != ".h" && ext != ".cpp") continue;
    const std::string rel = fs::relative(e.path(), root).string();
    if (rel.rfind("build/", 0) == 0 || isTestFile(e.path().filename().string())) continue;
    const std::string layer = layerOf(rel);
    if (layer.empty()) continue;  // tools, bench, fuzz, tests: front ends over everything
    std::ifstream in(e.path());
    std::string line;
    while (std::getline(in, line)) {
      std::smatch m;
      if (!std::regex_search(line, m, include)) continue;
      const std::string target = m[1].str();
      const std::string to = layerOf(target);
      if (to.empty() || to == layer) continue;
      // A sub-folder may use its parent folder (lumarc/app/ui uses lumarc/app).
      if (layer.rfind(to + "/", 0) == 0) continue;
      if (!allowed().at(layer).count(to)) out.push_back({rel, target});
    }
  }
  return out;
}

TEST(Layering, NoFileIncludesAHeaderOfAFolderAboveIt) {
  const fs::path root = CORVANE_SOURCE_DIR;
  ASSERT_TRUE(fs::exists(root / "lumarc"));
  std::string report;
  for (const Violation& v : violations(root)) report += v.file + " includes " + v.include + "\n";
  EXPECT_EQ(report, "");
}

TEST(Layering, TheCheckSeesAnUpwardInclude) {
  // A throwaway tree with one upward include and one allowed one.
  const fs::path root = fs::temp_directory_path() / ("layering-" + std::to_string(::getpid()));
  fs::create_directories(root / "lumarc/links");
  fs::create_directories(root / "lumarc/app");
  std::ofstream(root / "lumarc/links/a.cpp") << "#include \"lumarc/app/texts.h\"\n#include \"common/files.h\"\n";
  std::ofstream(root / "lumarc/app/b.cpp") << "#include \"lumarc/links/link.h\"\n";
  std::vector<Violation> v = violations(root);
  fs::remove_all(root);
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].file, "lumarc/links/a.cpp");
  EXPECT_EQ(v[0].include, "lumarc/app/texts.h");
}

}  // namespace
