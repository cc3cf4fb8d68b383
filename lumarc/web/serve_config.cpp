#include "lumarc/web/serve_config.h"

#include "common/http/listen_address.h"

#include <map>

namespace lumarc::web {

namespace {

std::string_view trimmed(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

}  // namespace

std::vector<ServeConfigProblem> parseServeConfig(std::string_view text, ServeConfig& out) {
  std::vector<ServeConfigProblem> problems;
  const std::map<std::string, std::optional<std::string>*> keys = {
      {"listen", &out.listen},    {"db", &out.db},         {"dir", &out.dir}, {"accounts", &out.accounts},
      {"tls_cert", &out.tlsCert}, {"tls_key", &out.tlsKey}};
  std::map<std::string, unsigned> seen;
  unsigned lineNo = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = trimmed(text.substr(start, end - start));
    start = end + 1;
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    auto problem = [&](std::string message) { problems.push_back({lineNo, std::move(message)}); };
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      problem("expected KEY=VALUE, found \"" + std::string(line) + "\"");
      continue;
    }
    const std::string key(trimmed(line.substr(0, eq)));
    const std::string value(trimmed(line.substr(eq + 1)));
    auto it = keys.find(key);
    if (it == keys.end()) {
      problem("unknown key \"" + key + "\" (listen, db, dir, accounts, tls_cert, tls_key)");
      continue;
    }
    if (value.empty()) {
      problem(key + "= needs a value");
      continue;
    }
    auto [at, first] = seen.emplace(key, lineNo);
    if (!first) {
      problem(key + "= given twice (first on line " + std::to_string(at->second) + ")");
      continue;
    }
    if ((key == "dir" || key == "accounts" || key == "tls_cert" || key == "tls_key") && value[0] != '/') {
      problem(key + "= needs an absolute path");
      continue;
    }
    std::string host;
    int port = 0;
    if (key == "listen" && !corvane::http::splitListenAddress(value, host, port)) {
      problem("listen= needs ADDRESS:PORT, found \"" + value + "\"");
      continue;
    }
    *it->second = value;
  }
  return problems;
}

}  // namespace lumarc::web
