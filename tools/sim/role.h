// corvane-sim roles: each protocol the exchange speaks is one role in its
// own file in this folder, registered here.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace corvane::sim {

struct RoleOptions {
  std::string listen = "127.0.0.1";  // address to listen on
  int port = 0;                      // 0: the role's default port
  std::vector<std::string> args;     // role-specific options
};

struct Role {
  const char* name;
  const char* usage;
  const char* summary;
  std::function<int(const RoleOptions&)> run;
};

struct Register {
  explicit Register(Role r);
};

const std::vector<Role>& roles();

}  // namespace corvane::sim
