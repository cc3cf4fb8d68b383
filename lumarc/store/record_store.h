// The record store: the main database ("Lumarc.mdb", or a
// PostgreSQL server), the voice database ("Wav/LumarcVt.mdb", or a server),
// CMDR archives, the import of the older program's "Olvar.mdb", and the CMDR
// store operation. Opening is in record_store.cpp, the store operation and
// the receive pass in cmdr_store.cpp, the archives in cmdr_archive.cpp and
// the import in older_import.cpp; the voice rows are served by
// RecordVoiceStore (voice_store.h).
//
// Failures are reported through StoreMessageSink (message ids plus a detail
// text) which the application layer turns into its numbered texts; nothing
// here depends on the application or throws across its interface.
#pragma once

#include "lumarc/store/cmdr_archive.h"
#include "lumarc/store/database.h"
#include "lumarc/store/database_files.h"
#include "lumarc/store/older_import.h"
#include "lumarc/texts/store_message.h"
#include "lumarc/records/records.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lumarc {

class RecordStore;

// The CMDR store operation on the main database of `store`: for type "A" the
// duplicate test (same cport/pport/uport, tdate >= t AND tdate < t + 1 s,
// equal rpuls, ppuls, crefa, flags and duration), the insert into Cdata, and
// for type "A" with a non-blank first port the user's charge-pulse counters
// in Pdata by star class (flags bits 21-24). Never throws.
StoreOutcome storeCmdrRecord(RecordStore& store, const CmdrRecord& record);

class RecordStore : public CmdrRecordSink {
 public:
  static constexpr const char* kMainFile = "Lumarc.mdb";
  static constexpr const char* kVoiceFile = "LumarcVt.mdb";
  static constexpr const char* kVoiceFolder = "Wav";
  static constexpr const char* kOlderFile = "Olvar.mdb";

  explicit RecordStore(StoreMessageSink* messages = nullptr, corvane::CodePage codePage = corvane::CodePage::Cp1252);
  ~RecordStore() override;
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Opens or creates the main database and its five recordsets: the server
  // of `connection` when given, else the user DSN "LumarcDb" when defined,
  // else the SQLite file "<workDir>/Lumarc.mdb".
  bool openMainDatabase(const std::string& workDir, const std::string& connection = {});
  // Opens or creates the voice database and DrptVset: `connection`, else
  // the user DSN "KvVrcDb", else the SQLite file "<directory>/LumarcVt.mdb".
  bool openVoiceDatabase(const std::string& directory, const std::string& connection = {});
  // A CMDR archive file: create = a new file (replacing one only when
  // replaceConfirmed, the user having confirmed the overwrite), else an
  // existing readable and writable SQLite file (no message when it is not).
  std::unique_ptr<CmdrArchive> openCmdrArchive(const std::string& path, bool create, bool replaceConfirmed = false);
  // The Cdata row with that counter value in an archive, or nothing.
  std::optional<CmdrRecord> findCmdrBySqno(CmdrArchive& archive, int32_t sqno);
  // Writes a new empty database file (0 bytes: an empty SQLite database).
  // Runs only when the file does not exist, unless replaceConfirmed.
  static bool createBlankDatabase(const std::string& path, bool replaceConfirmed = false);
  // Closes every recordset and database.
  void closeAll();

  // The start-up import of "<workDir>/Olvar.mdb" with the question; renames
  // it to "OlvarImp.mdb" (or OlvarImp1.mdb, ...) afterwards.
  ImportResult importOlderDatabase(const std::string& workDir, ImportUi* ui);
  // The same import of any Access or SQLite file, without question or rename.
  ImportResult importFile(const std::string& path, ImportUi* ui = nullptr);

  // The CMDR store operation (CmdrRecordSink).
  StoreOutcome store(const CmdrRecord& record) override;
  // A receive pass in one transaction. A deadlock, or a transaction the
  // database dropped, redoes the whole pass a few times; a lost server is
  // reopened at once. What still cannot be stored is refused (the caller
  // writes it to "fcmdr.txt").
  std::vector<StoreOutcome> storePass(const std::vector<CmdrRecord>& records) override;

  // Finds or makes a port's user row (counters 0), under the port's lock on
  // a shared server so that a port never gets two rows. False with the
  // database's text on failure.
  bool ensureUserRow(const std::string& port, std::string& error);

  // The 100 ms tick: a lost server connection is reopened every 10 s.
  void tick();
  // Whether the main database's server connection is lost.
  bool mainConnectionLost() const { return mainLost_; }
  static constexpr int kReconnectTicks = 100;

  bool mainOpen() const { return main_ != nullptr; }
  bool voiceOpen() const { return voice_ != nullptr; }
  store::Database* mainDatabase() { return main_.get(); }
  store::Database* voiceDatabase() { return voice_.get(); }
  // The shared recordsets (valid while the databases are open).
  store::DrptCset* cset() { return cset_.get(); }
  store::DrptPset* pset() { return pset_.get(); }
  store::DrptMset* mset() { return mset_.get(); }
  store::DrptRset* rset() { return rset_.get(); }
  store::DrptTset* tset() { return tset_.get(); }
  store::DrptVset* vset() { return vset_.get(); }
  // What the last open did: "created", "opened" (files) or "server".
  const std::string& mainState() const { return mainState_; }
  const std::string& voiceState() const { return voiceState_; }
  corvane::CodePage codePage() const { return codePage_; }

 private:
  friend StoreOutcome storeCmdrRecord(RecordStore&, const CmdrRecord&);

 public:
  struct CmdrStatements;

 private:
  enum class PassResult { Committed, Lost, ConnectionLost };
  PassResult tryPass(const std::vector<CmdrRecord>& records, std::vector<StoreOutcome>& out, std::string& error);
  CmdrStatements* cmdrStatements(std::string& error);
  void connectionLost(const std::string& text);
  bool reopenMain();
  void report(StoreMessage id, const std::string& fileName, const std::string& detail);
  // What an open made: the database (null when it failed, reported), its
  // name for messages, and "created", "opened" or "server".
  struct Opened {
    std::unique_ptr<store::Database> db;
    std::string name;
    std::string state;
  };
  // The opener of the main and the voice database: the server of
  // `connection` when given, else the user DSN `dsn` when defined, else the
  // SQLite file "<directory>/<file>"; makes the tables it lacks.
  Opened openDatabase(const std::string& directory, const char* file, const char* dsn, const std::string& connection,
                      const std::vector<const store::TableDef*>& tables);
  // Checks and prepares an embedded database file; reports and returns false
  // when it must not or cannot be used.
  bool prepareFile(const std::string& path, const std::string& name, bool& created);
  std::unique_ptr<store::Database> connect(const std::string& conn, const std::string& name);
  // connect(), then the tables the database lacks are made.
  std::unique_ptr<store::Database> connectWithTables(const std::string& conn, const std::string& name,
                                                     const std::vector<const store::TableDef*>& tables);
  ImportResult importFrom(const std::string& path, ImportUi* ui, bool ask);

  StoreMessageSink* messages_;
  corvane::CodePage codePage_;
  std::unique_ptr<store::Database> main_, voice_;
  std::unique_ptr<store::DrptCset> cset_;
  std::unique_ptr<store::DrptPset> pset_;
  std::unique_ptr<store::DrptMset> mset_;
  std::unique_ptr<store::DrptRset> rset_;
  std::unique_ptr<store::DrptTset> tset_;
  std::unique_ptr<store::DrptVset> vset_;
  std::unique_ptr<CmdrStatements> cmdr_;
  std::string mainState_, voiceState_;
  std::string mainName_;
  bool mainLost_ = false;
  std::string lostText_;
  int reconnectTicks_ = 0;
};

}  // namespace lumarc
