#include "tools/common/arguments.h"

#include <cstdio>
#include <cstdlib>

namespace corvane::tools {
namespace {

// The help flag is in every command; options without a group are hidden.
bool listed(const CLI::App& app, const CLI::Option* o) { return !o->get_group().empty() && o != app.get_help_ptr(); }

// One option as the usage line shows it: "--name TYPE", in brackets unless
// required, with "..." when it may be given again.
std::string optionUsage(const CLI::Option* o) {
  if (o->get_positional()) {
    std::string s = o->get_type_name().empty() ? o->get_name() : o->get_type_name();
    if (o->get_expected_max() >= CLI::detail::expected_max_vector_size) s += "...";
    return o->get_required() ? s : "[" + s + "]";
  }
  std::string s = o->get_name();
  if (!o->get_type_name().empty()) s += " " + o->get_type_name();
  s = o->get_required() ? s : "[" + s + "]";
  return o->get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll ? s + "..." : s;
}

// app's own options: positional arguments first, then options in the order
// they were declared.
std::string ownUsage(const CLI::App& app) {
  std::string s;
  for (const CLI::Option* o : app.get_options([](const CLI::Option* o) { return o->get_positional(); }))
    if (listed(app, o)) s += " " + optionUsage(o);
  for (const CLI::Option* o : app.get_options([](const CLI::Option* o) { return o->nonpositional(); }))
    if (listed(app, o)) s += " " + optionUsage(o);
  return s;
}

// "lumarc-cli report" for the report command's messages.
std::string commandPath(const CLI::App& app) {
  if (!app.get_parent()) return app.get_name();
  return commandPath(*app.get_parent()) + " " + app.get_name();
}

class ToolHelp : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode mode) const override {
    std::string out = "usage: " + usageOf(*app) + "\n";
    out += app->get_description() + "\n";
    out += make_positionals(app);
    out += make_groups(app, mode);
    out += make_subcommands(app, mode);
    const std::string footer = app->get_footer();
    if (!footer.empty()) out += "\n" + footer + "\n";
    return out;
  }
};

// The command that was being parsed: the last one named on the command line.
const CLI::App& parsedCommand(const CLI::App& app) {
  const std::vector<CLI::App*> named = app.get_subcommands();
  return named.empty() ? app : parsedCommand(*named.front());
}

}  // namespace

std::string usageOf(const CLI::App& app) {
  std::string s;
  if (const CLI::App* parent = app.get_parent()) {
    s = commandPath(*parent) + ownUsage(*parent) + " " + app.get_name();
  } else {
    s = app.get_name();
  }
  s += ownUsage(app);
  if (!app.get_subcommands({}).empty()) {
    const auto& f = *app.get_formatter();
    s += " " + f.get_label("SUBCOMMAND") + " [" + f.get_label("ARGS") + "...]";
  }
  return s;
}

void useToolHelp(CLI::App& app) {
  auto help = std::make_shared<ToolHelp>();
  help->label("Positionals", "arguments");
  help->label("ARGS", "ARGS");
  app.formatter(help);
  app.set_help_flag("-h,--help", "print this help and exit");
  // An option given twice takes the later value, as it always did.
  app.option_defaults()->group("options")->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.get_help_ptr()->group("options");
}

int parseArguments(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    return -1;
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    const CLI::App& at = parsedCommand(app);
    if (&at != &app || app.get_subcommands({}).empty()) return usageError(at, e.what());
    // No command was recognised: name the word that is none, or say that one is missing.
    const std::string kind = CLI::detail::to_lower(app.get_formatter()->get_label("SUBCOMMAND"));
    const std::vector<std::string> rest = app.remaining();
    if (!rest.empty() && rest.front().rfind("-", 0) != 0)
      return usageError(app, "unknown " + kind + " " + rest.front());
    return usageError(app, dynamic_cast<const CLI::RequiredError*>(&e) ? "no " + kind + " given" : e.what());
  }
}

int usageError(const CLI::App& app, const std::string& why) {
  std::fprintf(stderr, "%s: %s\nusage: %s\n", commandPath(app).c_str(), why.c_str(), usageOf(app).c_str());
  return 2;
}

CLI::Option* repeatable(CLI::Option* o) {
  return o->expected(1)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

const CLI::Validator& secondsValue() {
  static const CLI::Validator check(
      [](std::string& value) -> std::string {
        char* end = nullptr;
        const double s = std::strtod(value.c_str(), &end);
        return value.empty() || *end || !(s >= 0) ? "needs a number of seconds" : "";
      },
      "");
  return check;
}

}  // namespace corvane::tools
