#include "halvern/command_line.h"

#include <string_view>

namespace halvern {

ProgramOptions takeProgramOptions(int argc, const char* const* argv) {
  ProgramOptions o;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--headless") {
      o.headless = true;
    } else if (a == "--audio") {
      if (i + 1 < argc) o.audio = argv[++i];
    } else if (a.starts_with("--audio=")) {
      o.audio = std::string(a.substr(8));
    } else {
      o.arguments.emplace_back(a);
    }
  }
  return o;
}

std::string joinArguments(const std::vector<std::string>& arguments) {
  std::string s;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) s += ' ';
    s += arguments[i];
  }
  return s;
}

namespace {

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

void applyOption(std::string_view option, AccountBlock& account) {
  option = trimBlanks(option);
  if (option.size() < 2) return;
  const std::string_view value = option.substr(1);
  // Each setter leaves the field as it was when the value does not fit.
  switch (option[0]) {
    case 'C':
    case 'c': account.setAccountId(value); break;
    case 'I':
    case 'i': account.setHost(value); break;
    case 'P':
    case 'p': account.setPassword(value); break;
    case 'U':
    case 'u': account.setAuthId(value); break;
    default: break;
  }
}

}  // namespace

void applyCommandLine(const std::string& text, AccountBlock& account) {
  std::size_t pos = text.find('-');
  while (pos != std::string::npos) {
    const std::size_t next = text.find('-', pos + 1);
    const std::size_t end = next == std::string::npos ? text.size() : next;
    applyOption(std::string_view(text).substr(pos + 1, end - pos - 1), account);
    pos = next;
  }
}

}  // namespace halvern
