// The management program's start-up and shutdown around the main window.
#pragma once

namespace lumarc::ui {

// Runs the program: single-instance step, working directory, settings and
// language, main window, event loop, settings saved at the end. Returns the
// process exit code.
int runLumarc(int argc, char** argv);

}  // namespace lumarc::ui
