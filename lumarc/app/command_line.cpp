#include "lumarc/app/command_line.h"

#include "common/files.h"
#include "common/format.h"

#include <sys/stat.h>

#include <fstream>

namespace lumarc {

std::string joinArguments(int argc, const char* const* argv) {
  std::string s;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) s += ' ';
    s += argv[i];
  }
  return s;
}

namespace {

// The value after an option: up to the next "-" or double quote, trailing
// blanks removed, leading blanks kept.
std::string optionValue(const std::string& text, size_t from) {
  size_t end = text.find_first_of("-\"", from);
  std::string v = text.substr(from, end == std::string::npos ? std::string::npos : end - from);
  while (!v.empty() && v.back() == ' ') v.pop_back();
  return v;
}

void parseInstallation(const std::string& text, size_t at, CommandLine& cl) {
  cl.action = CommandLine::Action::Installation;
  // The wizard target is the option's own value, read up to the next option.
  std::string value = text.substr(at + 2);
  value = value.substr(0, value.find('-'));
  if (value.size() < 8) return;
  cl.hasWizardTarget = true;
  cl.wizardTarget = value.substr(0, 8);
  cl.flagQuillet = text.find("-Quillet") != std::string::npos;
  cl.flagHalvern = text.find("-Halvern") != std::string::npos;
  cl.flagLumarc = text.find("-Lumarc") != std::string::npos;
  size_t p = text.find("-P");
  if (p == std::string::npos) p = text.find("-p");
  if (p != std::string::npos) {
    cl.parameterFile = optionValue(text, p + 2);
    if (cl.parameterFile.size() > 259) cl.parameterFile.resize(259);
  }
}

void parseLinkItem(const std::string& item, CommandLine& cl) {
  if (item.size() <= 2) return;
  char letter = item[0];
  LinkKind kind;
  if (letter == 'C' || letter == 'c')
    kind = LinkKind::Cmdr;
  else if (letter == 'V' || letter == 'v')
    kind = LinkKind::Voice;
  else
    return;

  std::string address = item.substr(1);
  uint32_t port = defaultPort(kind);
  size_t colon = address.find(':');
  if (colon != std::string::npos && colon >= 3 && colon + 1 < address.size()) {
    port = corvane::digitsValue(address.substr(colon + 1));
    address = address.substr(0, colon);
  }
  address = std::string(corvane::trimBlanks(address));
  if (!address.empty() && address.back() == '"') address.pop_back();
  if (port == 0 || address.empty()) return;

  ConnectionTarget t = parseAddressText(address + ":" + std::to_string(port));
  if (t.host[0] == 0) return;
  cl.links.push_back({kind, t});
}

}  // namespace

CommandLine parseCommandLine(const std::string& text) {
  CommandLine cl;
  if (text.empty()) {
    cl.action = CommandLine::Action::ImportOldDatabase;
    return cl;
  }
  size_t d = text.find("-D");
  if (d == std::string::npos) d = text.find("-d");
  if (d != std::string::npos) {
    parseInstallation(text, d, cl);
    return cl;
  }
  cl.action = CommandLine::Action::Links;
  size_t pos = text.find('-');
  while (pos != std::string::npos) {
    size_t next = text.find('-', pos + 1);
    parseLinkItem(text.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1), cl);
    pos = next;
  }
  return cl;
}

namespace {
// Quotes a path for the Exec key of a desktop entry.
std::string execQuote(const std::string& path) {
  std::string q = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}
}  // namespace

ShortcutResult createDesktopShortcuts(const CommandLine& cl, const std::string& workDir,
                                      const std::string& desktopDir) {
  // clang-format off
  struct Item { bool on; const char* name; const char* program; };
  // clang-format on
  const Item items[] = {
      {cl.flagLumarc, "BRENNIC Lumarc", "lumarc"},
      {cl.flagQuillet, "BRENNIC Quillet", "quillet"},
      {cl.flagHalvern, "BRENNIC Halvern", "halvern"},
  };
  ShortcutResult r;
  if (!cl.hasWizardTarget) return r;
  for (const Item& it : items) {
    if (!it.on) continue;
    std::string path = corvane::joinPath(desktopDir, std::string(it.name) + ".desktop");
    std::string body = "[Desktop Entry]\nType=Application\nName=" + std::string(it.name) + "\nComment=" + it.name +
                       "\nExec=" + execQuote(corvane::joinPath(workDir, it.program)) + "\nPath=" + workDir +
                       "\nTerminal=false\n";
    if (corvane::writeFileAtomic(path, body, 0755))
      r.written.push_back(path);
    else
      r.failed.push_back(path);
  }
  return r;
}

}  // namespace lumarc
