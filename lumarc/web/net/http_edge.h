// The web engine on the HTTP server: requests of cpp-httplib (through the
// common server wrapper, common/http) become the engine's Request, its
// Responses are written back, streamed ones chunked. Nothing of the pages
// or the accounts lives here; the engine never sees the HTTP library.
#pragma once

#include "common/http/http_server.h"
#include "lumarc/web/web_app.h"

namespace lumarc::web::net {

// Routes every GET, HEAD and POST of the server to app.
void serveWebApp(corvane::http::Server& server, WebApp& app);

// "a=1&b=2" into fields in their order, '+' and %XX decoded.
Params formFields(std::string_view text);

}  // namespace lumarc::web::net
