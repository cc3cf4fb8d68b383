#include "lumarc/web/page_texts.h"

#include "common/codepage.h"
#include "lumarc/texts/texts.h"

#include <cstdlib>

namespace lumarc::web {

namespace {

// clang-format off
const struct { Word w; const char* en; const char* tr; } kWords[] = {
    {Word::LogIn, "Log in", "Giriş"},
    {Word::LogOut, "Log out", "Çıkış"},
    {Word::Name, "Name", "Ad"},
    {Word::Password, "Password", "Parola"},
    {Word::WrongLogin, "Wrong name or password.", "Ad veya parola yanlış."},
    {Word::TooManyTries, "Too many failed logins; try again in a while.", "Çok fazla hatalı giriş; bir süre sonra yeniden deneyin."},
    {Word::Records, "Call records", "Çağrı kayıtları"},
    {Word::Dashboard, "Overview", "Genel bakış"},
    {Word::Charts, "Charts", "Grafikler"},
    {Word::Alarms, "Alarms", "Alarmlar"},
    {Word::Show, "Show", "Göster"},
    {Word::Page, "Page", "Sayfa"},
    {Word::Previous, "Previous", "Önceki"},
    {Word::Next, "Next", "Sonraki"},
    {Word::NoRecords, "No records match the selection.", "Seçime uyan kayıt yok."},
    {Word::From, "from", "başlangıç"},
    {Word::To, "to", "bitiş"},
    {Word::Month, "Month", "Ay"},
    {Word::Download, "Download", "İndir"},
    {Word::Today, "Today", "Bugün"},
    {Word::Yesterday, "Yesterday", "Dün"},
    {Word::ThisMonth, "This month", "Bu ay"},
    {Word::LastMonth, "Last month", "Geçen ay"},
    {Word::Hour, "Hour", "Saat"},
    {Word::Calls, "Calls", "Çağrılar"},
    {Word::Duration, "Duration", "Süre"},
    {Word::Pulses, "Pulses", "Sayaç"},
    {Word::Amount, "Amount", "Tutar"},
    {Word::NewestRecords, "Newest record per exchange", "Santral başına en yeni kayıt"},
    {Word::Exchange, "Exchange", "Santral"},
    {Word::Time, "Time", "Zaman"},
    {Word::Rule, "Rule", "Kural"},
    {Word::Severity, "Severity", "Önem"},
    {Word::Port, "Port", "Port"},
    {Word::Record, "Record", "Kayıt"},
    {Word::Text, "Text", "Metin"},
    {Word::DatabaseUnavailable, "The database cannot be reached at the moment.", "Veritabanına şu anda ulaşılamıyor."},
    {Word::Users, "Users", "Kullanıcılar"},
    {Word::Recordings, "Recordings", "Ses kayıtları"},
};
// clang-format on

double qualityOf(std::string_view item) {
  const size_t q = item.find(";q=");
  if (q == std::string_view::npos) return 1.0;
  return std::atof(std::string(item.substr(q + 3)).c_str());
}

}  // namespace

PageLanguage languageOf(std::string_view header) {
  double tr = -1, en = -1;
  size_t start = 0;
  while (start <= header.size()) {
    size_t comma = header.find(',', start);
    if (comma == std::string_view::npos) comma = header.size();
    std::string_view item = header.substr(start, comma - start);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    const double q = qualityOf(item);
    if (item.rfind("tr", 0) == 0 && q > tr) tr = q;
    if ((item.rfind("en", 0) == 0 || item.rfind("*", 0) == 0) && q > en) en = q;
    start = comma + 1;
  }
  return tr > 0 && tr > en ? PageLanguage::Turkish : PageLanguage::English;
}

PageTexts::PageTexts(PageLanguage lang)
    : lang_(lang), table_(&textsFor(lang == PageLanguage::Turkish && turkishPresent() ? 1 : 0)) {}

std::string PageTexts::word(Word w) const {
  for (const auto& e : kWords)
    if (e.w == w) return lang_ == PageLanguage::Turkish ? e.tr : e.en;
  return {};
}

std::string PageTexts::window(int id) const {
  std::string t = corvane::toUtf8(table_->text(id), table_->codePage());
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '&' && i + 1 < t.size() && t[i + 1] != '&') continue;
    out += t[i];
  }
  return out;
}

}  // namespace lumarc::web
