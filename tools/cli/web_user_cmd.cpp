// lumarc-cli web-user add|remove|list: the accounts of lumarc-cli serve.
// A password is read from standard input (one line) and only its Argon2id
// hash is kept; the file is replaced whole (temporary file, rename, mode
// 0600), and a running server reads it again on its next login or request.
#include "tools/cli/command.h"

#include "common/files.h"
#include "lumarc/web/accounts.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

namespace lumarc::cli {

namespace {

struct WebUserArgs {
  std::string action, name, role, ports, accounts;
};

int webUser(const Options& opt, const CLI::App& parser, WebUserArgs a) {
  auto usage = [&parser](const std::string& why) { return corvane::tools::usageError(parser, why); };
  if (a.accounts.empty()) a.accounts = corvane::joinPath(opt.workDir, "web-accounts");
  web::AccountFile file(a.accounts);
  std::vector<web::Account> accounts;
  std::string error;
  if (!file.load(accounts, error)) {
    std::fprintf(stderr, "lumarc-cli web-user: %s\n", error.c_str());
    return 1;
  }
  if (a.action == "list") {
    if (!a.name.empty()) return usage("list takes no NAME");
    for (const web::Account& acc : accounts) {
      std::string ports;
      for (const std::string& p : acc.ports) ports += (ports.empty() ? "" : ",") + p;
      std::printf("%s %s%s%s\n", acc.name.c_str(), web::roleName(acc.role), ports.empty() ? "" : " ", ports.c_str());
    }
    return 0;
  }
  if (a.name.empty()) return usage(a.action + " needs a NAME");
  if (!web::validAccountName(a.name))
    return usage("invalid value \"" + a.name + "\" for NAME (letters, digits, '.', '_', '-', '@'; up to 64)");
  auto it = std::find_if(accounts.begin(), accounts.end(), [&](const web::Account& x) { return x.name == a.name; });
  if (a.action == "remove") {
    if (it == accounts.end()) {
      std::fprintf(stderr, "lumarc-cli web-user: no account named \"%s\"\n", a.name.c_str());
      return 1;
    }
    accounts.erase(it);
  } else {
    web::Account acc;
    acc.name = a.name;
    const std::optional<web::Role> role = web::roleNamed(a.role);
    if (!role)
      return usage(a.role.empty() ? "add needs --role admin|user" : "invalid value \"" + a.role + "\" for --role");
    acc.role = *role;
    if (!web::parsePortList(a.ports, acc.ports)) return usage("invalid value \"" + a.ports + "\" for --ports");
    if (acc.role == web::Role::User && acc.ports.empty()) return usage("--role user needs --ports");
    if (acc.role == web::Role::Admin && !acc.ports.empty()) return usage("--ports is for --role user");
    std::string password;
    if (!std::getline(std::cin, password)) password.clear();
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.size() < 8) {
      std::fprintf(stderr,
                   "lumarc-cli web-user: the password (one line on standard input) needs 8 characters or more\n");
      return 2;
    }
    acc.hash = web::hashPassword(password);
    if (acc.hash.empty()) {
      std::fprintf(stderr, "lumarc-cli web-user: the password could not be hashed\n");
      return 1;
    }
    if (it != accounts.end())
      *it = acc;  // a new password or role for an existing account
    else
      accounts.push_back(acc);
  }
  if (!file.save(accounts, error)) {
    std::fprintf(stderr, "lumarc-cli web-user: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

Runner define(CLI::App& parser) {
  auto a = std::make_shared<WebUserArgs>();
  parser.add_option("ACTION", a->action, "add (or change), remove or list accounts")
      ->type_name("add|remove|list")
      ->required()
      ->check(CLI::IsMember({"add", "remove", "list"}).description(""));
  parser.add_option("NAME", a->name, "the account's name")->type_name("NAME");
  parser.add_option("--role", a->role, "admin (every call) or user (the calls of --ports)")->type_name("admin|user");
  parser.add_option("--ports", a->ports, "the ports whose calls a user sees")->type_name("P1,P2,...");
  parser.add_option("--accounts", a->accounts, "the accounts file (default: web-accounts in the working directory)")
      ->type_name("FILE");
  return [&parser, a](const Options& opt) { return webUser(opt, parser, *a); };
}

Register webUserReg({"web-user", "the accounts of lumarc-cli serve; add reads the password from standard input",
                     define});

}  // namespace

}  // namespace lumarc::cli
