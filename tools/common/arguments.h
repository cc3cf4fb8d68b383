// The argument parser of lumarc-cli and corvane-sim: CLI11, with the tools'
// own help layout and usage errors. Help starts with one usage line built
// from the declared options ("usage: lumarc-cli [--dir WORKDIR] ... monitor
// ADDRESS [--for SECONDS]..."), then the description, then the options;
// the man pages and the bash completion are built from that text.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace corvane::tools {

// The usage line of app without "usage: ": the program's and each parent
// command's options, then app's own options and positional arguments.
std::string usageOf(const CLI::App& app);

// Sets the tools' help layout on app (inherited by its sub-commands).
void useToolHelp(CLI::App& app);

// Parses argv into app. Returns -1 when the program goes on; otherwise the
// exit status after printing: 0 for --help (on standard output), 2 for a
// usage error ("PROGRAM COMMAND: why" and the usage line, on standard error).
int parseArguments(CLI::App& app, int argc, char** argv);

// Reports a usage error found after parsing, as parseArguments does, and
// returns 2.
int usageError(const CLI::App& app, const std::string& why);

// Makes o take one value each time it is given, and keep them all
// ("--cmdr A --cmdr B").
CLI::Option* repeatable(CLI::Option* o);

// Checks that a value is a number of seconds, not below 0 ("--for:
// needs a number of seconds").
const CLI::Validator& secondsValue();

}  // namespace corvane::tools
