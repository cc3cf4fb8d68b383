// Small pieces of the web pages' HTML: escaping of every text that comes
// from the database or the request, and the frame every page shares (no
// inline script or style: the pages' one style sheet is /static/style.css).
#pragma once

#include "lumarc/web/page_texts.h"

#include <string>
#include <string_view>

namespace lumarc::web {

// Text for an HTML element or a quoted attribute: & < > " ' escaped.
std::string escapeHtml(std::string_view utf8);

struct PageFrame {
  std::string title;
  std::string user;  // logged-in account, empty on the login page
  bool admin = false;
  std::string token;   // the session's form token (for the log-out form)
  std::string active;  // path of the current section
};

std::string pageStart(const PageTexts& t, const PageFrame& f);
std::string pageEnd();

// The style sheet served as /static/style.css.
std::string_view styleSheet();

}  // namespace lumarc::web
