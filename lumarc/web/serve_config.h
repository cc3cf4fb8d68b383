// The configuration file of lumarc-cli serve --config, the file the
// lumarc-web service reads from /etc/lumarc/web.conf, in the collector's
// style:
//
//   # Lines starting with "#" and blank lines are ignored; blanks around
//   # keys and values are dropped. One key=value a line, each key once:
//   listen=127.0.0.1:8080             address and port to serve on
//   db=DRIVER={PostgreSQL Unicode};SERVER=db;DATABASE=lumarc
//   dir=/var/lib/lumarc/site1         the working directory (absolute)
//   accounts=/etc/lumarc/web-accounts the accounts file (lumarc-cli web-user)
//   tls_cert=/etc/lumarc/web.pem      certificate and key for HTTPS
//   tls_key=/etc/lumarc/web.key
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::web {

struct ServeConfig {
  std::optional<std::string> listen, db, dir, accounts, tlsCert, tlsKey;
};

struct ServeConfigProblem {
  unsigned line = 0;  // from 1
  std::string message;
};

// Parses the file's text into out; every line not understood is a problem.
std::vector<ServeConfigProblem> parseServeConfig(std::string_view text, ServeConfig& out);

}  // namespace lumarc::web
