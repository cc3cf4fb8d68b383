// Account profiles: files "<name>.ads" in the working directory, each
// exactly 128 bytes: exchange host (64), account id (24), authentication id
// (24) and password (16), laid out as in the account block. Files of any
// other size are neither listed nor loaded.
#pragma once

#include "halvern/account.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvern {

constexpr std::size_t kProfileSize = 128;
constexpr std::size_t kProfileNameMax = 16;

struct ProfileEntry {
  std::string name;      // the file name cut at its first "."
  std::string fileName;  // the exact name on disk
};

// The profiles in dir (extension "ads" in either case, exactly 128 bytes),
// ordered by name.
std::vector<ProfileEntry> listProfiles(const std::string& dir);

// Reads a profile into the account fields of account (the block's first
// 8 reserved bytes stay). False, account unchanged, when the file cannot be
// read or is not exactly 128 bytes.
bool loadProfile(const std::string& path, AccountBlock& account);

// Writes "<name>.ads" in dir atomically with mode 0600. name must not be
// empty.
bool saveProfile(const std::string& dir, std::string_view name, const AccountBlock& account);

// Removes a profile file; false when it could not be removed.
bool deleteProfile(const std::string& path);

// A typed profile name with everything but ASCII letters and digits taken
// out, cut to 16 characters.
std::string cleanProfileName(std::string_view typed);

}  // namespace halvern
