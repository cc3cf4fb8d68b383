// The web pages' words in English and Turkish, picked by the browser's
// Accept-Language. Where the window has a word (the selection form, the
// browsers' captions, the charts) it is the window's, from the string
// tables of lumarc/texts; the words only the web pages need are here.
#pragma once

#include "common/string_table.h"

#include <string>
#include <string_view>

namespace lumarc::web {

enum class PageLanguage { English, Turkish };

// Turkish when the header prefers it to English, else English.
PageLanguage languageOf(std::string_view acceptLanguage);

enum class Word {
  LogIn,
  LogOut,
  Name,
  Password,
  WrongLogin,
  TooManyTries,
  Records,
  Dashboard,
  Charts,
  Alarms,
  Show,
  Page,
  Previous,
  Next,
  NoRecords,
  From,
  To,
  Month,
  Download,
  Today,
  Yesterday,
  ThisMonth,
  LastMonth,
  Hour,
  Calls,
  Duration,
  Pulses,
  Amount,
  NewestRecords,
  Exchange,
  Time,
  Rule,
  Severity,
  Port,
  Record,
  Text,
  DatabaseUnavailable,
  Users,
  Recordings,
};

class PageTexts {
 public:
  explicit PageTexts(PageLanguage lang);
  PageLanguage language() const { return lang_; }
  const char* htmlLang() const { return lang_ == PageLanguage::Turkish ? "tr" : "en"; }
  // A word of the web pages (UTF-8).
  std::string word(Word w) const;
  // A numbered text of the window (UTF-8, without its "&" accelerator marks).
  std::string window(int id) const;

 private:
  PageLanguage lang_;
  const corvane::StringTable* table_;
};

}  // namespace lumarc::web
