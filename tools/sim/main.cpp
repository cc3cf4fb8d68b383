// corvane-sim: plays the exchange's side of the protocols, with faults.
#include "tools/sim/role.h"

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::sim {

namespace {
std::vector<Role>& registry() {
  static std::vector<Role> r;
  return r;
}

constexpr const char* kDescription =
    "Plays the Corvane exchange's side of one protocol on this machine, for\n"
    "tests and demonstrations. ADDRESS defaults to 127.0.0.1.";
}  // namespace

Register::Register(Role r) { registry().push_back(std::move(r)); }

CLI::Option* valueOption(CLI::App& parser, const std::string& name, const std::string& typeName,
                         const std::string& help, std::function<void(const std::string&)> take,
                         const CLI::Validator* check) {
  CLI::Option* o = parser.add_option(name, help)->type_name(typeName);
  // Checks and takers run in the order they were added.
  if (check) o->check(*check);
  return o->each(std::move(take));
}

CLI::Option* numbersOption(CLI::App& parser, const std::string& name, const std::string& help, std::set<int>& into) {
  return tools::repeatable(valueOption(parser, name, "K,..", help, [&into](const std::string& list) {
    std::istringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
      if (!item.empty()) into.insert(std::atoi(item.c_str()));
  }));
}

}  // namespace corvane::sim

int main(int argc, char** argv) {
  using namespace corvane::sim;
  RoleOptions opt;
  CLI::App app(kDescription, "corvane-sim");
  corvane::tools::useToolHelp(app);
  app.get_formatter()->label("SUBCOMMAND", "ROLE");
  app.get_formatter()->label("ARGS", "OPTIONS");
  app.add_option("--listen", opt.listen, "the address to listen on (default 127.0.0.1)")->type_name("ADDRESS");
  app.add_option("--port", opt.port, "the port to listen on (default: the role's own)")->type_name("PORT");
  app.require_subcommand(1);
  std::map<const CLI::App*, Runner> runners;
  for (const Role& r : registry()) {
    CLI::App* sub = app.add_subcommand(r.name, r.summary);
    sub->group("roles");
    sub->get_help_ptr()->group("");  // listed once, in the program's own help
    runners[sub] = r.define(*sub);
  }
  if (int status = corvane::tools::parseArguments(app, argc, argv); status >= 0) return status;
  return runners.at(app.get_subcommands().front())(opt);
}
