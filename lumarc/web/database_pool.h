// The web front end's database connections: a request borrows one open
// record store for as long as it reads (a streamed export until its last
// byte), and gives it back. A connection that failed is dropped rather than
// given back, so the next request connects anew: that is how the server
// comes back after the database was lost. Nothing is ever written to the
// records; an embedded database that does not exist is not created.
#pragma once

#include "common/codepage.h"
#include "lumarc/store/record_store.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lumarc::web {

class DatabasePool;

class Lease {
 public:
  Lease(DatabasePool& pool, std::unique_ptr<RecordStore> store) : pool_(pool), store_(std::move(store)) {}
  ~Lease();
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

  store::Database& main() { return *store_->mainDatabase(); }
  // The voice database (the voice connection, else the main one's server,
  // else Wav/LumarcVt.mdb when it exists), opened on first use; null when
  // there is none or it cannot be opened.
  store::Database* voice();
  // This connection failed: it is not given back.
  void broken() { broken_ = true; }

 private:
  DatabasePool& pool_;
  std::unique_ptr<RecordStore> store_;
  bool broken_ = false;
  bool voiceTried_ = false;
};

class DatabasePool {
 public:
  DatabasePool(std::string workDir, std::string connection, std::string voiceConnection, corvane::CodePage cp,
               size_t keep);

  // An open connection, or null with the reason (the request answers 503).
  std::shared_ptr<Lease> acquire(std::string& error);
  // Whether the database answers: a connection that runs "SELECT 1".
  bool healthy(std::string& error);

 private:
  friend class Lease;
  void giveBack(std::unique_ptr<RecordStore> store);
  std::string workDir_, connection_, voiceConnection_;
  corvane::CodePage cp_;
  size_t keep_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<RecordStore>> idle_;
};

}  // namespace lumarc::web
