// The web front end's accounts: who may log in, with which role, and for a
// user which ports' calls they see. The accounts file holds one account a
// line, "name:role:ports:hash" (ports comma-separated, empty for an admin;
// the hash an Argon2id string of libsodium), and is only ever replaced
// whole (a temporary file renamed over it, mode 0600). The server re-reads
// it when it changes on disk. Plain C++ over libsodium.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::web {

enum class Role { Admin, User };

struct Account {
  std::string name;
  Role role = Role::User;
  std::vector<std::string> ports;  // as given ("101"); a user sees only calls of these
  std::string hash;                // crypto_pwhash_str
};

// A name: 1-64 of letters, digits, '.', '_', '-' and '@'.
bool validAccountName(std::string_view name);
// "101,102" into ports; false when one is empty or not 1-8 of 0-9, A-F.
bool parsePortList(std::string_view text, std::vector<std::string>& ports);
const char* roleName(Role r);
std::optional<Role> roleNamed(std::string_view text);

// Argon2id (19 MiB, 2 passes): the cost a login may take on this machine.
std::string hashPassword(std::string_view password);
// Whether the password matches; a broken hash never matches.
bool verifyPassword(const std::string& hash, std::string_view password);

struct AccountProblem {
  unsigned line = 0;
  std::string message;
};
// The file's text into accounts; every line not understood is a problem.
std::vector<AccountProblem> parseAccounts(std::string_view text, std::vector<Account>& accounts);
std::string formatAccounts(const std::vector<Account>& accounts);

// The accounts file, read again whenever its size, time or inode changed.
class AccountFile {
 public:
  explicit AccountFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // The account of that name as the file holds it now (read again when it
  // changed; a file that cannot be read or parsed keeps no accounts).
  std::optional<Account> find(const std::string& name);
  // Loads the file: false with the problems (or why it cannot be read).
  // A missing file is empty.
  bool load(std::vector<Account>& accounts, std::string& error) const;
  // Replaces the file with these accounts (temporary file, rename, 0600).
  bool save(const std::vector<Account>& accounts, std::string& error) const;

 private:
  void refresh();
  std::string path_;
  std::mutex mutex_;
  struct Stamp {
    bool exists = false;
    uint64_t size = 0, inode = 0;
    int64_t mtimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  std::optional<Stamp> stamp_;
  std::vector<Account> accounts_;
};

}  // namespace lumarc::web
