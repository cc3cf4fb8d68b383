#include "lumarc/store/older_import.h"

#include "common/files.h"
#include "common/format.h"
#include "lumarc/store/database_files.h"
#include "lumarc/store/record_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace lumarc {

using store::Database;

uint32_t rebuildImportedFlags(uint32_t f, uint32_t i) {
  uint32_t r = f & 0xFFu;
  r |= (i & 0x3FFu) << 8;
  r |= ((f >> 9) & 1u) << 18;
  r |= ((f >> 12) & 3u) << 19;
  r |= ((f >> 16) & 0xFu) << 21;
  return r;
}

CmdrRecord importedRecord(const OlderCmdrRecord& old) {
  CmdrRecord r;
  r.type = old.type.substr(0, 1);
  r.tdate = old.tdate;
  r.duration = old.duration;
  r.rpuls = old.rpuls;
  r.ppuls = old.ppuls;
  r.cport = corvane::portText8(old.cport);
  r.pport = corvane::portText8(old.pport);
  r.uport = corvane::portText8(old.uport);
  r.rdata = corvane::blankPad(old.rdata, 32).substr(0, 32);
  r.xdata = corvane::blankPad(old.xdata, 32).substr(0, 32);
  r.cdata = corvane::blankPad(old.cdata, 32).substr(0, 32);
  r.flags = rebuildImportedFlags(old.flags, old.info);
  return r;
}

std::optional<std::string> renameNoReplace(const std::string& from, const std::string& to) {
  std::string stem = to, ext;
  size_t dot = to.find_last_of('.');
  size_t slash = to.find_last_of('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    stem = to.substr(0, dot);
    ext = to.substr(dot);
  }
  for (int i = 0; i < 10000; ++i) {
    std::string target = i == 0 ? to : stem + std::to_string(i) + ext;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return target;
    if (errno == EEXIST) continue;
    if (errno == EINVAL || errno == ENOSYS) {
      // File systems without RENAME_NOREPLACE: link, then unlink.
      if (::link(from.c_str(), target.c_str()) == 0) {
        ::unlink(from.c_str());
        return target;
      }
      if (errno == EEXIST) continue;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

ImportResult RecordStore::importOlderDatabase(const std::string& workDir, ImportUi* ui) {
  std::string path = corvane::joinPath(workDir, kOlderFile);
  ImportResult r;
  if (!store::fileExists(path) || !store::readWritable(path)) return r;  // NoFile
  r = importFrom(path, ui, true);
  if (r.status != ImportResult::Status::Done) return r;
  auto renamed = renameNoReplace(path, corvane::joinPath(workDir, "OlvarImp.mdb"));
  if (renamed)
    r.renamedTo = *renamed;
  else
    r.error = std::string("could not rename ") + path + ": " + std::strerror(errno);
  return r;
}

ImportResult RecordStore::importFile(const std::string& path, ImportUi* ui) {
  ImportResult r;
  if (!store::fileExists(path)) {
    r.error = path + ": no such file";
    return r;
  }
  return importFrom(path, ui, false);
}

namespace {

// An import that failed: nothing of it stays in the main database.
ImportResult failedImport(ImportResult r, const std::string& error) {
  r.status = ImportResult::Status::Failed;
  r.error = error;
  r.stored = 0;
  return r;
}

// Stores every type A row of the older table through the CMDR store
// operation, in passes inside the caller's transaction. False with the
// text of the first failure.
bool copyOlderRows(RecordStore& rs, store::DrptXset& old, ImportUi* ui, ImportResult& r, std::string& error) {
  constexpr size_t kPass = 256;
  std::vector<CmdrRecord> pass;
  uint64_t shown = 0;
  auto storeAll = [&] {
    if (pass.empty()) return true;
    for (const StoreOutcome& o : rs.storePass(pass)) {
      if (o.failed() || o.countersFailed()) {
        error = o.error;
        return false;
      }
      if (o.duplicate())
        ++r.duplicates;
      else
        ++r.stored;
    }
    pass.clear();
    // Progress every 256 records stored.
    if (ui && r.stored / kPass > shown) ui->importProgress(r.stored, r.duplicates);
    shown = r.stored / kPass;
    return true;
  };
  OlderCmdrRecord row;
  while (old.next(row)) {
    if (row.type.empty() || row.type[0] != 'A') {
      ++r.skipped;
      continue;
    }
    pass.push_back(importedRecord(row));
    if (pass.size() == kPass && !storeAll()) return false;
  }
  if (!storeAll()) return false;
  error = old.error();
  return error.empty();
}

}  // namespace

ImportResult RecordStore::importFrom(const std::string& path, ImportUi* ui, bool ask) {
  ImportResult r;
  r.status = ImportResult::Status::Unreadable;
  if (!main_) return failedImport(r, "the main database is not open");
  DbFileKind kind = detectDbFileKind(path);
  std::string conn;
  if (kind == DbFileKind::Access)
    conn = mdbtoolsConnectionString(path);
  else if (kind == DbFileKind::Sqlite)
    conn = sqliteConnectionString(path, false);
  else {
    r.error = path + ": neither an Access nor an SQLite database";
    return r;
  }
  // Without a driver that reads the file the import is skipped silently.
  std::unique_ptr<Database> src;
  try {
    src = std::make_unique<Database>(conn, codePage_, true);
  } catch (const std::exception& e) {
    r.error = e.what();
    return r;
  }
  store::DrptXset old(*src);
  if (!old.open()) {
    r.error = old.error();
    return r;
  }
  if (ask && ui && !ui->confirmImport()) {
    r.status = ImportResult::Status::Cancelled;
    return r;
  }
  try {
    main_->begin();
  } catch (const std::exception& e) {
    return failedImport(r, e.what());
  }
  std::string error;
  if (!copyOlderRows(*this, old, ui, r, error)) {
    main_->rollback();
    return failedImport(r, error);
  }
  try {
    main_->commit();
  } catch (const std::exception& e) {
    return failedImport(r, e.what());
  }
  old.close();
  src.reset();
  if (ui) ui->importFinished();
  r.status = ImportResult::Status::Done;
  return r;
}

}  // namespace lumarc
