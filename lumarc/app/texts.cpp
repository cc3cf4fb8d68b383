#include "lumarc/app/texts.h"

#include <iterator>

namespace lumarc {

namespace {

// English texts, UTF-8 source (all ASCII).
constexpr corvane::TextEntry kEnglish[] = {
    {kTextLanguageTag, "Eng"},
    {kTextFileAccessFailed, "File access failed!"},
    {kTextMemoryAllocationFailed, "Memory allocation failed!"},
    {kTextDatabaseAccessFailed, "Database access Failed!"},
    {kTextImportedRecords, "Imported records"},
    {kTextUserChargePulseCounters, "User charge pulse counters"},
    {kTextCaptionUsers, "Users"},
    {kTextCaptionDialledNumbers, "Dialled numbers"},
    {kTextCaptionCallingNumbers, "Calling numbers"},
    {kTextCaptionCmdrBrowser, "Cmdr browser"},
    {kTextCaptionVoiceBrowser, "Voice recording browser"},
    {kTextCaptionWizard, "Corvane wizard"},
    {kTextCaptionExchangeBrowser, "Corvane browser"},
    {kTextCaptionCallTrace, "Call trace"},

    {kTextSocketClosedUnexpectedly, "Socket closed unexpectedly!"},
    {kTextSocketOpeningFault, "Socket opening fault!"},
    {kTextReceivedDataFormatFaulty, "Received data format faulty!"},
    {kTextSocketCreationFault, "Socket creation fault!"},
    {kTextInsufficientMemory, "Insufficient memory!"},
    {kTextPortAccessCodeNotFound, "Port access code not found!"},
    {kTextConnectionLimitExceeded, "Connection limit exceeded"},
    {kTextCorvaneRefusedConnection, "Corvane refused connection. Press OK!"},
    {kTextSocketConnectionFault, "Socket connection fault!"},
    {kTextSocketBindingFault, "Socket binding fault!"},
    {kTextSocketOptionsFault, "Socket options fault!"},
    {kTextSocketIoctlFault, "Socket ioctl fault!"},
    {kTextDbaseAllocationFailed, "Dbase allocation failed!"},
    {kTextDbaseOpenFailed, "Dbase open failed!"},
    {kTextSqlConfigError, "SQL Config error!"},
    {kTextImportQuestion, "Olvar.Mdb exists, do you want to import?"},
    {kTextUnableToLoadMail, "Unable to load mail system support."},
    {kTextSendMailFailed, "Send Mail failed to send message."},
    {kTextDatabaseConnectionLost, "Database connection lost: "},
    {kTextDatabaseConnectionRestored, "Database connection restored"},
    {kTextRecordingNotWritable, "Recording file not writable!"},

    {kTextPaneMonitor, "Monitor"},
    {kTextPaneCmdr, "Cmdr download"},
    {kTextPaneVoice, "Voice recording download"},
    {kTextPaneProperties, "Properties"},
    {kTextInfoTitle, "Info"},
    {kTextInfoDescription, "Last informative message of Lumarc to the user."},
    {kTextCustomize, "Customize..."},
    {kTextOpenTip, "Open a new connection to Corvane"},
    {kTextCloseTip, "Close Corvane connection"},
    {kTextScrollTip, "Toggle scroll"},
    {kTextMailTip, "Close monitor connection and send recorded events as mail attachement"},
    {kTextOpenLabel, "Open"},
    {kTextCloseLabel, "Close"},
    {kTextScrollLabel, "Scroll"},
    {kTextMailLabel, "Mail"},
    {kTextCmdrAddressTip, "<Corvane URL> : <port number> to open CMDR download connection to Corvane"},
    {kTextMonitorAddressTip,
     "<Corvane URL> : <port number> , <password> - <access code> to open monitor connection to Corvane"},
    {kTextVoiceAddressTip,
     "<Corvane URL> : <port number> to open automatic voice recording download connection to Corvane"},
    {kTextAutoScrollSetting, "Auto scroll of download windows"},
    {kTextLayer2Setting, "Decoding of Layer 2 messages in monitor windows"},
    {kTextLanguageSetting, "Set system language, After changing the setting terminate and restart Lumarc "},
    {kTextMenuFile, "&File"},
    {kTextMenuView, "&View"},
    {kTextMenuHelp, "&Help"},
    {kTextMenuExit, "E&xit"},
    {kTextNoDisplay, "No display is available. Use lumarc-cli to collect, monitor and decode without a window."},

    {kCmdCorvane, "Corvane Browser\nCorvane"},
    {kCmdCmdr, "Cmdr browser\nCmdr"},
    {kCmdVoice, "Voice recording browser\nVoice recording"},
    {kCmdCloseView, "Close browser connection\nClose"},
    {kCmdSettings, "System settings\nSettings"},
    {kCmdBack, "Back to the previous view\nBack"},
    {kCmdHome, "Home page of the exchange\nHome"},
    {kCmdDatabase, "Connect a database\nDatabase"},
    {kCmdSelect, "Selection of records\nSelect"},
    {kCmdUsers, "Users\nUsers"},
    {kCmdDigits, "Dialled numbers\nDigits"},
    {kCmdClip, "Calling numbers\nClip"},
    {kCmdDelete, "Delete the definition\nDelete"},
    {kCmdScan, "Scan the list again\nScan"},
    {kCmdAdd, "Add a definition\nAdd"},
    {kCmdEdit, "Edit the selected line\nEdit"},
    {kCmdSaveTemplate, "Save the selection template\nSave"},
    {kCmdList, "List the selected records\nList"},
    {kCmdChart, "Call statistics charts\nChart"},
    {kCmdArchive, "Archive the listed records\nArchive"},
    {kCmdTrash, "Delete the listed records\nTrash"},
    {kCmdPlay, "Play the recording\nPlay"},
    {kCmdCallTrace, "Trace the call\nCall trace"},
    {kCmdExpert, "Expert web pages of the exchange\nExpert"},
    {kCmdWizard, "IP settings wizard\nWizard"},
    {kCmdEasy, "Easy web pages of the exchange\nEasy"},
    {kCmdSaveIp, "Save the IP settings in the exchange\nSave IP"},
    {kCmdRecommendedIp, "Use the recommended IP settings\nRecommended IP"},
    {kCmdUpload, "Upload the system parameter file\nUpload"},
    {kCmdFactory, "Factory settings\nFactory"},
    {kCmdMail, "Mail the report\nMail"},
    {kCmdSave, "Save the report\nSave"},
    {kCmdPageBack, "Previous page\nPage back"},
    {kCmdPageForward, "Next page\nPage forward"},
    {kCmdAbout, "Program information\nAbout"},
};

// Turkish texts, UTF-8 source, converted to code page 1254.
constexpr corvane::TextEntry kTurkish[] = {
    {kTextLanguageTag, "Trk"},
    {kTextFileAccessFailed, "Dosya erişimi başarısız!"},
    {kTextMemoryAllocationFailed, "Bellek ayrılamadı!"},
    {kTextDatabaseAccessFailed, "Veritabanı erişimi başarısız!"},
    {kTextImportedRecords, "Aktarılan kayıtlar"},
    {kTextUserChargePulseCounters, "Kullanıcı ücret sayaçları"},
    {kTextCaptionUsers, "Kullanıcılar"},
    {kTextCaptionDialledNumbers, "Aranan numaralar"},
    {kTextCaptionCallingNumbers, "Arayan numaralar"},
    {kTextCaptionCmdrBrowser, "Cmdr tarayıcısı"},
    {kTextCaptionVoiceBrowser, "Ses kaydı tarayıcısı"},
    {kTextCaptionWizard, "Corvane sihirbazı"},
    {kTextCaptionExchangeBrowser, "Corvane tarayıcısı"},
    {kTextCaptionCallTrace, "Çağrı izleme"},

    {kTextSocketClosedUnexpectedly, "Soket beklenmedik şekilde kapandı!"},
    {kTextSocketOpeningFault, "Soket açma hatası!"},
    {kTextReceivedDataFormatFaulty, "Alınan veri biçimi hatalı!"},
    {kTextSocketCreationFault, "Soket oluşturma hatası!"},
    {kTextInsufficientMemory, "Yetersiz bellek!"},
    {kTextPortAccessCodeNotFound, "Port erişim kodu bulunamadı!"},
    {kTextConnectionLimitExceeded, "Bağlantı sınırı aşıldı"},
    {kTextCorvaneRefusedConnection, "Corvane bağlantıyı reddetti. Tamam'a basın!"},
    {kTextSocketConnectionFault, "Soket bağlantı hatası!"},
    {kTextSocketBindingFault, "Soket bağlama hatası!"},
    {kTextSocketOptionsFault, "Soket seçenekleri hatası!"},
    {kTextSocketIoctlFault, "Soket ioctl hatası!"},
    {kTextDbaseAllocationFailed, "Veritabanı ayrılamadı!"},
    {kTextDbaseOpenFailed, "Veritabanı açılamadı!"},
    {kTextSqlConfigError, "SQL yapılandırma hatası!"},
    {kTextImportQuestion, "Olvar.Mdb var, içe aktarmak istiyor musunuz?"},
    {kTextUnableToLoadMail, "Posta sistemi desteği yüklenemedi."},
    {kTextSendMailFailed, "Posta gönderilemedi."},
    {kTextDatabaseConnectionLost, "Veritabanı bağlantısı koptu: "},
    {kTextDatabaseConnectionRestored, "Veritabanı bağlantısı yeniden kuruldu"},
    {kTextRecordingNotWritable, "Kayıt dosyası yazılamıyor!"},

    {kTextPaneMonitor, "İzleme"},
    {kTextPaneCmdr, "Cmdr indirme"},
    {kTextPaneVoice, "Ses kaydı indirme"},
    {kTextPaneProperties, "Özellikler"},
    {kTextInfoTitle, "Bilgi"},
    {kTextInfoDescription, "Lumarc'ın kullanıcıya son bilgi mesajı."},
    {kTextCustomize, "Özelleştir..."},
    {kTextOpenTip, "Corvane'a yeni bağlantı aç"},
    {kTextCloseTip, "Corvane bağlantısını kapat"},
    {kTextScrollTip, "Kaydırmayı aç/kapat"},
    {kTextMailTip, "İzleme bağlantısını kapat ve kaydedilen olayları e-posta eki olarak gönder"},
    {kTextOpenLabel, "Aç"},
    {kTextCloseLabel, "Kapat"},
    {kTextScrollLabel, "Kaydır"},
    {kTextMailLabel, "Posta"},
    {kTextCmdrAddressTip, "<Corvane adresi> : <port numarası> ile Corvane'a CMDR indirme bağlantısı açılır"},
    {kTextMonitorAddressTip,
     "<Corvane adresi> : <port numarası> , <parola> - <erişim kodu> ile Corvane'a izleme bağlantısı açılır"},
    {kTextVoiceAddressTip,
     "<Corvane adresi> : <port numarası> ile Corvane'a otomatik ses kaydı indirme bağlantısı açılır"},
    {kTextAutoScrollSetting, "İndirme pencerelerinde otomatik kaydırma"},
    {kTextLayer2Setting, "İzleme pencerelerinde Katman 2 mesajlarının çözülmesi"},
    {kTextLanguageSetting, "Sistem dili; ayar değiştirildikten sonra Lumarc'ı kapatıp yeniden başlatın "},
    {kTextMenuFile, "&Dosya"},
    {kTextMenuView, "&Görünüm"},
    {kTextMenuHelp, "&Yardım"},
    {kTextMenuExit, "Çı&kış"},
    {kTextNoDisplay, "Ekran yok. Pencere olmadan toplama, izleme ve çözme için lumarc-cli kullanın."},

    {kCmdCorvane, "Corvane tarayıcısı\nCorvane"},
    {kCmdCmdr, "Cmdr tarayıcısı\nCmdr"},
    {kCmdVoice, "Ses kaydı tarayıcısı\nSes kaydı"},
    {kCmdCloseView, "Tarayıcı bağlantısını kapat\nKapat"},
    {kCmdSettings, "Sistem ayarları\nAyarlar"},
    {kCmdBack, "Önceki görünüme dön\nGeri"},
    {kCmdHome, "Santralin ana sayfası\nAna sayfa"},
    {kCmdDatabase, "Veritabanı bağla\nVeritabanı"},
    {kCmdSelect, "Kayıt seçimi\nSeç"},
    {kCmdUsers, "Kullanıcılar\nKullanıcılar"},
    {kCmdDigits, "Aranan numaralar\nNumaralar"},
    {kCmdClip, "Arayan numaralar\nArayan"},
    {kCmdDelete, "Tanımı sil\nSil"},
    {kCmdScan, "Listeyi yeniden tara\nTara"},
    {kCmdAdd, "Tanım ekle\nEkle"},
    {kCmdEdit, "Seçili satırı düzenle\nDüzenle"},
    {kCmdSaveTemplate, "Seçim şablonunu kaydet\nKaydet"},
    {kCmdList, "Seçili kayıtları listele\nListele"},
    {kCmdChart, "Çağrı istatistik grafikleri\nGrafik"},
    {kCmdArchive, "Listelenen kayıtları arşivle\nArşiv"},
    {kCmdTrash, "Listelenen kayıtları sil\nÇöp"},
    {kCmdPlay, "Kaydı çal\nÇal"},
    {kCmdCallTrace, "Çağrıyı izle\nÇağrı izleme"},
    {kCmdExpert, "Santralin uzman web sayfaları\nUzman"},
    {kCmdWizard, "IP ayarları sihirbazı\nSihirbaz"},
    {kCmdEasy, "Santralin kolay web sayfaları\nKolay"},
    {kCmdSaveIp, "IP ayarlarını santrale kaydet\nIP kaydet"},
    {kCmdRecommendedIp, "Önerilen IP ayarlarını kullan\nÖnerilen IP"},
    {kCmdUpload, "Sistem parametre dosyasını yükle\nYükle"},
    {kCmdFactory, "Fabrika ayarları\nFabrika"},
    {kCmdMail, "Raporu postala\nPosta"},
    {kCmdSave, "Raporu kaydet\nKaydet"},
    {kCmdPageBack, "Önceki sayfa\nSayfa geri"},
    {kCmdPageForward, "Sonraki sayfa\nSayfa ileri"},
    {kCmdAbout, "Program bilgisi\nHakkında"},
};

corvane::StringTable makeEnglish() {
  corvane::StringTable t;
  t.add(kEnglish, std::size(kEnglish), true, int(corvane::CodePage::Cp1252));
  return t;
}

corvane::StringTable makeTurkish() {
  corvane::StringTable t;
  t.add(kTurkish, std::size(kTurkish), true, int(corvane::CodePage::Cp1254));
  t.setFallback(&englishTexts());
  return t;
}

}  // namespace

const corvane::StringTable& englishTexts() {
  static const corvane::StringTable t = makeEnglish();
  return t;
}

const corvane::StringTable& turkishTexts() {
  static const corvane::StringTable t = makeTurkish();
  return t;
}

bool turkishPresent() { return turkishTexts().text(kTextLanguageTag) == "Trk"; }

const corvane::StringTable& textsFor(uint32_t lang) {
  return lang == 1 && turkishPresent() ? turkishTexts() : englishTexts();
}

std::string commandLabel(const corvane::StringTable& t, int id) {
  const std::string& s = t.text(id);
  size_t nl = s.find('\n');
  return nl == std::string::npos ? s : s.substr(nl + 1);
}

std::string commandTip(const corvane::StringTable& t, int id) {
  const std::string& s = t.text(id);
  return s.substr(0, s.find('\n'));
}

}  // namespace lumarc
