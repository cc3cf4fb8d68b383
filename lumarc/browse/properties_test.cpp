#include "lumarc/browse/properties.h"

#include "lumarc/texts/texts.h"

#include <gtest/gtest.h>

#include <cstring>

namespace lumarc::browse {
namespace {

TEST(ProgramInformation, NeverShowsADatabasePassword) {
  struct Case {
    const char* conn;
    const char* secret;
  };
  const Case cases[] = {
      {"DRIVER={PostgreSQL Unicode};SERVER=db1;PWD=hunter2;", "hunter2"},
      {"DRIVER={PostgreSQL Unicode};SERVER=db1;pwd={se;cr}}et};UID=op", "cr}"},
      {"DSN=LumarcDb;SERVER=db1;Password=opensesame", "opensesame"},
      {"SERVER=db1; PWD = {left;open", "open"},
  };
  for (const Case& c : cases) {
    PropertySet set(englishTexts());
    RuntimeStatus status;
    status.workingDirectory = "/srv/lumarc";
    status.mainConnection = c.conn;
    status.voiceConnection = c.conn;
    set.showProgramInfo(status);
    int databases = 0;
    for (const Property& p : set.properties()) {
      EXPECT_EQ(p.value.find(c.secret), std::string::npos) << c.conn << " shows " << p.value;
      if (p.value.find("***") != std::string::npos) {
        ++databases;
        EXPECT_NE(p.value.find("SERVER=db1"), std::string::npos) << p.value;
      }
      EXPECT_FALSE(p.editable);
    }
    EXPECT_EQ(databases, 2) << c.conn;
  }
}

TEST(ProgramInformation, ShowsVersionDirectoryAndNewestReleaseNoteFirst) {
  PropertySet set(englishTexts());
  RuntimeStatus status;
  status.workingDirectory = "/srv/lumarc";
  set.showProgramInfo(status);
  std::vector<Property> rows = set.properties();
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[0].group, "BRENNIC Lumarc");
  EXPECT_EQ(rows[0].name + "=" + rows[0].value, "Sw version=2.11");
  EXPECT_EQ(rows[1].name + "=" + rows[1].value, "Default directory=/srv/lumarc");
  for (const Property& p : rows) EXPECT_NE(p.name, "Cmdr browser") << "an empty browser path is left out";
  EXPECT_EQ(rows[rows.size() - 6].name + "=" + rows[rows.size() - 6].value, "2.11=IPv6 supported");
  EXPECT_EQ(rows.back().name + "=" + rows.back().value, "=IP address in Cmdr long line format reports");
}

TEST(SystemSettings, EditsLandInTheSettingsBlockAtOnce) {
  struct Case {
    PropertyField field;
    const char* value;
    size_t offset;
    uint32_t before, after;
    bool taken;
  };
  const Case cases[] = {
      {PropertyField::Language, "Turkish", settingsblock::kLanguage, 0, 1, true},
      {PropertyField::Language, "English", settingsblock::kLanguage, 1, 0, true},
      {PropertyField::Layer2, "Enabled", settingsblock::kLayer2, 0, 1, true},
      {PropertyField::Layer2, "Disabled", settingsblock::kLayer2, 7, 0, true},
      {PropertyField::Scroll, "Enabled", settingsblock::kAutoScroll, 0, 1, true},
      {PropertyField::Scroll, "Disabled", settingsblock::kAutoScroll, 1, 0, true},
      {PropertyField::Scroll, "Sometimes", settingsblock::kAutoScroll, 1, 1, false},
  };
  for (const Case& c : cases) {
    SettingsBlock s;
    s.data()[100] = 0x5A;  // bytes the window does not own stay as they are
    corvane::ByteWriter(s.data(), kSettingsSize).putLe32(c.offset, c.before);
    SettingsBlock expected = s;
    corvane::ByteWriter(expected.data(), kSettingsSize).putLe32(c.offset, c.after);

    PropertySet set(englishTexts());
    set.showSettings(s, DbChoice{});
    EXPECT_EQ(set.edit(c.field, c.value), c.taken) << c.value;
    EXPECT_EQ(std::memcmp(s.data(), expected.data(), kSettingsSize), 0) << c.value;
    EXPECT_EQ(set.changed(), c.taken);
  }
}

TEST(DatabaseChoice, PostgresPasswordCannotAddKeys) {
  DbConnection c;
  c.kind = DbConnection::Kind::Postgres;
  c.host = "db.example";
  c.port = 5433;
  c.database = "lumarc";
  c.user = "op";
  c.password = "a;UID=admin}";
  const std::string conn = connectionString(c);
  EXPECT_EQ(conn,
            "DRIVER={PostgreSQL Unicode};SERVER=db.example;PORT=5433;DATABASE=lumarc;UID=op;"
            "PWD={a;UID=admin}}};");
  // Read back item by item, the password stays one value.
  EXPECT_EQ(withoutPassword(conn),
            "DRIVER={PostgreSQL Unicode};SERVER=db.example;PORT=5433;DATABASE=lumarc;UID=op;PWD=***");

  c.kind = DbConnection::Kind::Embedded;
  EXPECT_EQ(connectionString(c), "");
  c.kind = DbConnection::Kind::Odbc;
  c.odbc = "DSN=Archive;UID=x";
  EXPECT_EQ(connectionString(c), "DSN=Archive;UID=x");
}

TEST(DatabaseChoice, EnvironmentWinsOverTheStoredChoice) {
  DbConnection server;
  server.kind = DbConnection::Kind::Odbc;
  server.odbc = "DSN=Stored";
  DbConnection embedded;
  const std::string file = "DRIVER=SQLite3;Database=/w/Wav/LumarcVt.mdb;";
  struct Case {
    DbConnection storedMain, storedVoice;
    const char *envMain, *envVoice;
    const char *main, *voice;
  };
  const Case cases[] = {
      {embedded, embedded, "", "", "", ""},
      {server, embedded, "", "", "DSN=Stored", file.c_str()},  // the voice file stays embedded as chosen
      {server, server, "DSN=Env", "", "DSN=Env", "DSN=Stored"},
      {embedded, embedded, "DSN=Env", "", "DSN=Env", ""},  // the voice database follows LUMARC_DB
      {server, server, "", "DSN=EnvVoice", "DSN=Stored", "DSN=EnvVoice"},
      {embedded, server, "", "", "", "DSN=Stored"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chooseConnection(c.storedMain, c.envMain), c.main);
    StartConnections got = chooseConnections({c.storedMain, c.storedVoice}, c.envMain, c.envVoice, file);
    EXPECT_EQ(got.main, c.main) << c.envMain;
    EXPECT_EQ(got.voice, c.voice) << c.envMain << " / " << c.envVoice;
  }
}

TEST(DefinitionEdits, NumberTakesOnlyDigitsAndTextsTheirColumnWidth) {
  PropertySet set(englishTexts());
  RouteRecord r;
  r.RType = 1;
  set.showDefinition(r);
  EXPECT_EQ(set.properties().front().group, "Calling number");
  EXPECT_FALSE(set.edit(PropertyField::DefinitionNumber, "02a1"));
  EXPECT_FALSE(set.edit(PropertyField::DefinitionName, "NINECHARS"));
  EXPECT_FALSE(set.changed());
  EXPECT_TRUE(set.edit(PropertyField::DefinitionNumber, "0212"));
  EXPECT_TRUE(set.edit(PropertyField::DefinitionAcknowledged, "Enabled"));
  EXPECT_EQ(set.definition().RDgts, "0212");
  EXPECT_TRUE(set.definition().Ackd);
  EXPECT_TRUE(set.changed());
  // Showing another set drops what was not saved.
  set.showDefinition(r);
  EXPECT_EQ(set.definition().RDgts, "");
  EXPECT_FALSE(set.changed());
}

}  // namespace
}  // namespace lumarc::browse
