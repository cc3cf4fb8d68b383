#include "lumarc/browse/ui/selection_form.h"

#include "common/format.h"
#include "common/qt/qt_text.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/browse/selection.h"
#include "lumarc/store/database.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimeEdit>

#include <arpa/inet.h>

#include <set>

namespace lumarc::browse {

namespace {

constexpr int kPulseMax = 99999999;
// A definition entry: the name in 8, a blank, the digits from the tenth character on.
constexpr size_t kDefinitionDigitsAt = 9;

QDate qdate(const DateTime& t) { return QDate(t.year, t.month, t.day); }
QTime qtime(const DateTime& t) { return QTime(t.hour, t.minute, t.second); }
DateTime dateTime(const QDate& d, const QTime& t) {
  return DateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

std::string padRight(std::string s, size_t n) {
  s.resize(n, ' ');
  return s;
}

}  // namespace

CfwSdlg::CfwSdlg(const corvane::StringTable& texts, SelectionFormHooks hooks, QWidget* parent)
    : QWidget(parent), texts_(texts), hooks_(std::move(hooks)) {
  setObjectName("selectionForm");
  auto label = [&](int id) { return new QLabel(corvane::qtext(texts_, id), this); };
  auto combo = [&](std::initializer_list<int> ids) {
    auto* c = new QComboBox(this);
    for (int id : ids) c->addItem(corvane::qtext(texts_, id));
    return c;
  };
  auto spin = [&] {
    auto* s = new QSpinBox(this);
    s->setRange(0, kPulseMax);
    return s;
  };
  auto timeEdit = [&](const char* format) {
    auto* t = new QTimeEdit(this);
    t->setDisplayFormat(format);
    return t;
  };
  auto dateEdit = [&] {
    auto* d = new QDateEdit(this);
    d->setDisplayFormat("yyyy-MM-dd");
    d->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));
    return d;
  };

  title_ = new QLabel(this);
  templates_ = new QComboBox(this);
  name_ = new QLineEdit(this);
  name_->setMaxLength(int(width::kTName));
  variant_ = combo({kTextAllRecords, kTextCallRecords, kTextSystemRecords, kTextServiceRecords, kTextMaliciousCalls,
                    kTextRoomReports});
  noDetails_ = new QCheckBox(corvane::qtext(texts_, kTextNoDetails), this);
  dateFrom_ = dateEdit();
  dateTo_ = dateEdit();
  timeFrom_ = timeEdit("HH:mm");
  timeTo_ = timeEdit("HH:mm");
  durationMin_ = timeEdit("HH:mm:ss");
  durationMax_ = timeEdit("HH:mm:ss");
  price_ = new QDoubleSpinBox(this);
  price_->setRange(0, kPulseMax);
  price_->setDecimals(4);
  unit_ = new QLineEdit(this);
  unit_->setMaxLength(int(width::kTPort));
  rpulsMin_ = spin(), rpulsMax_ = spin(), ppulsMin_ = spin(), ppulsMax_ = spin();
  incoming_ = combo({kTextAll, kTextIncomingSubscriber, kTextIncomingTrunk});
  outgoing_ = combo({kTextAll, kTextOutgoingSubscriber, kTextOutgoingTrunk});
  star_ = combo({kTextAll, kTextNoStar});
  for (int i = 1; i <= 15; ++i) star_->addItem(QString::number(i));
  lineFormat_ = combo({kTextLong, kTextShort});
  replace_ = combo({kTextNo, kTextDialledDigits, kTextCallingNumber, kTextBoth});
  ackedFree_ = new QCheckBox(corvane::qtext(texts_, kTextAckedCallsFree), this);
  mode_ = combo(
      {kTextAllTimeSorted, kTextAllUserSorted, kTextSelectedUsers, kTextSingleUser, kTextDepartments, kTextSections});
  listed_ = new QComboBox(this);
  portEdit_ = new QLineEdit(this);
  portEdit_->setMaxLength(int(width::kTPort));
  portChoice_ = new QComboBox(this);
  dialledEdit_ = new QLineEdit(this);
  dialledEdit_->setMaxLength(int(width::kTDgts));
  dialledChoice_ = new QComboBox(this);
  callingEdit_ = new QLineEdit(this);
  callingEdit_->setMaxLength(int(width::kTDgts));
  callingChoice_ = new QComboBox(this);
  address_ = new QLineEdit(this);
  address_->setPlaceholderText("0.0.0.0");
  direction_ = combo({kTextAll, kTextIncoming, kTextOutgoing});

  auto* grid = new QGridLayout(this);
  int row = 0;
  auto pair = [&](QWidget* l, QWidget* a, QWidget* b = nullptr) {
    grid->addWidget(l, row, 0);
    grid->addWidget(a, row, 1);
    if (b) grid->addWidget(b, row, 2);
    ++row;
  };
  grid->addWidget(title_, row++, 0, 1, 3);
  pair(label(kTextTemplate), templates_);
  pair(label(kTextName), name_);
  pair(label(kTextRecordVariant), variant_, noDetails_);
  pair(label(kTextDateRange), dateFrom_, dateTo_);
  pair(label(kTextTimeRange), timeFrom_, timeTo_);
  pair(label(kTextDurationMinMax), durationMin_, durationMax_);
  pair(label(kTextPriceUnit), price_, unit_);
  pair(label(kTextExternalPulseMinMax), rpulsMin_, rpulsMax_);
  pair(label(kTextInternalPulseMinMax), ppulsMin_, ppulsMax_);
  pair(label(kTextIncomingSide), incoming_);
  pair(label(kTextOutgoingSide), outgoing_);
  pair(label(kTextStarCount), star_);
  pair(label(kTextLineFormat), lineFormat_);
  pair(label(kTextReplaceDigits), replace_, ackedFree_);
  pair(label(kTextListedUsers), mode_, listed_);
  pair(label(kTextUsedPort), portEdit_, portChoice_);
  pair(label(kTextDialledDigits), dialledEdit_, dialledChoice_);
  pair(label(kTextCallingNumber), callingEdit_, callingChoice_);
  pair(label(kTextCorvaneIp), address_);
  pair(label(kTextCallDirection), direction_);
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(3, 1);

  connect(templates_, &QComboBox::activated, this, [this](int i) { templateChosen(i); });
  connect(variant_, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) applyEnabling();
  });
  connect(mode_, &QComboBox::currentIndexChanged, this, [this] {
    if (filling_) return;
    fillListed();
    applyEnabling();
  });
  for (auto [edit, choice] : {std::pair{portEdit_, portChoice_}, std::pair{dialledEdit_, dialledChoice_},
                              std::pair{callingEdit_, callingChoice_}}) {
    connect(edit, &QLineEdit::textChanged, this, [this, e = edit, c = choice] { pairChanged(e, c); });
  }
  load(defaultSelection());
}

std::string CfwSdlg::text(const QLineEdit* e) const { return corvane::bytes(texts_, e->text()); }

void CfwSdlg::showFor(bool voice, const TemplateRecord& s) {
  voice_ = voice;
  title_->setText(corvane::qtext(texts_, voice ? kTextSelectVoiceFilter : kTextSelectCmdrFilter));
  fillTemplates();
  fillChoices();
  load(s);
  chosen_ = -1;
  templates_->setCurrentIndex(0);
}

void CfwSdlg::fillTemplates() {
  templates_->clear();
  templateKeys_.clear();
  templates_->addItem(corvane::qtext(texts_, kTextNewRecord));
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!db) return;
  std::string error;
  auto rows = loadTemplates(*db, error);
  if (!rows) {
    if (hooks_.message) hooks_.message(texts_.text(kTextDatabaseAccessFailed) + " " + error);
    return;
  }
  for (const TemplateRecord& t : *rows) {
    templates_->addItem(corvane::qtext(texts_, t.TName));
    templateKeys_.push_back(t.TSno);
  }
}

void CfwSdlg::fillChoices() {
  const QString all = corvane::qtext(texts_, kTextAll);
  for (QComboBox* c : {portChoice_, dialledChoice_, callingChoice_}) {
    c->clear();
    c->addItem(all);
  }
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!db) return;
  store::DrptPset users(*db);
  if (users.open(
          {}, store::Sort{store::SortKey{store::Expr::column("cport")}, store::SortKey{store::Expr::column("sqno")}})) {
    UserRecord u;
    while (users.next(u))
      portChoice_->addItem(corvane::qtext(texts_, corvane::portText8(u.cport) + " " + userNameText(u)));
  }
  for (auto [type, choice] : {std::pair{kDialledDigits, dialledChoice_}, std::pair{kCallingNumber, callingChoice_}}) {
    listDefinitions(*db, type, 1, [&, c = choice](const RouteRecord& r) {
      c->addItem(corvane::qtext(texts_, padRight(r.RName, 8) + " " + r.RDgts));
    });
  }
  fillListed();
}

void CfwSdlg::fillListed() {
  listed_->clear();
  const int mode = mode_->currentIndex();
  if (mode == kSingleUser) {
    for (int i = 1; i < portChoice_->count(); ++i) listed_->addItem(portChoice_->itemText(i));
    return;
  }
  if (mode != kDepartments && mode != kSections) return;
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!db) return;
  std::set<std::string> values;
  store::DrptPset users(*db);
  if (!users.open()) return;
  UserRecord u;
  while (users.next(u)) {
    const std::string& v = mode == kDepartments ? u.dept : u.sect;
    if (!v.empty() && v.front() != ' ') values.insert(v);
  }
  for (const std::string& v : values) listed_->addItem(corvane::qtext(texts_, v));
}

void CfwSdlg::pairChanged(QLineEdit* edit, QComboBox* choice) {
  if (!edit->text().isEmpty()) {
    choice->setEnabled(false);
    return;
  }
  choice->setEnabled(voice_ || variant_->currentIndex() == kCallRecords);
  choice->setCurrentIndex(0);
}

void CfwSdlg::applyEnabling() {
  const bool calls = !voice_ && variant_->currentIndex() == kCallRecords;
  const bool voiceOrCalls = voice_ || calls;
  variant_->setEnabled(!voice_);
  for (QWidget* w : std::initializer_list<QWidget*>{rpulsMin_, rpulsMax_, ppulsMin_, ppulsMax_, incoming_, outgoing_,
                                                    star_, price_, unit_, lineFormat_, replace_})
    w->setEnabled(calls);
  for (QWidget* w : std::initializer_list<QWidget*>{durationMin_, durationMax_, portEdit_, dialledEdit_, callingEdit_,
                                                    mode_, noDetails_, ackedFree_})
    w->setEnabled(voiceOrCalls);
  listed_->setEnabled(voiceOrCalls);
  direction_->setEnabled(voice_);
  for (auto [edit, choice] : {std::pair{portEdit_, portChoice_}, std::pair{dialledEdit_, dialledChoice_},
                              std::pair{callingEdit_, callingChoice_}})
    choice->setEnabled(voiceOrCalls && edit->text().isEmpty());
}

void CfwSdlg::load(const TemplateRecord& s) {
  filling_ = true;
  name_->setText(corvane::qtext(texts_, s.TName));
  variant_->setCurrentIndex(s.TRect >= 0 && s.TRect <= 5 ? s.TRect : 0);
  noDetails_->setChecked((s.TFlag & kNoDetails) != 0);
  dateFrom_->setDate(qdate(s.TStr));
  dateTo_->setDate(qdate(s.TEnd));
  timeFrom_->setTime(qtime(s.TStr));
  timeTo_->setTime(qtime(s.TEnd));
  durationMin_->setTime(qtime(s.TMid));
  durationMax_->setTime(qtime(s.TMad));
  price_->setValue(s.TPrce);
  unit_->setText(corvane::qtext(texts_, s.TPunt));
  rpulsMin_->setValue(s.TPmie);
  rpulsMax_->setValue(s.TPmae);
  ppulsMin_->setValue(s.TPmii);
  ppulsMax_->setValue(s.TPmai);
  incoming_->setCurrentIndex(s.TTlic >= 0 && s.TTlic <= 2 ? s.TTlic : 0);
  outgoing_->setCurrentIndex(s.TTlog >= 0 && s.TTlog <= 2 ? s.TTlog : 0);
  star_->setCurrentIndex(s.TStar >= 0 && s.TStar <= 16 ? s.TStar : 0);
  lineFormat_->setCurrentIndex(s.TRpfm == 1 ? 1 : 0);
  replace_->setCurrentIndex(s.TRplc >= 0 && s.TRplc <= 3 ? s.TRplc : 0);
  ackedFree_->setChecked(s.TAckf != 0);
  mode_->setCurrentIndex(s.TLtyp >= 0 && s.TLtyp <= 5 ? s.TLtyp : 0);
  fillListed();
  const QString listed = corvane::qtext(texts_, s.TLstr);
  int at = -1;
  for (int i = 0; i < listed_->count() && at < 0; ++i) {
    const std::string entry = corvane::bytes(texts_, listed_->itemText(i));
    if (s.TLtyp == kSingleUser ? selectionPort(entry) == selectionPort(s.TLstr) : entry == s.TLstr) at = i;
  }
  listed_->setCurrentIndex(at);
  portEdit_->setText(corvane::qtext(texts_, selectionPort(s.Tpuport)));
  dialledEdit_->setText(corvane::qtext(texts_, s.Tddgts));
  callingEdit_->setText(corvane::qtext(texts_, s.Tcdgts));
  address_->setText(s.ipadr ? QString::fromStdString(corvane::ipv4Text(s.ipadr)) : QString());
  direction_->setCurrentIndex(s.vrdir >= 0 && s.vrdir <= 2 ? s.vrdir : 0);
  filling_ = false;
  applyEnabling();
}

TemplateRecord CfwSdlg::read() const {
  TemplateRecord s = defaultSelection();
  s.TSno = chosen_;
  s.TFlag = noDetails_->isChecked() ? kNoDetails : 0;
  s.TRect = variant_->currentIndex();
  s.TName = text(name_);
  s.TPrce = price_->value();
  s.TPunt = text(unit_);
  s.TStr = dateTime(dateFrom_->date(), timeFrom_->time());
  s.TEnd = dateTime(dateTo_->date(), timeTo_->time());
  s.TStr.second = s.TEnd.second = 0;
  s.TMid = dateTime(QDate(1899, 12, 30), durationMin_->time());
  s.TMad = dateTime(QDate(1899, 12, 30), durationMax_->time());
  s.TPmie = rpulsMin_->value();
  s.TPmae = rpulsMax_->value();
  s.TPmii = ppulsMin_->value();
  s.TPmai = ppulsMax_->value();
  s.TTlic = incoming_->currentIndex();
  s.TTlog = outgoing_->currentIndex();
  s.TStar = star_->currentIndex();
  s.TRpfm = lineFormat_->currentIndex();
  s.TRplc = replace_->currentIndex();
  s.TAckf = ackedFree_->isChecked() ? 1 : 0;
  s.TLtyp = mode_->currentIndex();
  if (listed_->currentIndex() >= 0) {
    const std::string entry = corvane::bytes(texts_, listed_->currentText());
    s.TLstr = s.TLtyp == kSingleUser ? corvane::portText8(entry) : entry.substr(0, width::kTLstr);
  }
  // An edit with text wins over its drop-down.
  const std::string port = text(portEdit_);
  if (!port.empty())
    s.Tpuport = corvane::portText8(port);
  else if (portChoice_->currentIndex() > 0)
    s.Tpuport = corvane::portText8(corvane::bytes(texts_, portChoice_->currentText()));
  auto digits = [&](const QLineEdit* edit, const QComboBox* choice) {
    const std::string typed = text(edit);
    if (!typed.empty() || choice->currentIndex() <= 0) return typed;
    const std::string entry = corvane::bytes(texts_, choice->currentText());
    return entry.size() > kDefinitionDigitsAt ? entry.substr(kDefinitionDigitsAt) : std::string();
  };
  s.Tddgts = digits(dialledEdit_, dialledChoice_);
  s.Tcdgts = digits(callingEdit_, callingChoice_);
  in_addr a{};
  if (::inet_pton(AF_INET, address_->text().trimmed().toStdString().c_str(), &a) == 1) s.ipadr = ntohl(a.s_addr);
  s.vrdir = direction_->currentIndex();
  return s;
}

void CfwSdlg::templateChosen(int index) {
  if (index <= 0 || size_t(index - 1) >= templateKeys_.size()) {
    chosen_ = -1;
    load(defaultSelection());
    return;
  }
  chosen_ = templateKeys_[size_t(index - 1)];
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!db) return;
  store::DrptTset t(*db);
  if (std::optional<TemplateRecord> row = t.find(chosen_)) load(*row);
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
}

bool CfwSdlg::commandEnabled(int id) const {
  if (id == kCmdTrash) return chosen_ > 0;
  return id == kCmdSaveTemplate || id == kCmdList || id == kCmdBack;
}

void CfwSdlg::command(int id) {
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!db || !commandEnabled(id)) return;
  std::string error;
  if (id == kCmdSaveTemplate) {
    TemplateRecord s = read();
    if (!saveTemplate(*db, s, error) && hooks_.message)
      hooks_.message(texts_.text(kTextDatabaseAccessFailed) + " " + error);
    fillTemplates();
    chosen_ = -1;
    templates_->setCurrentIndex(0);
  } else if (id == kCmdTrash) {
    if (!deleteTemplate(*db, chosen_, error) && hooks_.message)
      hooks_.message(texts_.text(kTextDatabaseAccessFailed) + " " + error);
    fillTemplates();
    chosen_ = -1;
    templates_->setCurrentIndex(0);
    load(defaultSelection());
  }
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
}

}  // namespace lumarc::browse
