// lumarc-cli: the management program's engines without a window.
#include "tools/cli/command.h"

#include "common/files.h"

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace lumarc::cli {

namespace {
std::vector<Command>& registry() {
  static std::vector<Command> r;
  return r;
}

constexpr const char* kDescription =
    "Runs the engines of the Lumarc management program without a window.\n"
    "WORKDIR holds Lumarc.set, the databases, the logs and the Wav folder\n"
    "(default: the current directory). CONNECTION is an ODBC connection string\n"
    "for a shared database server (default: $LUMARC_DB, else the embedded files).";
}  // namespace

Register::Register(Command c) { registry().push_back(std::move(c)); }

}  // namespace lumarc::cli

int main(int argc, char** argv) {
  using namespace lumarc::cli;
  Options opt;
  opt.workDir = corvane::currentDirectory();
  if (const char* e = std::getenv("LUMARC_DB")) opt.db = e;
  if (const char* e = std::getenv("LUMARC_VOICE_DB")) opt.voiceDb = e;

  CLI::App app(kDescription, "lumarc-cli");
  corvane::tools::useToolHelp(app);
  app.get_formatter()->label("SUBCOMMAND", "COMMAND");
  app.add_option("--dir", opt.workDir, "the working directory")->type_name("WORKDIR");
  app.add_option("--db", opt.db, "the record database's ODBC connection string")->type_name("CONNECTION");
  app.require_subcommand(1);

  std::map<const CLI::App*, Runner> runners;
  for (const Command& c : registry()) {
    CLI::App* sub = app.add_subcommand(c.name, c.summary);
    sub->group("commands");
    sub->get_help_ptr()->group("");  // listed once, in the program's own help
    runners[sub] = c.define(*sub);
  }
  if (int status = corvane::tools::parseArguments(app, argc, argv); status >= 0) return status;
  opt.workDirGiven = app.count("--dir") > 0;
  opt.dbGiven = app.count("--db") > 0;
  return runners.at(app.get_subcommands().front())(opt);
}
