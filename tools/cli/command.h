// lumarc-cli sub-commands register themselves here; each lives in its own
// file in this folder and declares its options and arguments through the
// argument parser (tools/common/arguments.h).
#pragma once

#include "tools/common/arguments.h"

#include <functional>
#include <string>

namespace lumarc::cli {

struct Options {
  std::string workDir;        // --dir, default: current directory
  std::string db;             // --db or LUMARC_DB; empty: embedded default
  std::string voiceDb;        // LUMARC_VOICE_DB; empty: same server as db, or embedded default
  bool workDirGiven = false;  // --dir was given (a configuration file does not override it)
  bool dbGiven = false;       // --db was given
};

// Runs a command once the command line is parsed; returns the exit status.
using Runner = std::function<int(const Options&)>;

struct Command {
  const char* name;
  const char* summary;  // one line: what it does
  // Declares the command's options and arguments on its parser, binding
  // them to state that the returned runner reads. The parser lives as long
  // as the runner: a runner may report usage errors against it.
  std::function<Runner(CLI::App& parser)> define;
};

// Registers a command at static-initialisation time.
struct Register {
  explicit Register(Command c);
};

}  // namespace lumarc::cli
