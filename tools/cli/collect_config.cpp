#include "tools/cli/collect_config.h"

#include "lumarc/links/link.h"
#include "lumarc/links/target.h"

#include <map>

namespace lumarc::cli {

namespace {

std::string_view trimmed(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

}  // namespace

std::vector<ConfigProblem> parseCollectConfig(std::string_view text, CollectConfig& out) {
  std::vector<ConfigProblem> problems;
  std::map<std::string, unsigned> seenOnce;
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
    // An address key (repeatable up to its kind's links) or a key given once.
    std::vector<std::string>* addresses = nullptr;
    LinkKind kind = LinkKind::Cmdr;
    std::optional<std::string>* single = nullptr;
    if (key == "cmdr") {
      addresses = &out.cmdr;
    } else if (key == "voice") {
      addresses = &out.voice;
      kind = LinkKind::Voice;
    } else if (key == "monitor") {
      addresses = &out.monitor;
      kind = LinkKind::Monitor;
    } else if (key == "db") {
      single = &out.db;
    } else if (key == "voice_db") {
      single = &out.voiceDb;
    } else if (key == "dir") {
      single = &out.dir;
    } else if (key == "alarms") {
      single = &out.alarms;
    } else if (key == "metrics") {
      single = &out.metrics;
    } else {
      problem("unknown key \"" + key + "\" (cmdr, voice, monitor, db, voice_db, dir, alarms, metrics)");
      continue;
    }
    if (value.empty()) {
      problem(key + "= needs a value");
      continue;
    }
    if (addresses) {
      if (parseAddressText(value).hostText().empty()) {
        problem("\"" + value + "\" names no usable host");
      } else if (int(addresses->size()) >= slotCount(kind)) {
        problem("more than " + std::to_string(slotCount(kind)) + " " + key + " links");
      } else {
        addresses->push_back(value);
      }
      continue;
    }
    auto [it, first] = seenOnce.emplace(key, lineNo);
    if (!first) {
      problem(key + "= given twice (first on line " + std::to_string(it->second) + ")");
      continue;
    }
    if ((key == "dir" || key == "alarms") && value[0] != '/') {
      problem(key + "= needs an absolute path");
      continue;
    }
    *single = value;
  }
  return problems;
}

}  // namespace lumarc::cli
