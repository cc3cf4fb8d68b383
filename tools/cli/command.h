// lumarc-cli sub-commands register themselves here; each lives in its own
// file in this folder.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lumarc::cli {

struct Options {
  std::string workDir;                 // --dir, default: current directory
  std::string db;                      // --db or LUMARC_DB; empty: embedded default
  std::string voiceDb;                 // LUMARC_VOICE_DB; empty: same server as db, or embedded default
  bool workDirGiven = false;           // --dir was given (a configuration file does not override it)
  bool dbGiven = false;                // --db was given
  std::vector<std::string> args;       // what follows the command name
};

struct Command {
  const char* name;
  const char* usage;    // one line: arguments
  const char* summary;  // one line: what it does
  std::function<int(const Options&)> run;
};

// Registers a command at static-initialisation time.
struct Register {
  explicit Register(Command c);
};

const std::vector<Command>& commands();

}  // namespace lumarc::cli
