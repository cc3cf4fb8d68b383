// Small file helpers shared by both programs.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace corvane {

// Closes a stdio file; the deleter of FilePtr.
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// A stdio file that is closed when its owner goes. Where the outcome of the
// close matters, release() it and fclose() it by hand.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Reads a whole file as bytes; nothing when it cannot be read.
std::optional<std::string> readFileBytes(const std::string& path);

// Replaces path with data atomically: "<path>.tmp" in the same directory is
// written, flushed and fsync'ed, then renamed over the target. The file gets
// the given mode. Returns false (and leaves the target untouched) on failure.
bool writeFileAtomic(const std::string& path, const std::string& data, unsigned mode = 0600);

// Creates a directory; an existing directory is no error.
bool ensureDirectory(const std::string& path);

// Current working directory without a trailing "/".
std::string currentDirectory();

// a + "/" + b, without doubling a trailing separator.
std::string joinPath(const std::string& a, const std::string& b);

}  // namespace corvane
