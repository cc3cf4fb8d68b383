// The softphone's command line. The program's own switches ("--headless",
// "--audio VALUE") are taken out first; the rest, joined with single blanks,
// carries the account overrides "-C<account id> -I<host> -P<password>
// -U<authentication id>" that the management program passes.
#pragma once

#include "halvern/account.h"

#include <string>
#include <vector>

namespace halvern {

struct ProgramOptions {
  bool headless = false;
  // The audio device choice after "--audio" (or "--audio=..."); empty when
  // none was given.
  std::string audio;
  // argv[1..] without the switches above, in order.
  std::vector<std::string> arguments;
};

// Splits argv into the program's switches and the remaining arguments.
ProgramOptions takeProgramOptions(int argc, const char* const* argv);

// The arguments joined with single blanks.
std::string joinArguments(const std::vector<std::string>& arguments);

// Applies the overrides in text to account. Everything before the first "-"
// is ignored; the rest is split at every "-", each option trimmed of blanks
// and skipped when shorter than 2 characters. The first character (either
// case) picks the field: C account id (at most 23), I exchange host (63),
// P password (15), U authentication id (23); a longer value, or any other
// letter, leaves the account unchanged.
void applyCommandLine(const std::string& text, AccountBlock& account);

}  // namespace halvern
