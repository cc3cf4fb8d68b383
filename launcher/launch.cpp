#include "launcher/launch.h"

#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace corvane::setup {

std::optional<std::string> findOnPath(const std::string& name, const std::string& pathVar) {
  size_t start = 0;
  while (start <= pathVar.size()) {
    size_t end = pathVar.find(':', start);
    if (end == std::string::npos) end = pathVar.size();
    // An empty entry stands for the current directory.
    std::string candidate = end > start ? pathVar.substr(start, end - start) : std::string(".");
    candidate.append("/").append(name);
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

// clang-format off
std::vector<std::string> setupCommand(const std::string& pkexec, const std::string& java,
                                      const std::string& setupJar,
                                      // clang-format on
                                      const std::map<std::string, std::string>& env) {
  std::vector<std::string> argv = {pkexec, "env"};
  for (const char* var : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) {
    auto it = env.find(var);
    if (it != env.end() && !it->second.empty()) argv.push_back(std::string(var) + "=" + it->second);
  }
  argv.insert(argv.end(), {java, "-jar", setupJar});
  return argv;
}

namespace {
bool spawnDetached(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  return ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
}

std::string envOf(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}
}  // namespace

LaunchResult launchSetup(const std::string& dir) {
  const std::string kMessage = "Please install Java runtime!";
  std::string path = envOf("PATH");
  auto java = findOnPath("java", path);
  auto pkexec = findOnPath("pkexec", path);
  if (!java || !pkexec) return {false, kMessage};
  std::map<std::string, std::string> env;
  for (const char* v : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) env[v] = envOf(v);
  if (!spawnDetached(setupCommand(*pkexec, *java, dir + "/Setup.jar", env))) return {false, kMessage};
  return {true, {}};
}

}  // namespace corvane::setup
