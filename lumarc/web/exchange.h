// What the web front end gets from a request and gives back, free of any
// HTTP library: the adapter (tools/cli/serve_cmd.cpp) fills a Request from
// the wire and writes a Response to it. A Response either holds its body or
// streams it through a producer that writes pieces to a BodyWriter, so a
// listing of any length goes out with flat memory.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumarc::web {

using Params = std::vector<std::pair<std::string, std::string>>;  // decoded, in their order

struct Request {
  std::string method;  // GET, POST, HEAD
  std::string path;    // without the query
  Params query;
  Params form;                                 // a POST's url-encoded fields
  std::map<std::string, std::string> headers;  // names in lower case
  std::string remoteAddress;
  bool tls = false;

  // The header's value, or empty.
  const std::string& header(const std::string& lowerName) const;
  // The first value of a query or form field, or nothing.
  const std::string* queryValue(std::string_view name) const;
  const std::string* formValue(std::string_view name) const;
  // The value of a cookie, or empty.
  std::string cookie(std::string_view name) const;
};

// Where a streamed body goes; write() is false once the client is gone, and
// the producer then stops.
class BodyWriter {
 public:
  virtual ~BodyWriter() = default;
  virtual bool write(std::string_view bytes) = 0;
};

struct Response {
  int status = 200;
  std::string contentType = "text/html; charset=utf-8";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // When set, the body is streamed (chunked) by this instead of `body`.
  std::function<bool(BodyWriter&)> stream;
  // When set, the body is this file (the adapter answers range requests).
  std::string file;

  void header(std::string name, std::string value) { headers.emplace_back(std::move(name), std::move(value)); }
  static Response text(int status, std::string body);
  static Response redirect(const std::string& location);
};

}  // namespace lumarc::web
