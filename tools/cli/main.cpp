// lumarc-cli: the management program's engines without a window.
#include "tools/cli/command.h"

#include "common/files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace lumarc::cli {

namespace {
std::vector<Command>& registry() {
  static std::vector<Command> r;
  return r;
}

void usage(FILE* out) {
  std::fprintf(out,
               "usage: lumarc-cli [--dir WORKDIR] [--db CONNECTION] COMMAND [ARGS...]\n"
               "\n"
               "Runs the engines of the Lumarc management program without a window.\n"
               "WORKDIR holds Lumarc.set, the databases, the logs and the Wav folder\n"
               "(default: the current directory). CONNECTION is an ODBC connection string\n"
               "for a shared database server (default: $LUMARC_DB, else the embedded files).\n"
               "\ncommands:\n");
  for (const Command& c : commands()) std::fprintf(out, "  %-10s %-28s %s\n", c.name, c.usage, c.summary);
}
}  // namespace

Register::Register(Command c) { registry().push_back(std::move(c)); }

const std::vector<Command>& commands() { return registry(); }

}  // namespace lumarc::cli

int main(int argc, char** argv) {
  using namespace lumarc::cli;
  Options opt;
  opt.workDir = corvane::currentDirectory();
  if (const char* e = std::getenv("LUMARC_DB")) opt.db = e;
  if (const char* e = std::getenv("LUMARC_VOICE_DB")) opt.voiceDb = e;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    }
    if ((a == "--dir" || a == "--db") && i + 1 < argc) {
      (a == "--dir" ? opt.workDir : opt.db) = argv[++i];
      (a == "--dir" ? opt.workDirGiven : opt.dbGiven) = true;
      continue;
    }
    if (a.rfind("--dir=", 0) == 0) {
      opt.workDir = a.substr(6);
      opt.workDirGiven = true;
      continue;
    }
    if (a.rfind("--db=", 0) == 0) {
      opt.db = a.substr(5);
      opt.dbGiven = true;
      continue;
    }
    if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "lumarc-cli: unknown option %s\n", a.c_str());
      usage(stderr);
      return 2;
    }
    break;
  }
  if (i >= argc) {
    usage(stderr);
    return 2;
  }
  std::string name = argv[i++];
  for (; i < argc; ++i) opt.args.push_back(argv[i]);
  for (const Command& c : commands()) {
    if (name != c.name) continue;
    if (!opt.args.empty() && (opt.args[0] == "--help" || opt.args[0] == "-h")) {
      std::printf("usage: lumarc-cli [--dir WORKDIR] [--db CONNECTION] %s %s\n%s\n", c.name, c.usage, c.summary);
      return 0;
    }
    return c.run(opt);
  }
  std::fprintf(stderr, "lumarc-cli: unknown command %s\n", name.c_str());
  usage(stderr);
  return 2;
}
