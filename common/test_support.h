// Test support shared by every test program: a fresh folder that is removed
// at the end, and whole files read and written as bytes. No Qt here; the
// window tests add their application object in lumarc/browse/ui.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

namespace corvane::testing {

// The folder a test's own folders go under: the test run's folder
// ($CORVANE_TEST_RUNTIME) when there is one, else the system's temporary
// folder ($TMPDIR or /tmp).
inline std::string testFolderBase() {
  const char* base = std::getenv("CORVANE_TEST_RUNTIME");
  if (base && *base) return base;
  std::error_code ec;
  std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
  return ec ? std::string("/tmp") : tmp.string();
}

// Makes a fresh folder "<stem>-XXXXXX" under testFolderBase() with the
// given permissions. Returns its path, or an empty text when it cannot be
// made. The caller removes it.
inline std::string makeTempDir(std::string_view stem = "corvane-test", mode_t mode = 0700) {
  std::string tmpl = testFolderBase() + "/" + std::string(stem) + "-XXXXXX";
  if (!::mkdtemp(tmpl.data())) return {};
  if (mode != 0700) ::chmod(tmpl.c_str(), mode);
  return tmpl;
}

// A fresh folder (see makeTempDir), removed with everything in it at the end.
class TempDir {
 public:
  explicit TempDir(std::string_view stem = "corvane-test", mode_t mode = 0700) : path_(makeTempDir(stem, mode)) {}
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path; empty when it could not be made.
  const std::string& path() const { return path_; }
  // The path of an entry of the folder.
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// The bytes of a file; empty when it cannot be read.
inline std::string readAll(const std::string& path) {
  std::string s;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
  }
  return s;
}

// Writes bytes as the whole of a file. False when it cannot be written.
inline bool writeAll(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

// The names in a folder (not "." and ".."); empty when it cannot be read.
inline std::set<std::string> filesIn(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.insert(it->path().filename().string());
  return names;
}

}  // namespace corvane::testing
