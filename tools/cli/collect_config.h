// The configuration file of lumarc-cli collect --config, the same file the
// lumarc-collect@NAME service reads from /etc/lumarc/NAME.conf:
//
//   # Lines starting with "#" and blank lines are ignored; blanks around
//   # keys and values are dropped. One key=value a line:
//   cmdr=192.168.1.20                 CMDR link address, up to 4 lines
//   voice=192.168.1.20                voice link address, up to 4 lines
//   monitor=192.168.1.20,secret-12AB  monitor link address, up to 2 lines
//   db=DRIVER={PostgreSQL Unicode};SERVER=db;DATABASE=lumarc
//   voice_db=...                      the voice table's database
//   dir=/var/lib/lumarc/site1         the working directory (absolute)
//   alarms=/etc/lumarc/site1-alarms.toml   the alarm rules (absolute)
//   metrics=127.0.0.1:9464            serve /metrics there
//
// db, voice_db, dir, alarms and metrics may be given once each. Addresses take the form of
// the panes' address box. Plain C++.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::cli {

struct CollectConfig {
  std::vector<std::string> cmdr, voice, monitor;
  std::optional<std::string> db, voiceDb, dir, alarms, metrics;
};

// A line that is not understood: its number (from 1) and what is wrong.
struct ConfigProblem {
  unsigned line = 0;
  std::string message;
};

// Parses the file's text into out; returns every problem found (none: the
// file is good, and out holds all of it).
std::vector<ConfigProblem> parseCollectConfig(std::string_view text, CollectConfig& out);

}  // namespace lumarc::cli
