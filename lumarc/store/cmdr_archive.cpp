#include "lumarc/store/cmdr_archive.h"

#include "lumarc/store/database_files.h"
#include "lumarc/store/record_store.h"

#include <cerrno>
#include <cstring>

namespace lumarc {

std::unique_ptr<CmdrArchive> RecordStore::openCmdrArchive(const std::string& path, bool create, bool replaceConfirmed) {
  if (create) {
    if (store::fileExists(path) && !replaceConfirmed) {
      report(StoreMessage::FileAccessFailed, path, path + " exists");
      return nullptr;
    }
    if (!createBlankDatabase(path, replaceConfirmed)) {
      report(StoreMessage::FileAccessFailed, path, path + ": " + std::strerror(errno));
      return nullptr;
    }
  } else {
    DbFileKind kind = detectDbFileKind(path);
    if ((kind != DbFileKind::Sqlite && kind != DbFileKind::Empty) || !store::readWritable(path)) return nullptr;
  }
  auto a = std::make_unique<CmdrArchive>();
  a->path = path;
  a->db = connectWithTables(sqliteConnectionString(path, create), path, {&store::cdataTable()});
  if (!a->db) return nullptr;
  a->cset = std::make_unique<store::DrptCset>(*a->db);
  if (!a->cset->open(store::Condition::none())) {
    report(StoreMessage::MemoryAllocationFailed, {}, a->cset->error());
    return nullptr;
  }
  a->cset->close();
  return a;
}

std::optional<CmdrRecord> RecordStore::findCmdrBySqno(CmdrArchive& archive, int32_t sqno) {
  if (!archive.db) return std::nullopt;
  store::DrptCset tmp(*archive.db);
  return tmp.find(sqno);
}

}  // namespace lumarc
