#include "common/qt/qt_text.h"

namespace corvane {

QString qtext(const StringTable& texts, std::string_view b) {
  std::string u = toUtf8(b, texts.codePage());
  return QString::fromUtf8(u.data(), qsizetype(u.size()));
}

QString qtext(const StringTable& texts, int id) { return qtext(texts, texts.text(id)); }

std::string bytes(const StringTable& texts, const QString& s) {
  QByteArray u = s.toUtf8();
  return fromUtf8(std::string_view(u.constData(), size_t(u.size())), texts.codePage());
}

}  // namespace corvane
