// What every run of the management program's engines starts from: the
// working directory's settings ("Lumarc.set"), and the texts and language
// they choose.
#pragma once

#include "common/codepage.h"
#include "common/string_table.h"
#include "lumarc/app/settings.h"

#include <string>

namespace lumarc {

// The language of the texts and of their 8-bit code page: Turkish when the
// settings choose it (1) and the Turkish texts are built in, else English.
corvane::Language textLanguage(const SettingsBlock& settings);

struct Session {
  // Reads the settings of workDir (the defaults where there is no file).
  explicit Session(std::string workDir);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Writes the settings back to the working directory; false when that failed.
  bool save() const;

  std::string workDir;
  SettingsBlock settings;
  corvane::Language language = corvane::Language::English;
  const corvane::StringTable* texts = nullptr;  // of language
};

}  // namespace lumarc
