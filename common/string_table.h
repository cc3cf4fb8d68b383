// Numbered user-interface texts in one language, with the texts of a base
// language standing in for entries the language lacks. Texts are 8-bit bytes
// in the language's code page.
#pragma once

#include "common/codepage.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace corvane {

struct TextEntry {
  int id;
  const char* text;
};

class StringTable {
 public:
  StringTable() = default;
  // Entries in UTF-8 are converted once into the 8-bit code page given,
  // which becomes the table's code page.
  void add(const TextEntry* entries, size_t count, bool utf8Source, int codePage);
  // The code page the table's texts are in (Cp1252 until add() names one).
  CodePage codePage() const { return codePage_; }
  void set(int id, std::string text) { texts_[id] = std::move(text); }
  bool has(int id) const { return texts_.count(id) != 0; }
  // The text of entry id, else the fallback's, else an empty text.
  const std::string& text(int id) const;
  void setFallback(const StringTable* fallback) { fallback_ = fallback; }
  size_t size() const { return texts_.size(); }

 private:
  std::unordered_map<int, std::string> texts_;
  const StringTable* fallback_ = nullptr;
  CodePage codePage_ = CodePage::Cp1252;
};

// printf-style "%s"/"%i"/"%d"/"%u" substitution for numbered texts, which
// never trusts the text as a format string: unknown conversions are copied,
// missing arguments become empty.
std::string formatText(std::string_view pattern, std::initializer_list<std::string> args);

}  // namespace corvane
