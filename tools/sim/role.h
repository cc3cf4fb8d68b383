// corvane-sim roles: each protocol the exchange speaks is one role in its
// own file in this folder, registered here, declaring its options through
// the argument parser (tools/common/arguments.h).
#pragma once

#include "tools/common/arguments.h"

#include <functional>
#include <set>
#include <string>

namespace corvane::sim {

struct RoleOptions {
  std::string listen = "127.0.0.1";  // address to listen on
  int port = 0;                      // 0: the role's default port
};

// Runs a role once the command line is parsed; returns the exit status.
using Runner = std::function<int(const RoleOptions&)>;

struct Role {
  const char* name;
  const char* summary;
  // Declares the role's options on its parser, binding them to state that
  // the returned runner reads.
  std::function<Runner(CLI::App& parser)> define;
};

struct Register {
  explicit Register(Role r);
};

// Declares an option of one value (shown as typeName) that hands each value
// given to take, as written, once check (when given) has passed it.
CLI::Option* valueOption(CLI::App& parser, const std::string& name, const std::string& typeName,
                         const std::string& help, std::function<void(const std::string&)> take,
                         const CLI::Validator* check = nullptr);

// Declares a repeatable option of 1-based numbers ("K,.."), added to into.
CLI::Option* numbersOption(CLI::App& parser, const std::string& name, const std::string& help, std::set<int>& into);

}  // namespace corvane::sim
