// The setup launcher: starts the Java setup archive with elevated rights.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane::setup {

// Full path of an executable found on the search path; nothing when absent.
std::optional<std::string> findOnPath(const std::string& name, const std::string& pathVar);

// The argument vector that runs the setup: pkexec carries the desktop
// session's variables over to the elevated Java runtime.
// clang-format off
std::vector<std::string> setupCommand(const std::string& pkexec, const std::string& java,
                                      const std::string& setupJar,
                                      // clang-format on
                                      const std::map<std::string, std::string>& env);

// What the launcher does, as seen from outside: the exit code is always 0.
struct LaunchResult {
  bool started = false;
  std::string message;  // set when the setup could not be started
};

// Starts the setup from dir without waiting for it.
LaunchResult launchSetup(const std::string& dir);

}  // namespace corvane::setup
