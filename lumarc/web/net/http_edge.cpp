#include "lumarc/web/net/http_edge.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace lumarc::web::net {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string formDecoded(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
      out += char(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

// A query keeps the order the command line's options have: a later field
// is applied over an earlier one.
Params formFields(std::string_view text) {
  Params out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view item = text.substr(start, end - start);
    start = end + 1;
    if (item.empty()) continue;
    const size_t eq = item.find('=');
    out.emplace_back(formDecoded(item.substr(0, eq)),
                     eq == std::string_view::npos ? std::string() : formDecoded(item.substr(eq + 1)));
  }
  return out;
}

namespace {

class SinkWriter : public BodyWriter {
 public:
  explicit SinkWriter(httplib::DataSink& sink) : sink_(sink) {}
  bool write(std::string_view bytes) override { return sink_.is_writable() && sink_.write(bytes.data(), bytes.size()); }

 private:
  httplib::DataSink& sink_;
};

Request requestOf(const httplib::Request& req, bool tls) {
  Request r;
  r.method = req.method;
  r.path = req.path;
  const size_t q = req.target.find('?');
  if (q != std::string::npos) r.query = formFields(std::string_view(req.target).substr(q + 1));
  if (req.method == "POST" && req.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0)
    r.form = formFields(req.body);
  for (const auto& [name, value] : req.headers) {
    std::string lower = name;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    r.headers.emplace(lower, value);
  }
  r.remoteAddress = req.remote_addr;
  r.tls = tls;
  return r;
}

void answer(Response w, const httplib::Request& req, httplib::Response& res) {
  res.status = w.status;
  for (const auto& [name, value] : w.headers) res.set_header(name, value);
  if (!w.file.empty()) {
    // A file in pieces from where the client asks (Range: the library
    // answers 206 with the part asked for), so that a player can seek.
    const int fd = ::open(w.file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      if (fd >= 0) ::close(fd);
      res.status = 404;
      res.set_content("Not found.\n", "text/plain; charset=utf-8");
      return;
    }
    res.set_header("Accept-Ranges", "bytes");
    for (const auto& [first, last] : req.ranges)
      if (first >= ssize_t(st.st_size) || (first < 0 && last <= 0)) {
        ::close(fd);
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(st.st_size));
        return;
      }
    res.status = -1;  // the library's choice: 200, or 206 for a range
    res.set_content_provider(
        size_t(st.st_size), w.contentType,
        [fd](size_t offset, size_t length, httplib::DataSink& sink) {
          char buf[64 * 1024];
          const ssize_t n = ::pread(fd, buf, std::min(length, sizeof buf), off_t(offset));
          return n > 0 && sink.write(buf, size_t(n));
        },
        [fd](bool) { ::close(fd); });
    return;
  }
  if (w.stream) {
    auto stream = std::make_shared<std::function<bool(BodyWriter&)>>(std::move(w.stream));
    res.set_chunked_content_provider(w.contentType, [stream](size_t, httplib::DataSink& sink) {
      SinkWriter out(sink);
      if (!(*stream)(out)) return false;
      sink.done();
      return true;
    });
    return;
  }
  if (w.status == 303 || (w.body.empty() && w.status == 200)) {
    res.body.clear();
    return;
  }
  res.set_content(w.body, w.contentType);
}

}  // namespace

void serveWebApp(corvane::http::Server& server, WebApp& app) {
  const bool tls = server.tls();
  auto handler = [&app, tls](const httplib::Request& req, httplib::Response& res) {
    answer(app.handle(requestOf(req, tls)), req, res);
  };
  server.routes().Get(".*", handler);
  server.routes().Post(".*", handler);
}

}  // namespace lumarc::web::net
