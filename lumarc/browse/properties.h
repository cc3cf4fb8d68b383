// The property sets of the properties window: the program information, the
// system settings (with where the databases live), a dialled-digit or
// calling-number definition and a user. Each set is a list of properties
// built from its data; an edit writes into the set's copy of the row (or
// into the settings block at once) and sets the changed flag.
#pragma once

#include "common/string_table.h"
#include "lumarc/app/db_connection.h"
#include "lumarc/app/settings.h"
#include "lumarc/records/records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumarc::browse {

inline constexpr const char* kSwVersion = "2.11";

enum class PropertyKind : int { None = 0, ProgramInfo = 1, SystemSettings = 2, Definition = 3, User = 4 };

// What an edit writes to; None for read-only rows. The database fields come
// in two runs of the same order, main then voice.
enum class PropertyField : int {
  None,
  Language,
  Layer2,
  Scroll,
  MainKind,
  MainHost,
  MainPort,
  MainDatabase,
  MainUser,
  MainPassword,
  MainOdbc,
  MainTest,
  VoiceKind,
  VoiceHost,
  VoicePort,
  VoiceDatabase,
  VoiceUser,
  VoicePassword,
  VoiceOdbc,
  VoiceTest,
  DefinitionName,
  DefinitionNumber,
  DefinitionComment,
  DefinitionAcknowledged,
  UserName,
  UserSurname,
  UserTitle,
  UserDepartments,
  UserSections,
  UserComment,
};

// The field of one database ("Test connection" included) and the database
// it belongs to.
enum class DbField : int { Kind, Host, Port, Database, User, Password, Odbc, Test };
bool isDatabaseField(PropertyField f);
bool isVoiceField(PropertyField f);
DbField dbFieldOf(PropertyField f);

struct Property {
  PropertyField field = PropertyField::None;
  std::string group;
  std::string name;
  std::string value;  // 8-bit text in the texts' code page, or UTF-8 when utf8
  std::string description;
  bool editable = false;
  std::vector<std::string> choices;  // when not empty, the value is one of them
  size_t maxLength = 0;              // in bytes; 0: no limit
  bool digitsOnly = false;           // only "1234567890" may be typed
  bool secret = false;               // shown masked (a password)
  bool utf8 = false;                 // a path or connection text, not a program text
  bool command = false;              // a button (name = its label), not a value
  int level = 0;                     // 1: a detail of the level-0 row before it
};

// What the program information shows of the running program. Paths and
// connection strings are UTF-8; an empty connection is the embedded file.
struct RuntimeStatus {
  std::string workingDirectory;
  std::string cmdrBrowser;   // the database connected to the CMDR browser; "" = none
  std::string voiceBrowser;  // the voice recording browser's directory; "" = none
  std::string mainConnection, voiceConnection;
};

class PropertySet {
 public:
  explicit PropertySet(const corvane::StringTable& texts) : texts_(texts) {}

  // Each replaces the set shown; edits not saved are dropped.
  void showProgramInfo(const RuntimeStatus& status);
  void showSettings(SettingsBlock& settings, const DbChoice& databases);
  void showDefinition(const RouteRecord& row);
  void showUser(const UserRecord& row);

  PropertyKind kind() const { return kind_; }
  // The key of the definition (RSno, 0 for a new one) or user (sqno).
  int32_t key() const;
  bool changed() const { return changed_; }
  void clearChanged() { changed_ = false; }

  std::vector<Property> properties() const;

  // Writes value into the field. False (nothing changed) for a read-only
  // field, a value that is not one of the choices, longer than the field,
  // with other characters than digits where only digits may be, or a port
  // outside 1-65535.
  bool edit(PropertyField field, const std::string& value);

  RouteRecord& definition() { return definition_; }
  const RouteRecord& definition() const { return definition_; }
  const UserRecord& user() const { return user_; }
  const DbChoice& databases() const { return databases_; }
  // Whether the database choice was edited since the last clear.
  bool databasesChanged() const { return databasesChanged_; }
  void clearDatabasesChanged() { databasesChanged_ = false; }

 private:
  const std::string& t(int id) const { return texts_.text(id); }
  void addProgramInfo(std::vector<Property>& out) const;
  void addSettings(std::vector<Property>& out) const;
  void addDatabase(std::vector<Property>& out, bool voice) const;
  void addDefinition(std::vector<Property>& out) const;
  void addUser(std::vector<Property>& out) const;
  bool editDatabase(PropertyField field, const std::string& value);

  const corvane::StringTable& texts_;
  PropertyKind kind_ = PropertyKind::None;
  bool changed_ = false;
  RuntimeStatus status_;
  SettingsBlock* settings_ = nullptr;
  DbChoice databases_;
  bool databasesChanged_ = false;
  RouteRecord definition_;
  UserRecord user_;
};

}  // namespace lumarc::browse
