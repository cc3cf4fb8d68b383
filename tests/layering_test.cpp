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

// The layers from the bottom up, each with the layers it stands on. A layer
// may include its own headers and those of every layer below it along these
// edges; a sub-folder belongs to its folder unless it is a layer itself.
// A layer stands only on layers listed before it.
struct Layer {
  std::string folder;
  std::vector<std::string> on;
};

const std::vector<Layer>& layers() {
  static const std::vector<Layer> l = {
      {"common", {}},
      {"lumarc/records", {"common"}},
      {"lumarc/texts", {"lumarc/records"}},
      {"lumarc/decoder", {"lumarc/records"}},
      {"lumarc/links", {"lumarc/decoder", "lumarc/texts"}},
      {"lumarc/store", {"lumarc/texts"}},
      {"lumarc/alarms", {"lumarc/store"}},
      {"lumarc/app", {"lumarc/links", "lumarc/store", "lumarc/alarms"}},
      {"lumarc/discovery", {"lumarc/links"}},
      {"lumarc/browse", {"lumarc/app", "lumarc/discovery"}},
      {"lumarc/browse/ui", {"lumarc/browse"}},
      {"lumarc/window", {"lumarc/browse/ui"}},
      {"lumarc/web", {"lumarc/browse"}},
      {"halvern", {"common"}},
      {"halvern/ui", {"halvern"}},
      {"launcher", {"common"}},
  };
  return l;
}

// Every layer with the layers below it.
const std::map<std::string, std::set<std::string>>& below() {
  static const std::map<std::string, std::set<std::string>> m = [] {
    std::map<std::string, std::set<std::string>> out;
    for (const Layer& layer : layers()) {
      std::set<std::string>& all = out[layer.folder];
      for (const std::string& on : layer.on) {
        all.insert(on);
        const std::set<std::string>& under = out[on];  // empty if listed later: the order test says so
        all.insert(under.begin(), under.end());
      }
    }
    return out;
  }();
  return m;
}

// The layer a path (relative to the source tree) belongs to, or "".
std::string layerOf(const std::string& path) {
  std::string best;
  for (const Layer& layer : layers()) {
    if (path.rfind(layer.folder + "/", 0) == 0 && layer.folder.size() > best.size()) best = layer.folder;
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
      if (!below().at(layer).count(to)) out.push_back({rel, target});
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

TEST(Layering, TheCheckSeesAnUpwardOrSidewaysInclude) {
  // A throwaway tree: the links reaching up to the application and sideways
  // to the store, the softphone reaching into the management program; beside
  // includes that point one or more layers down or into the parent folder.
  const fs::path root = fs::temp_directory_path() / ("layering-" + std::to_string(::getpid()));
  for (const char* d : {"lumarc/links", "lumarc/app", "lumarc/browse/ui", "halvern/ui"})
    fs::create_directories(root / d);
  std::ofstream(root / "lumarc/links/a.cpp") << "#include \"lumarc/app/settings.h\"\n#include \"common/files.h\"\n"
                                             << "#include \"lumarc/store/odbc.h\"\n#include \"lumarc/texts/texts.h\"\n";
  std::ofstream(root / "lumarc/app/b.cpp")
      << "#include \"lumarc/links/link.h\"\n#include \"lumarc/records/records.h\"\n";
  std::ofstream(root / "lumarc/browse/ui/c.cpp") << "#include \"lumarc/browse/views.h\"\n";
  std::ofstream(root / "halvern/ui/d.cpp") << "#include \"halvern/rtp.h\"\n#include \"lumarc/records/records.h\"\n";
  std::vector<Violation> v = violations(root);
  fs::remove_all(root);
  std::set<std::string> report;
  for (const Violation& x : v) report.insert(x.file + " includes " + x.include);
  EXPECT_EQ(report, (std::set<std::string>{"halvern/ui/d.cpp includes lumarc/records/records.h",
                                           "lumarc/links/a.cpp includes lumarc/app/settings.h",
                                           "lumarc/links/a.cpp includes lumarc/store/odbc.h"}));
}

TEST(Layering, EveryLayerStandsOnLayersListedBeforeIt) {
  std::set<std::string> seen;
  for (const Layer& layer : layers()) {
    for (const std::string& on : layer.on) EXPECT_TRUE(seen.count(on)) << layer.folder << " stands on " << on;
    EXPECT_TRUE(seen.insert(layer.folder).second) << layer.folder << " is listed twice";
  }
}

}  // namespace
