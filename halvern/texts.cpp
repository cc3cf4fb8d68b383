#include "halvern/texts.h"

#include <iterator>

namespace halvern {

namespace {

// English texts, UTF-8 source (all ASCII). Complete: the other languages
// fall back to it.
constexpr corvane::TextEntry kEnglish[] = {
    {kTextAboutMenu, "&About Halvern..."},
    {kTextOleFailed, "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {kTextSocketsFailed, "Windows sockets initialization failed."},
    {kTextTagUpdateTitle, "Tag update"},
    {kTextCompany, "Brennic"},
    {kTextLanguage, "Language"},
    {kTextEnglish, "English"},
    {kTextTurkish, "Turkish"},
    {kTextSettingsTitle, "Settings"},
    {kTextHostLabel, "Corvane IP address"},
    {kTextAccountLabel, "Corvane account"},
    {kTextPasswordLabel, "Corvane password"},
    {kTextTagDefault, "Default"},
    {kTextTagShiftFastFlash, "Shift fast flash"},
    {kTextAuthIdLabel, "Corvane authentication Id."},
    {kTextKeyEsc, "ESC"},
    {kTextKeyOk, "OK"},
    {kTextKeyDel, "DEL"},
    {kTextAudioDeviceNotFound, "Audio device not found!"},
    {kTextTagShiftSlowFlash, "Shift slow flash"},
    {kTextKeyYes, "Yes"},
    {kTextKeyNo, "No"},
    {kTextKeyMute, "Mute"},
    {kTextKeyRec, "Rec"},
    {kTextKeyFlsh, "Flsh"},
    {kTextKeyTran, "Tran"},
    {kTextKeyShift, "Shift"},
    {kTextKeyRed, "Red"},
    {kTextKeyDsc, "Dsc"},
    {kTextKeyCnf, "Cnf"},
    {kTextSocketFault, "Socket fault!"},
    {kTextReinstall, "Initialization failure, reinstall Halvern!"},
    {kTextWindowsVersion, "Windows version incompatile!"},
    {kTextLampFwd, "Fwd"},
    {kTextLampWkUp, "WkUp"},
    {kTextLampCamp, "Camp"},
    {kTextLampDsbl, "Dsbl"},
    {kTextLampVmsg, "Vmsg"},
    {kTextTagShiftOn, "Shift on"},
    {kTextLoad, "Load"},
    {kTextSave, "Save"},
    {kTextOk, "OK"},
    {kTextPolish, "Polish"},
    {kTextHungarian, "Hungarian"},
    {kTextConnectedAs, "Connected to %s as %s"},
    {kTextProfile, "Profile"},
    {kTextDelete, "Delete"},
    {kTextCancel, "Cancel"},
    {kTextTimerFailed, "Timer startup failed"},
    {kTextDownloadFailed, "Download failed!"},
    {kTextDownloadedFile, "Downloaded file:"},
    {kTextFileOpenFailed, "File open failed!"},
    {kTextDownloading, "Downloading "},
    {kTextConnectingToServer, "Connecting to server "},
    {kTextVoiceRecordingsTitle, "Voice Recordings"},
    {kTextDownload, "Download"},
    {kTextNoConnection, "No connection"},
    {kTextLampInUse, "InUse"},
    {kTextSettingsMenu, "&Settings..."},
    {kTextEditTagsMenu, "Edit tags"},
    {kTextVoiceRecordingsMenu, "Voice Recordings"},
};

// The keyset's own key and lamp captions (ESC, OK, DEL, Rec, Flsh, ...) are
// printed on the keyset and stay as they are in every language.

constexpr corvane::TextEntry kTurkish[] = {
    {kTextAboutMenu, "Halvern &hakkında..."},
    {kTextTagUpdateTitle, "Etiket güncelleme"},
    {kTextLanguage, "Dil"},
    {kTextEnglish, "İngilizce"},
    {kTextTurkish, "Türkçe"},
    {kTextSettingsTitle, "Ayarlar"},
    {kTextHostLabel, "Corvane IP adresi"},
    {kTextAccountLabel, "Corvane hesabı"},
    {kTextPasswordLabel, "Corvane şifresi"},
    {kTextTagDefault, "Varsayılan"},
    {kTextTagShiftFastFlash, "Shift hızlı yanıp sönen"},
    {kTextAuthIdLabel, "Corvane kimlik no."},
    {kTextAudioDeviceNotFound, "Ses aygıtı bulunamadı!"},
    {kTextTagShiftSlowFlash, "Shift yavaş yanıp sönen"},
    {kTextKeyYes, "Evet"},
    {kTextKeyNo, "Hayır"},
    {kTextKeyMute, "Sessiz"},
    {kTextSocketFault, "Soket hatası!"},
    {kTextReinstall, "Başlatma hatası, Halvern'i yeniden kurun!"},
    {kTextWindowsVersion, "Windows sürümü uyumsuz!"},
    {kTextTagShiftOn, "Shift yanık"},
    {kTextLoad, "Yükle"},
    {kTextSave, "Kaydet"},
    {kTextOk, "Tamam"},
    {kTextPolish, "Lehçe"},
    {kTextHungarian, "Macarca"},
    {kTextConnectedAs, "%s santraline %s olarak bağlı"},
    {kTextProfile, "Profil"},
    {kTextDelete, "Sil"},
    {kTextCancel, "İptal"},
    {kTextDownloadFailed, "İndirme başarısız!"},
    {kTextDownloadedFile, "İndirilen dosya:"},
    {kTextFileOpenFailed, "Dosya açılamadı!"},
    {kTextDownloading, "İndiriliyor "},
    {kTextConnectingToServer, "Sunucuya bağlanıyor "},
    {kTextVoiceRecordingsTitle, "Ses Kayıtları"},
    {kTextDownload, "İndir"},
    {kTextNoConnection, "Bağlantı yok"},
    {kTextSettingsMenu, "&Ayarlar..."},
    {kTextEditTagsMenu, "Etiketleri düzenle"},
    {kTextVoiceRecordingsMenu, "Ses Kayıtları"},
};

constexpr corvane::TextEntry kPolish[] = {
    {kTextAboutMenu, "&O programie Halvern..."},
    {kTextTagUpdateTitle, "Zmiana etykiety"},
    {kTextLanguage, "Język"},
    {kTextEnglish, "Angielski"},
    {kTextTurkish, "Turecki"},
    {kTextSettingsTitle, "Ustawienia"},
    {kTextHostLabel, "Adres IP Corvane"},
    {kTextAccountLabel, "Konto Corvane"},
    {kTextPasswordLabel, "Hasło Corvane"},
    {kTextTagDefault, "Domyślna"},
    {kTextTagShiftFastFlash, "Shift miga szybko"},
    {kTextAuthIdLabel, "Id. uwierzytelniania Corvane"},
    {kTextAudioDeviceNotFound, "Nie znaleziono urządzenia audio!"},
    {kTextTagShiftSlowFlash, "Shift miga wolno"},
    {kTextKeyYes, "Tak"},
    {kTextKeyNo, "Nie"},
    {kTextKeyMute, "Cisza"},
    {kTextSocketFault, "Błąd gniazda!"},
    {kTextReinstall, "Błąd inicjalizacji, zainstaluj ponownie Halvern!"},
    {kTextWindowsVersion, "Niezgodna wersja Windows!"},
    {kTextTagShiftOn, "Shift świeci"},
    {kTextLoad, "Wczytaj"},
    {kTextSave, "Zapisz"},
    {kTextOk, "OK"},
    {kTextPolish, "Polski"},
    {kTextHungarian, "Węgierski"},
    {kTextConnectedAs, "Połączono z %s jako %s"},
    {kTextProfile, "Profil"},
    {kTextDelete, "Usuń"},
    {kTextCancel, "Anuluj"},
    {kTextDownloadFailed, "Pobieranie nieudane!"},
    {kTextDownloadedFile, "Pobrane pliki:"},
    {kTextFileOpenFailed, "Nie można otworzyć pliku!"},
    {kTextDownloading, "Pobieranie "},
    {kTextConnectingToServer, "Łączenie z serwerem "},
    {kTextVoiceRecordingsTitle, "Nagrania rozmów"},
    {kTextDownload, "Pobierz"},
    {kTextNoConnection, "Brak połączenia"},
    {kTextSettingsMenu, "&Ustawienia..."},
    {kTextEditTagsMenu, "Edytuj etykiety"},
    {kTextVoiceRecordingsMenu, "Nagrania rozmów"},
};

constexpr corvane::TextEntry kHungarian[] = {
    {kTextAboutMenu, "A Halvern &névjegye..."},
    {kTextTagUpdateTitle, "Címke módosítása"},
    {kTextLanguage, "Nyelv"},
    {kTextEnglish, "Angol"},
    {kTextTurkish, "Török"},
    {kTextSettingsTitle, "Beállítások"},
    {kTextHostLabel, "Corvane IP-cím"},
    {kTextAccountLabel, "Corvane fiók"},
    {kTextPasswordLabel, "Corvane jelszó"},
    {kTextTagDefault, "Alapértelmezett"},
    {kTextTagShiftFastFlash, "Shift gyorsan villog"},
    {kTextAuthIdLabel, "Corvane hitelesítési azon."},
    {kTextAudioDeviceNotFound, "Nem található hangeszköz!"},
    {kTextTagShiftSlowFlash, "Shift lassan villog"},
    {kTextKeyYes, "Igen"},
    {kTextKeyNo, "Nem"},
    {kTextKeyMute, "Néma"},
    {kTextSocketFault, "Csatlakozóhiba!"},
    {kTextReinstall, "Indítási hiba, telepítse újra a Halvernt!"},
    {kTextWindowsVersion, "Nem megfelelő Windows-verzió!"},
    {kTextTagShiftOn, "Shift világít"},
    {kTextLoad, "Betöltés"},
    {kTextSave, "Mentés"},
    {kTextOk, "OK"},
    {kTextPolish, "Lengyel"},
    {kTextHungarian, "Magyar"},
    {kTextConnectedAs, "Kapcsolódva: %s, mint %s"},
    {kTextProfile, "Profil"},
    {kTextDelete, "Törlés"},
    {kTextCancel, "Mégse"},
    {kTextDownloadFailed, "A letöltés sikertelen!"},
    {kTextDownloadedFile, "Letöltött fájl:"},
    {kTextFileOpenFailed, "A fájl nem nyitható meg!"},
    {kTextDownloading, "Letöltés "},
    {kTextConnectingToServer, "Kapcsolódás a szerverhez "},
    {kTextVoiceRecordingsTitle, "Hangfelvételek"},
    {kTextDownload, "Letöltés"},
    {kTextNoConnection, "Nincs kapcsolat"},
    {kTextSettingsMenu, "&Beállítások..."},
    {kTextEditTagsMenu, "Címkék szerkesztése"},
    {kTextVoiceRecordingsMenu, "Hangfelvételek"},
};

corvane::StringTable makeTable(const corvane::TextEntry* entries, std::size_t count, corvane::Language lang,
                               const corvane::StringTable* fallback) {
  corvane::StringTable t;
  t.add(entries, count, true, int(corvane::codePageFor(lang)));
  t.setFallback(fallback);
  return t;
}

}  // namespace

corvane::Language languageOf(int language) {
  switch (language) {
    case 1: return corvane::Language::Turkish;
    case 2: return corvane::Language::Polish;
    case 3: return corvane::Language::Hungarian;
    default: return corvane::Language::English;
  }
}

const corvane::StringTable& textsFor(int language) {
  static const corvane::StringTable english =
      makeTable(kEnglish, std::size(kEnglish), corvane::Language::English, nullptr);
  static const corvane::StringTable turkish =
      makeTable(kTurkish, std::size(kTurkish), corvane::Language::Turkish, &english);
  static const corvane::StringTable polish =
      makeTable(kPolish, std::size(kPolish), corvane::Language::Polish, &english);
  static const corvane::StringTable hungarian =
      makeTable(kHungarian, std::size(kHungarian), corvane::Language::Hungarian, &english);
  switch (languageOf(language)) {
    case corvane::Language::Turkish: return turkish;
    case corvane::Language::Polish: return polish;
    case corvane::Language::Hungarian: return hungarian;
    case corvane::Language::English: break;
  }
  return english;
}

const std::string& text(int id, int language) { return textsFor(language).text(id); }

}  // namespace halvern
