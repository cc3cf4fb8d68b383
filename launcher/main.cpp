// corvane-setup: starts the system's Java setup with elevated rights.
#include "common/files.h"
#include "launcher/launch.h"

#include <spawn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

// Shows a message through a desktop dialog program, where a display and
// one of them exist. Does not wait for the dialog.
void showDialog(const std::string& text) {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) return;
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  // clang-format off
  struct Tool { const char* name; std::vector<std::string> args; };
  // clang-format on
  const Tool tools[] = {
      {"zenity", {"--error", "--title=Setup", "--text=" + text}},
      {"kdialog", {"--title", "Setup", "--error", text}},
      {"xmessage", {"-center", text}},
  };
  for (const Tool& t : tools) {
    auto exe = corvane::setup::findOnPath(t.name, path);
    if (!exe) continue;
    std::vector<char*> argv{const_cast<char*>(exe->c_str())};
    for (const std::string& a : t.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::puts(
          "usage: corvane-setup\n\nStarts the Corvane system setup (Setup.jar in the current directory)\n"
          "with administrator rights through pkexec, and returns at once.");
      return 0;
    }
  }
  auto r = corvane::setup::launchSetup(corvane::currentDirectory());
  if (!r.started) {
    std::fprintf(stderr, "%s\n", r.message.c_str());
    showDialog(r.message);
  }
  return 0;
}
