#include "lumarc/app/ui/qt_text.h"

namespace lumarc::ui {

QString qtext(const corvane::StringTable& texts, std::string_view b) {
  std::string u = corvane::toUtf8(b, texts.codePage());
  return QString::fromUtf8(u.data(), qsizetype(u.size()));
}

QString qtext(const corvane::StringTable& texts, int id) { return qtext(texts, texts.text(id)); }

std::string bytes(const corvane::StringTable& texts, const QString& s) {
  QByteArray u = s.toUtf8();
  return corvane::fromUtf8(std::string_view(u.constData(), size_t(u.size())), texts.codePage());
}

}  // namespace lumarc::ui
