#include "common/string_table.h"

#include "common/codepage.h"

namespace corvane {

void StringTable::add(const TextEntry* entries, size_t count, bool utf8Source, int codePage) {
  codePage_ = CodePage(codePage);
  for (size_t i = 0; i < count; ++i) {
    std::string t = entries[i].text;
    if (utf8Source) t = fromUtf8(t, CodePage(codePage));
    texts_[entries[i].id] = std::move(t);
  }
}

const std::string& StringTable::text(int id) const {
  static const std::string empty;
  auto it = texts_.find(id);
  if (it != texts_.end()) return it->second;
  if (fallback_) return fallback_->text(id);
  return empty;
}

std::string formatText(std::string_view pattern, std::initializer_list<std::string> args) {
  std::string out;
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    char k = pattern[i + 1];
    if (k == '%') {
      out += '%';
      ++i;
    } else if (k == 's' || k == 'i' || k == 'd' || k == 'u') {
      if (next != args.end()) out += *next++;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace corvane
