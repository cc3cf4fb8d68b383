#include "lumarc/app/ui/qt_text.h"

namespace lumarc::ui {

namespace {
corvane::Language g_language = corvane::Language::English;
}

void setUiLanguage(corvane::Language lang) { g_language = lang; }
corvane::Language uiLanguage() { return g_language; }

QString qtext(std::string_view b) {
  std::string u = corvane::toUtf8(b, g_language);
  return QString::fromUtf8(u.data(), qsizetype(u.size()));
}

std::string bytes(const QString& s) {
  QByteArray u = s.toUtf8();
  return corvane::fromUtf8(std::string_view(u.constData(), size_t(u.size())), g_language);
}

}  // namespace lumarc::ui
