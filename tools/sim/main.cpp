// corvane-sim: plays the exchange's side of the protocols, with faults.
#include "tools/sim/role.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace corvane::sim {

namespace {
std::vector<Role>& registry() {
  static std::vector<Role> r;
  return r;
}

void usage(FILE* out) {
  std::fprintf(out,
               "usage: corvane-sim [--listen ADDRESS] [--port PORT] ROLE [OPTIONS...]\n"
               "\n"
               "Plays the Corvane exchange's side of one protocol on this machine, for\n"
               "tests and demonstrations. ADDRESS defaults to 127.0.0.1.\n"
               "\nroles:\n");
  for (const Role& r : roles()) std::fprintf(out, "  %-10s %-34s %s\n", r.name, r.usage, r.summary);
  if (roles().empty()) std::fprintf(out, "  (none built yet)\n");
}
}  // namespace

Register::Register(Role r) { registry().push_back(std::move(r)); }
const std::vector<Role>& roles() { return registry(); }

}  // namespace corvane::sim

int main(int argc, char** argv) {
  using namespace corvane::sim;
  RoleOptions opt;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    }
    if (a == "--listen" && i + 1 < argc) {
      opt.listen = argv[++i];
      continue;
    }
    if (a == "--port" && i + 1 < argc) {
      opt.port = std::atoi(argv[++i]);
      continue;
    }
    break;
  }
  if (i >= argc) {
    usage(stderr);
    return 2;
  }
  std::string name = argv[i++];
  for (; i < argc; ++i) opt.args.push_back(argv[i]);
  for (const Role& r : roles())
    if (name == r.name) return r.run(opt);
  std::fprintf(stderr, "corvane-sim: unknown role %s\n", name.c_str());
  usage(stderr);
  return 2;
}
