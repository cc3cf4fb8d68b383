// lumarc-cli db init | db stats: the record databases of WORKDIR or of the
// server given with --db / LUMARC_DB (voice: LUMARC_VOICE_DB, else the same).
#include "tools/cli/command.h"
#include "tools/cli/store_text.h"

#include "common/files.h"
#include "lumarc/app/db_connection.h"
#include "lumarc/store/record_store.h"
#include "tools/common/progress_bar.h"

#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace lumarc::cli {
namespace {

std::string voiceConnection(const Options& opt) { return opt.voiceDb.empty() ? opt.db : opt.voiceDb; }

std::string describe(const std::string& state, const std::string& path, const std::string& conn) {
  // Never print the password of a connection string.
  if (!conn.empty()) return "opened on the server (" + withoutPassword(conn) + ")";
  return state + " " + path;
}

// Opens (creating what is missing) both databases; prints what it did.
bool openBoth(const Options& opt, RecordStore& rs, bool print) {
  const std::string wav = corvane::joinPath(opt.workDir, RecordStore::kVoiceFolder);
  const std::string voiceConn = voiceConnection(opt);
  if (voiceConn.empty() && !corvane::ensureDirectory(wav)) {
    std::fprintf(stderr, "lumarc-cli: cannot create %s\n", wav.c_str());
    return false;
  }
  if (!rs.openVoiceDatabase(wav, voiceConn) || !rs.openMainDatabase(opt.workDir, opt.db)) {
    std::fprintf(stderr, "lumarc-cli: %s\n", databaseAccessFailedText().c_str());
    return false;
  }
  if (print) {
    std::printf("main: %s\n",
                describe(rs.mainState(), corvane::joinPath(opt.workDir, RecordStore::kMainFile), opt.db).c_str());
    std::printf("voice: %s\n",
                describe(rs.voiceState(), corvane::joinPath(wav, RecordStore::kVoiceFile), voiceConn).c_str());
  }
  return true;
}

int dbInit(const Options& opt) {
  StderrStoreMessages messages;
  RecordStore rs(&messages);
  return openBoth(opt, rs, true) ? 0 : 1;
}

int dbStats(const Options& opt) {
  // Statistics never create a database file.
  struct stat st {};
  if (opt.db.empty() && stat(corvane::joinPath(opt.workDir, RecordStore::kMainFile).c_str(), &st) != 0) {
    std::fprintf(stderr, "lumarc-cli: %s does not exist in %s (run: lumarc-cli db init)\n", RecordStore::kMainFile,
                 opt.workDir.c_str());
    return 1;
  }
  if (voiceConnection(opt).empty() &&
      stat(
          corvane::joinPath(corvane::joinPath(opt.workDir, RecordStore::kVoiceFolder), RecordStore::kVoiceFile).c_str(),
          &st) != 0) {
    std::fprintf(stderr, "lumarc-cli: %s/%s does not exist in %s (run: lumarc-cli db init)\n",
                 RecordStore::kVoiceFolder, RecordStore::kVoiceFile, opt.workDir.c_str());
    return 1;
  }
  StderrStoreMessages messages;
  RecordStore rs(&messages);
  if (!openBoth(opt, rs, false)) return 1;
  // Counting the rows of a large server table takes a while: the tables
  // counted show on a terminal.
  const auto mainTables = store::mainTables(), voiceTables = store::voiceTables();
  corvane::tools::TerminalProgress bar("db stats", "tables", mainTables.size() + voiceTables.size());
  uint64_t counted = 0;
  auto count = [&](store::Database& db, const store::TableDef& t) {
    const long long rows = static_cast<long long>(db.rowCount(t));
    bar.clearFor(1);
    std::printf("%s: %lld\n", t.name, rows);
    std::fflush(stdout);
    bar.update(++counted);
  };
  try {
    for (const store::TableDef* t : mainTables) count(*rs.mainDatabase(), *t);
    for (const store::TableDef* t : voiceTables) count(*rs.voiceDatabase(), *t);
    bar.finish();
  } catch (const std::exception& e) {
    bar.finish();
    std::fprintf(stderr, "lumarc-cli: %s\n", e.what());
    return 1;
  }
  return 0;
}

Runner define(CLI::App& parser) {
  auto action = std::make_shared<std::string>();
  parser.add_option("ACTION", *action, "init: create or open the databases; stats: count their rows")
      ->type_name("init|stats")
      ->required()
      ->check(CLI::IsMember({"init", "stats"}).description(""));
  return [action](const Options& opt) { return *action == "init" ? dbInit(opt) : dbStats(opt); };
}

Register reg({"db", "create or open the databases and say what was done / print one 'TABLE: ROWS' line per table",
              define});

}  // namespace
}  // namespace lumarc::cli
