// Small file helpers shared by both programs.
#pragma once

#include <optional>
#include <string>

namespace corvane {

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
