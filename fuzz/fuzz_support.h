// What the link fuzz targets share: a scratch folder for the links' files and
// a reader that takes the fuzzer's bytes one decision at a time.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace fuzzing {

// A scratch folder for one target, on a memory file system where there is one.
inline std::string scratchFolder(const char* target) {
  std::string d = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
  d += std::string("/corvane-fuzz-") + target + "." + std::to_string(::getpid());
  std::filesystem::create_directories(d);
  return d;
}

// Empties the folder every `every` calls, so log files do not pile up.
inline void emptyNowAndThen(const std::string& dir, unsigned every) {
  static unsigned runs = 0;
  if (++runs % every != 0) return;
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(dir, ec)) std::filesystem::remove_all(e.path(), ec);
}

// The fuzzer's input, read front to back; past its end every read gives 0.
struct Reader {
  const uint8_t* p;
  size_t n;
  bool empty() const { return n == 0; }
  uint8_t byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  uint32_t word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(byte()) << (8 * i);
    return v;
  }
  std::string take(size_t k) {
    if (k > n) k = n;
    std::string v(reinterpret_cast<const char*>(p), k);
    p += k;
    n -= k;
    return v;
  }
};

}  // namespace fuzzing
