// The softphone program from start to exit, with or without its window:
// single instance, working directory and "Wav", "Settings.bin", the command
// line, the language, the core thread, and the orderly shutdown (the close
// box, "quit", the end of input and SIGINT/SIGTERM/SIGHUP unregister first;
// the management program's "close" does not; so does a start without a
// sound device, after saying so, with exit code 1). The settings are saved
// at exit.
#pragma once

#include "halvern/keyset_snapshot.h"

#include <QString>

namespace halvern::ui {

inline constexpr const char* kVersion = "1.20";

// Runs the program; the exit code.
int runHalvern(int argc, char** argv);

// The About box text: the title and version, and while Running "Connected
// to <exchange name> as <extension>".
QString aboutText(const KeysetSnapshot& last, int language);

}  // namespace halvern::ui
