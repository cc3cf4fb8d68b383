#include "lumarc/web/accounts.h"

#include "common/files.h"

#include <sodium.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace lumarc::web {

namespace {

// At most two hashes at once: each takes its memory cost.
std::mutex& hashSlots() {
  static std::mutex m;
  return m;
}

constexpr unsigned long long kOps = 2;
constexpr size_t kMemory = 19u * 1024 * 1024;

bool sodiumReady() {
  static const bool ok = sodium_init() >= 0;
  return ok;
}

std::string_view trimmed(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

}  // namespace

bool validAccountName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-' || c == '@';
    if (!ok) return false;
  }
  return true;
}

bool parsePortList(std::string_view text, std::vector<std::string>& ports) {
  ports.clear();
  if (text.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string_view p = trimmed(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
    if (p.empty() || p.size() > 8) return false;
    for (char c : p)
      if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    ports.emplace_back(p);
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

const char* roleName(Role r) { return r == Role::Admin ? "admin" : "user"; }

std::optional<Role> roleNamed(std::string_view text) {
  if (text == "admin") return Role::Admin;
  if (text == "user") return Role::User;
  return std::nullopt;
}

std::string hashPassword(std::string_view password) {
  if (!sodiumReady()) return {};
  char out[crypto_pwhash_STRBYTES];
  std::lock_guard lock(hashSlots());
  if (crypto_pwhash_str_alg(out, password.data(), password.size(), kOps, kMemory, crypto_pwhash_ALG_ARGON2ID13) != 0)
    return {};
  return out;
}

bool verifyPassword(const std::string& hash, std::string_view password) {
  if (!sodiumReady() || hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
  std::lock_guard lock(hashSlots());
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::vector<AccountProblem> parseAccounts(std::string_view text, std::vector<Account>& accounts) {
  std::vector<AccountProblem> problems;
  unsigned lineNo = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = trimmed(text.substr(start, end - start));
    start = end + 1;
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    auto problem = [&](std::string m) { problems.push_back({lineNo, std::move(m)}); };
    std::vector<std::string_view> f;
    size_t from = 0;
    for (int i = 0; i < 3; ++i) {
      const size_t colon = line.find(':', from);
      if (colon == std::string_view::npos) break;
      f.push_back(line.substr(from, colon - from));
      from = colon + 1;
    }
    if (f.size() != 3) {
      problem("expected NAME:ROLE:PORTS:HASH");
      continue;
    }
    Account a;
    a.name = std::string(f[0]);
    a.hash = std::string(line.substr(from));
    const std::optional<Role> role = roleNamed(f[1]);
    if (!validAccountName(a.name)) {
      problem("bad account name \"" + a.name + "\"");
    } else if (!role) {
      problem("unknown role \"" + std::string(f[1]) + "\" (admin, user)");
    } else if (!parsePortList(f[2], a.ports)) {
      problem("bad port list \"" + std::string(f[2]) + "\"");
    } else if (a.hash.rfind("$argon2id$", 0) != 0) {
      problem("the password hash is not an Argon2id hash");
    } else {
      a.role = *role;
      accounts.push_back(std::move(a));
    }
  }
  return problems;
}

std::string formatAccounts(const std::vector<Account>& accounts) {
  std::string out = "# lumarc-cli web-user: NAME:ROLE:PORTS:ARGON2ID-HASH\n";
  for (const Account& a : accounts) {
    std::string ports;
    for (const std::string& p : a.ports) ports += (ports.empty() ? "" : ",") + p;
    out += a.name + ":" + roleName(a.role) + ":" + ports + ":" + a.hash + "\n";
  }
  return out;
}

bool AccountFile::load(std::vector<Account>& accounts, std::string& error) const {
  accounts.clear();
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT) return true;
  const std::optional<std::string> text = corvane::readFileBytes(path_);
  if (!text) {
    error = "cannot read " + path_;
    return false;
  }
  const std::vector<AccountProblem> problems = parseAccounts(*text, accounts);
  for (const AccountProblem& p : problems)
    error += (error.empty() ? "" : "\n") + path_ + ":" + std::to_string(p.line) + ": " + p.message;
  return problems.empty();
}

bool AccountFile::save(const std::vector<Account>& accounts, std::string& error) const {
  if (corvane::writeFileAtomic(path_, formatAccounts(accounts), 0600)) return true;
  error = "cannot write " + path_ + " (" + std::strerror(errno) + ")";
  return false;
}

void AccountFile::refresh() {
  Stamp now;
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    now.exists = true;
    now.size = uint64_t(st.st_size);
    now.inode = uint64_t(st.st_ino);
    now.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  }
  if (stamp_ && *stamp_ == now) return;
  stamp_ = now;
  std::string error;
  if (!load(accounts_, error)) accounts_.clear();  // a broken file lets nobody in
}

std::optional<Account> AccountFile::find(const std::string& name) {
  std::lock_guard lock(mutex_);
  refresh();
  for (const Account& a : accounts_)
    if (a.name == name) return a;
  return std::nullopt;
}

}  // namespace lumarc::web
