// The management program's command line: the installation call, the link
// items, or (when empty) the import of the older program's database.
#pragma once

#include "lumarc/links/target.h"

#include <string>
#include <vector>

namespace lumarc {

struct LinkItem {
  LinkKind kind;  // Cmdr or Voice
  ConnectionTarget target;
};

struct CommandLine {
  enum class Action { ImportOldDatabase, Installation, Links };
  Action action = Action::Links;

  // Installation call ("-D" or "-d").
  bool hasWizardTarget = false;
  std::string wizardTarget;  // 8 characters
  bool flagLumarc = false;
  bool flagHalvern = false;
  bool flagQuillet = false;
  std::string parameterFile;  // at most 259 characters

  // Link items, in command-line order; items that do not parse are left out.
  std::vector<LinkItem> links;
};

// argv[1..] joined with single blanks.
std::string joinArguments(int argc, const char* const* argv);

// Reads the whole command-line text by the program's substring rules.
CommandLine parseCommandLine(const std::string& text);

struct ShortcutResult {
  std::vector<std::string> written;  // paths of the files written
  std::vector<std::string> failed;
};

// Writes the desktop entries for the installation flags into desktopDir:
// "BRENNIC Lumarc.desktop" and friends, each starting the program of that
// name in workDir, with workDir as its working directory. Existing entries
// are overwritten.
// clang-format off
ShortcutResult createDesktopShortcuts(const CommandLine& cl, const std::string& workDir,
                                      const std::string& desktopDir);
// clang-format on

}  // namespace lumarc
