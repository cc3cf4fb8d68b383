// lumarc-cli settings: prints the fields of the working directory's settings.
#include "tools/cli/command.h"

#include "common/format.h"
#include "lumarc/app/session.h"

#include <cstdio>

namespace lumarc::cli {
namespace {

int printSettings(const Options& opt) {
  const Session session(opt.workDir);
  const SettingsBlock& s = session.settings;
  std::printf("language: %u\n", s.language());
  std::printf("auto_scroll: %u\n", s.autoScroll());
  std::printf("layer2: %u\n", s.layer2());
  std::printf("users_sort: %u\n", s.usersSort());
  std::printf("users_format: %u\n", s.usersFormat());
  std::printf("definitions_sort: %u\n", s.definitionsSort());
  std::printf("adapter: %s\n", corvane::ipv4Text(s.adapter()).c_str());
  const struct {
    LinkKind kind;
    const char* name;
  } lists[] = {
      {LinkKind::Cmdr, "cmdr_history"}, {LinkKind::Monitor, "monitor_history"}, {LinkKind::Voice, "voice_history"}};
  for (const auto& l : lists) {
    const ConnectionHistory h = s.history(l.kind);
    for (size_t i = 0; i < kHistorySlots; ++i) {
      if (!h.used(i)) continue;
      ConnectionTarget t = h.slot(i);
      std::printf("%s.%zu: %s:%u\n", l.name, i, t.hostText().c_str(), t.port());
    }
  }
  return 0;
}

Register reg({"settings", "print the fields of WORKDIR's Lumarc.set (or the defaults)",
              [](CLI::App&) -> Runner { return printSettings; }});

}  // namespace
}  // namespace lumarc::cli
