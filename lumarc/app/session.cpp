#include "lumarc/app/session.h"

#include "lumarc/texts/texts.h"

namespace lumarc {

corvane::Language textLanguage(const SettingsBlock& settings) {
  return settings.language() == 1 && turkishPresent() ? corvane::Language::Turkish : corvane::Language::English;
}

Session::Session(std::string dir) : workDir(std::move(dir)) {
  loadSettings(settings, workDir);
  language = textLanguage(settings);
  texts = &textsFor(settings.language());
}

bool Session::save() const { return saveSettings(settings, workDir); }

}  // namespace lumarc
