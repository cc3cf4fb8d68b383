#include "halvern/profiles.h"

#include "common/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace halvern {

namespace {
constexpr std::size_t kFirstField = AccountBlock::kHost;
static_assert(AccountBlock::kSize - kFirstField == kProfileSize);

bool hasAdsExtension(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view ext = name.substr(name.size() - 4);
  return ext[0] == '.' && (ext[1] | 0x20) == 'a' && (ext[2] | 0x20) == 'd' && (ext[3] | 0x20) == 's';
}
}  // namespace

std::vector<ProfileEntry> listProfiles(const std::string& dir) {
  std::vector<ProfileEntry> out;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    if (!hasAdsExtension(file)) continue;
    std::error_code sec;
    if (!it->is_regular_file(sec) || it->file_size(sec) != kProfileSize || sec) continue;
    out.push_back({file.substr(0, file.find('.')), file});
  }
  std::sort(out.begin(), out.end(), [](const ProfileEntry& a, const ProfileEntry& b) {
    return a.name != b.name ? a.name < b.name : a.fileName < b.fileName;
  });
  return out;
}

bool loadProfile(const std::string& path, AccountBlock& account) {
  auto image = corvane::readFileBytes(path);
  if (!image || image->size() != kProfileSize) return false;
  std::memcpy(account.bytes.data() + kFirstField, image->data(), kProfileSize);
  return true;
}

bool saveProfile(const std::string& dir, std::string_view name, const AccountBlock& account) {
  assert(!name.empty());
  std::string image(reinterpret_cast<const char*>(account.bytes.data() + kFirstField), kProfileSize);
  return corvane::writeFileAtomic(corvane::joinPath(dir, std::string(name) + ".ads"), image, 0600);
}

bool deleteProfile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string cleanProfileName(std::string_view typed) {
  std::string out;
  for (char c : typed) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool digit = c >= '0' && c <= '9';
    if ((letter || digit) && out.size() < kProfileNameMax) out += c;
  }
  return out;
}

}  // namespace halvern
