// What the database benchmarks share: throwaway folders and a PostgreSQL
// server to measure against (LUMARC_TEST_PG, else one started here with
// scripts/pg-test-server.sh and stopped again at the end).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace bench {

// A new empty folder under /tmp named after the tag.
inline std::string tempDir(const char* tag) {
  std::string t = std::string("/tmp/corvane-bench-") + tag + "-XXXXXX";
  std::vector<char> b(t.begin(), t.end());
  b.push_back(0);
  const char* made = mkdtemp(b.data());
  return made ? made : "";
}

inline void rmrf(const std::string& d) {
  std::error_code ec;
  std::filesystem::remove_all(d, ec);
}

struct PgServer {
  std::string conn, runtime;
  ~PgServer() {
    if (!runtime.empty()) {
      std::system(("scripts/pg-test-server.sh stop '" + runtime + "' >/dev/null 2>&1").c_str());
      rmrf(runtime);
    }
  }
  bool start() {
    if (const char* e = std::getenv("LUMARC_TEST_PG"); e && *e) {
      conn = e;
      return true;
    }
    if (access("scripts/pg-test-server.sh", X_OK) != 0) return false;
    runtime = tempDir("pg");
    FILE* p = popen(("scripts/pg-test-server.sh start '" + runtime + "' 2>/dev/null").c_str(), "r");
    if (!p) return false;
    char line[1024];
    std::string out;
    while (std::fgets(line, sizeof line, p)) out += line;
    if (pclose(p) != 0) return false;
    size_t a = out.find("LUMARC_TEST_PG='");
    if (a == std::string::npos) return false;
    a += 16;
    conn = out.substr(a, out.find('\'', a) - a);
    return true;
  }
};

}  // namespace bench
