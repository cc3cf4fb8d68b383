#include "lumarc/web/database_pool.h"

#include "common/files.h"

#include <sys/stat.h>

namespace lumarc::web {

Lease::~Lease() {
  if (!broken_) pool_.giveBack(std::move(store_));
}

store::Database* Lease::voice() {
  if (!store_->voiceOpen() && !voiceTried_) {
    voiceTried_ = true;
    const std::string dir = corvane::joinPath(pool_.workDir_, RecordStore::kVoiceFolder);
    struct stat st {};
    // As the voice browser: the voice connection, else the main server,
    // else the file, when it is there.
    const std::string conn = pool_.voiceConnection_.empty() ? pool_.connection_ : pool_.voiceConnection_;
    const bool embedded = conn.empty() && !userDsnDefined("KvVrcDb");
    if (!embedded || ::stat(corvane::joinPath(dir, RecordStore::kVoiceFile).c_str(), &st) == 0)
      store_->openVoiceDatabase(dir, conn);
  }
  return store_->voiceDatabase();
}

DatabasePool::DatabasePool(std::string workDir, std::string connection, std::string voiceConnection,
                           corvane::CodePage cp, size_t keep)
    : workDir_(std::move(workDir)), connection_(std::move(connection)), voiceConnection_(std::move(voiceConnection)),
      cp_(cp), keep_(keep) {}

std::shared_ptr<Lease> DatabasePool::acquire(std::string& error) {
  std::unique_ptr<RecordStore> store;
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      store = std::move(idle_.back());
      idle_.pop_back();
    }
  }
  // A connection that waited may have lost its server meanwhile.
  if (store && !store->mainDatabase()->connection().tryExecute("SELECT 1")) store.reset();
  if (!store) {
    struct stat st {};
    const std::string file = corvane::joinPath(workDir_, RecordStore::kMainFile);
    if (connection_.empty() && !userDsnDefined("LumarcDb") && ::stat(file.c_str(), &st) != 0) {
      error = std::string(RecordStore::kMainFile) + " does not exist in " + workDir_;
      return nullptr;
    }
    store = std::make_unique<RecordStore>(nullptr, cp_);
    if (!store->openMainDatabase(workDir_, connection_)) {
      error = "the database cannot be opened";
      return nullptr;
    }
  }
  return std::make_shared<Lease>(*this, std::move(store));
}

bool DatabasePool::healthy(std::string& error) {
  std::shared_ptr<Lease> lease = acquire(error);
  if (!lease) return false;
  if (lease->main().connection().tryExecute("SELECT 1")) return true;
  lease->broken();
  error = "the database does not answer";
  return false;
}

void DatabasePool::giveBack(std::unique_ptr<RecordStore> store) {
  std::lock_guard lock(mutex_);
  if (idle_.size() < keep_) idle_.push_back(std::move(store));
}

}  // namespace lumarc::web
