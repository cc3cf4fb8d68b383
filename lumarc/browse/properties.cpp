#include "lumarc/browse/properties.h"

#include "common/files.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/definitions.h"

#include <cassert>

namespace lumarc::browse {

namespace {

constexpr const char* kProgramGroup = "BRENNIC Lumarc";

// Field lengths of the Rout and Pdata columns.
constexpr size_t kDefinitionNameLength = 8, kDefinitionNumberLength = 16, kDefinitionCommentLength = 32;
constexpr size_t kUserNameLength = 20, kUserSurnameLength = 20, kUserOrganisationLength = 16, kUserCommentLength = 32;
constexpr size_t kPortLength = 5;

constexpr int kFirstMain = int(PropertyField::MainKind), kFirstVoice = int(PropertyField::VoiceKind);
constexpr int kDbFields = int(DbField::Test) + 1;

// The release notes, newest first: version and note.
struct ReleaseNote {
  const char* version;
  int note;
};
constexpr ReleaseNote kReleaseNotes[] = {
    {"2.11", kTextReleaseNote211}, {"2.10", kTextReleaseNote210}, {"2.09", kTextReleaseNote209},
    {"2.08", kTextReleaseNote208}, {"2.07", kTextReleaseNote207}, {"", kTextReleaseNoteEarlier},
};

bool allDigits(const std::string& s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

PropertyField dbField(bool voice, DbField f) { return PropertyField((voice ? kFirstVoice : kFirstMain) + int(f)); }

// What the program information shows of a connection in use.
std::string connectionShown(const std::string& conn, const std::string& embeddedFile) {
  return conn.empty() ? embeddedFile : withoutPassword(conn);
}

}  // namespace

bool isDatabaseField(PropertyField f) { return int(f) >= kFirstMain && int(f) < kFirstVoice + kDbFields; }
bool isVoiceField(PropertyField f) { return int(f) >= kFirstVoice && int(f) < kFirstVoice + kDbFields; }
DbField dbFieldOf(PropertyField f) {
  assert(isDatabaseField(f));
  return DbField((int(f) - kFirstMain) % kDbFields);
}

void PropertySet::showProgramInfo(const RuntimeStatus& status) {
  kind_ = PropertyKind::ProgramInfo;
  status_ = status;
  changed_ = false;
}

void PropertySet::showSettings(SettingsBlock& settings, const DbChoice& databases) {
  kind_ = PropertyKind::SystemSettings;
  settings_ = &settings;
  databases_ = databases;
  databasesChanged_ = false;
  changed_ = false;
}

void PropertySet::showDefinition(const RouteRecord& row) {
  kind_ = PropertyKind::Definition;
  definition_ = row;
  changed_ = false;
}

void PropertySet::showUser(const UserRecord& row) {
  kind_ = PropertyKind::User;
  user_ = row;
  changed_ = false;
}

int32_t PropertySet::key() const {
  switch (kind_) {
    case PropertyKind::Definition: return definition_.RSno;
    case PropertyKind::User: return user_.sqno;
    default: return 0;
  }
}

std::vector<Property> PropertySet::properties() const {
  std::vector<Property> out;
  switch (kind_) {
    case PropertyKind::None: break;
    case PropertyKind::ProgramInfo: addProgramInfo(out); break;
    case PropertyKind::SystemSettings: addSettings(out); break;
    case PropertyKind::Definition: addDefinition(out); break;
    case PropertyKind::User: addUser(out); break;
  }
  return out;
}

void PropertySet::addProgramInfo(std::vector<Property>& out) const {
  auto row = [&](std::string group, std::string name, std::string value, bool utf8) {
    Property p;
    p.group = std::move(group);
    p.name = std::move(name);
    p.value = std::move(value);
    p.utf8 = utf8;
    out.push_back(std::move(p));
  };
  row(kProgramGroup, t(kTextPropSwVersion), kSwVersion, false);

  const std::string& runtime = t(kTextPropRuntimeStatus);
  row(runtime, t(kTextPropDefaultDirectory), status_.workingDirectory, true);
  if (!status_.cmdrBrowser.empty()) row(runtime, t(kTextCaptionCmdrBrowser), status_.cmdrBrowser, true);
  if (!status_.voiceBrowser.empty()) row(runtime, t(kTextCaptionVoiceBrowser), status_.voiceBrowser, true);
  const std::string mainFile = corvane::joinPath(status_.workingDirectory, "Lumarc.mdb");
  const std::string voiceFile = corvane::joinPath(corvane::joinPath(status_.workingDirectory, "Wav"), "LumarcVt.mdb");
  row(runtime, t(kTextPropMainDatabase), connectionShown(status_.mainConnection, mainFile), true);
  row(runtime, t(kTextPropVoiceDatabase), connectionShown(status_.voiceConnection, voiceFile), true);

  for (const ReleaseNote& n : kReleaseNotes) row(t(kTextPropReleaseNotes), n.version, t(n.note), false);
}

void PropertySet::addSettings(std::vector<Property>& out) const {
  assert(settings_);
  const std::string& group = t(kTextPropSystemSettings);
  const std::vector<std::string> onOff = {t(kTextPropEnabled), t(kTextPropDisabled)};
  auto choice = [&](PropertyField f, int name, int description, std::vector<std::string> choices, size_t index) {
    Property p;
    p.field = f;
    p.group = group;
    p.name = t(name);
    p.description = t(description);
    p.editable = true;
    p.value = choices[index];
    p.choices = std::move(choices);
    out.push_back(std::move(p));
  };
  choice(PropertyField::Language, kTextPropLanguage, kTextLanguageSetting, {t(kTextPropEnglish), t(kTextPropTurkish)},
         settings_->language() == 1 ? 1 : 0);
  choice(PropertyField::Layer2, kTextPropLayer2, kTextLayer2Setting, onOff, settings_->layer2() != 0 ? 0 : 1);
  choice(PropertyField::Scroll, kTextPropScroll, kTextAutoScrollSetting, onOff, settings_->autoScroll() != 0 ? 0 : 1);

  addDatabase(out, false);
  addDatabase(out, true);
}

void PropertySet::addDatabase(std::vector<Property>& out, bool voice) const {
  const DbConnection& c = voice ? databases_.voice : databases_.main;
  const std::string& group = t(kTextPropDatabase);
  const std::string& note = t(kTextPropDatabaseNote);

  Property kind;
  kind.field = dbField(voice, DbField::Kind);
  kind.group = group;
  kind.name = t(voice ? kTextPropVoiceDatabase : kTextPropMainDatabase);
  kind.description = t(voice ? kTextPropVoiceDatabaseDescription : kTextPropMainDatabaseDescription);
  kind.editable = true;
  kind.choices = {t(kTextPropEmbedded), t(kTextPropPostgres), t(kTextPropOdbc)};
  kind.value = kind.choices[size_t(c.kind)];
  out.push_back(std::move(kind));

  auto detail = [&](DbField f, int name, std::string value) -> Property& {
    Property p;
    p.field = dbField(voice, f);
    p.group = group;
    p.name = t(name);
    p.value = std::move(value);
    p.description = note;
    p.editable = true;
    p.utf8 = true;
    p.level = 1;
    out.push_back(std::move(p));
    return out.back();
  };
  switch (c.kind) {
    case DbConnection::Kind::Embedded: return;
    case DbConnection::Kind::Postgres: {
      detail(DbField::Host, kTextPropHost, c.host);
      Property& port = detail(DbField::Port, kTextPropPort, std::to_string(c.port));
      port.digitsOnly = true;
      port.maxLength = kPortLength;
      port.utf8 = false;
      detail(DbField::Database, kTextPropDatabaseName, c.database);
      detail(DbField::User, kTextPropUserName, c.user);
      detail(DbField::Password, kTextPropPassword, c.password).secret = true;
      break;
    }
    case DbConnection::Kind::Odbc: detail(DbField::Odbc, kTextPropConnectionString, c.odbc); break;
  }
  Property& test = detail(DbField::Test, kTextPropTestConnection, "");
  test.command = true;
  test.editable = false;
  test.utf8 = false;
}

void PropertySet::addDefinition(std::vector<Property>& out) const {
  const std::string& group = t(definition_.RType == kCallingNumber ? kTextPropCallingNumber : kTextPropDialledDigits);
  auto text = [&](PropertyField f, int name, int description, const std::string& value, size_t max) -> Property& {
    Property p;
    p.field = f;
    p.group = group;
    p.name = t(name);
    p.description = t(description);
    p.value = value;
    p.editable = true;
    p.maxLength = max;
    out.push_back(std::move(p));
    return out.back();
  };
  text(PropertyField::DefinitionName, kTextPropName, kTextPropNameDescription, definition_.RName,
       kDefinitionNameLength);
  text(PropertyField::DefinitionNumber, kTextPropNumber, kTextPropNumberDescription, definition_.RDgts,
       kDefinitionNumberLength)
      .digitsOnly = true;
  text(PropertyField::DefinitionComment, kTextPropComment, kTextPropInformativeField, definition_.RCmnt,
       kDefinitionCommentLength);
  Property& ack = text(PropertyField::DefinitionAcknowledged, kTextPropAcknowledged, kTextPropAcknowledgedDescription,
                       t(definition_.Ackd ? kTextPropEnabled : kTextPropDisabled), 0);
  ack.choices = {t(kTextPropEnabled), t(kTextPropDisabled)};
}

void PropertySet::addUser(std::vector<Property>& out) const {
  const std::string& group = t(kTextPropUser);
  auto row = [&](PropertyField f, int name, const std::string& value, size_t max) -> Property& {
    Property p;
    p.field = f;
    p.group = group;
    p.name = t(name);
    p.value = value;
    p.editable = f != PropertyField::None;
    p.maxLength = max;
    out.push_back(std::move(p));
    return out.back();
  };
  row(PropertyField::None, kTextPropPortAccessCode, user_.cport, 0);
  row(PropertyField::None, kTextPropTotalChargePulses, std::to_string(counterSum(user_)), 0);
  row(PropertyField::UserName, kTextPropName, user_.name, kUserNameLength);
  row(PropertyField::UserSurname, kTextPropSurname, user_.surn, kUserSurnameLength);
  row(PropertyField::UserTitle, kTextPropTitle, user_.titl, kUserOrganisationLength);
  row(PropertyField::UserDepartments, kTextPropDepartments, user_.dept, kUserOrganisationLength);
  row(PropertyField::UserSections, kTextPropSections, user_.sect, kUserOrganisationLength);
  row(PropertyField::UserComment, kTextPropComment, user_.cmnt, kUserCommentLength).description =
      t(kTextPropInformativeField);
}

bool PropertySet::edit(PropertyField field, const std::string& value) {
  // The field's row as the set shows it now: only shown, editable fields
  // take a value, and only one that fits.
  const std::vector<Property> rows = properties();
  const Property* row = nullptr;
  for (const Property& p : rows)
    if (p.field == field && p.editable) row = &p;
  if (!row || field == PropertyField::None) return false;
  size_t choice = 0;
  if (!row->choices.empty()) {
    while (choice < row->choices.size() && row->choices[choice] != value) ++choice;
    if (choice == row->choices.size()) return false;
  }
  if (row->maxLength != 0 && value.size() > row->maxLength) return false;
  if (row->digitsOnly && !allDigits(value)) return false;

  switch (field) {
    case PropertyField::Language: settings_->setLanguage(choice == 1 ? 1 : 0); break;
    case PropertyField::Layer2: settings_->setLayer2(choice == 0 ? 1 : 0); break;
    case PropertyField::Scroll: settings_->setAutoScroll(choice == 0 ? 1 : 0); break;
    case PropertyField::DefinitionName: definition_.RName = value; break;
    case PropertyField::DefinitionNumber: definition_.RDgts = value; break;
    case PropertyField::DefinitionComment: definition_.RCmnt = value; break;
    case PropertyField::DefinitionAcknowledged: definition_.Ackd = choice == 0; break;
    case PropertyField::UserName: user_.name = value; break;
    case PropertyField::UserSurname: user_.surn = value; break;
    case PropertyField::UserTitle: user_.titl = value; break;
    case PropertyField::UserDepartments: user_.dept = value; break;
    case PropertyField::UserSections: user_.sect = value; break;
    case PropertyField::UserComment: user_.cmnt = value; break;
    default:
      if (!editDatabase(field, value)) return false;
      break;
  }
  changed_ = true;
  return true;
}

bool PropertySet::editDatabase(PropertyField field, const std::string& value) {
  if (!isDatabaseField(field)) return false;
  DbConnection& c = isVoiceField(field) ? databases_.voice : databases_.main;
  switch (dbFieldOf(field)) {
    case DbField::Kind: {
      const std::vector<std::string> kinds = {t(kTextPropEmbedded), t(kTextPropPostgres), t(kTextPropOdbc)};
      for (size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i] == value) c.kind = DbConnection::Kind(i);
      break;
    }
    case DbField::Host: c.host = value; break;
    case DbField::Port: {
      if (value.empty() || value.size() > kPortLength) return false;
      int port = std::stoi(value);
      if (port < 1 || port > 65535) return false;
      c.port = port;
      break;
    }
    case DbField::Database: c.database = value; break;
    case DbField::User: c.user = value; break;
    case DbField::Password: c.password = value; break;
    case DbField::Odbc: c.odbc = value; break;
    case DbField::Test: return false;
  }
  databasesChanged_ = true;
  return true;
}

}  // namespace lumarc::browse
