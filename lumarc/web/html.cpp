#include "lumarc/web/html.h"

namespace lumarc::web {

std::string escapeHtml(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string pageStart(const PageTexts& t, const PageFrame& f) {
  std::string h = "<!DOCTYPE html>\n<html lang=\"";
  h += t.htmlLang();
  h += "\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width\">";
  h += "<title>" + escapeHtml(f.title) + " - Lumarc</title>";
  h += "<link rel=\"stylesheet\" href=\"/static/style.css\"></head><body>\n";
  if (!f.user.empty()) {
    auto link = [&](const char* path, Word w) {
      h += std::string("<a href=\"") + path + "\"" + (f.active == path ? " class=\"active\"" : "") + ">" +
           escapeHtml(t.word(w)) + "</a> ";
    };
    h += "<nav>";
    link("/", Word::Dashboard);
    link("/records", Word::Records);
    link("/charts", Word::Charts);
    link("/voice", Word::Recordings);
    link("/users", Word::Users);
    if (f.admin) link("/alarms", Word::Alarms);
    h += "<form method=\"post\" action=\"/logout\" class=\"logout\"><input type=\"hidden\" name=\"token\" value=\"" +
         escapeHtml(f.token) + "\"><span>" + escapeHtml(f.user) + "</span> <button type=\"submit\">" +
         escapeHtml(t.word(Word::LogOut)) + "</button></form>";
    h += "</nav>\n";
  }
  h += "<main><h1>" + escapeHtml(f.title) + "</h1>\n";
  return h;
}

std::string pageEnd() { return "</main></body></html>\n"; }

std::string_view styleSheet() {
  return R"css(body{font-family:sans-serif;margin:0;background:#f6f6f4;color:#222}
nav{background:#23384d;padding:.5em 1em}
nav a{color:#fff;margin-right:1em;text-decoration:none}
nav a.active{font-weight:bold;text-decoration:underline}
nav form.logout{float:right;color:#fff;margin:0}
main{padding:1em}
form.selection{display:grid;grid-template-columns:repeat(auto-fill,minmax(16em,1fr));gap:.4em 1em;margin-bottom:1em}
form.selection label{display:flex;flex-direction:column;font-size:.85em}
pre.listing{background:#fff;border:1px solid #ccc;padding:.5em;overflow-x:auto;font-size:.8em}
pre.listing .heading{font-weight:bold;color:#23384d}
pre.listing .subtotal,pre.listing .total{font-weight:bold}
.error{color:#a00;font-weight:bold}
table{border-collapse:collapse;background:#fff}
td,th{border:1px solid #ccc;padding:.2em .5em;text-align:right}
th{background:#e8ecef}
td.text{text-align:left}
.critical{color:#a00;font-weight:bold}
.warning{color:#a60}
.chart{background:#fff;border:1px solid #ccc;margin:.5em 0}
.pages a{margin-right:1em}
)css";
}

}  // namespace lumarc::web
