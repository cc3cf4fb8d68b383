// The import of the older program's database ("Olvar.mdb", an Access file
// read through mdbtools, or an SQLite file) into the main database: its
// dialogue, its result, and the conversion of an older row. The import
// itself runs on a RecordStore (importOlderDatabase, importFile).
#pragma once

#include "lumarc/records/records.h"

#include <cstdint>
#include <optional>
#include <string>

namespace lumarc {

// The import's dialogue: the question, progress and end.
class ImportUi {
 public:
  virtual ~ImportUi() = default;
  // "Olvar.Mdb exists, do you want to import?" OK = true, Cancel = false.
  virtual bool confirmImport() = 0;
  // After every 256th stored row: entry 13118 "Imported records" + " %i - %i".
  virtual void importProgress(uint64_t stored, uint64_t duplicates) { (void)stored, (void)duplicates; }
  // At the end: the message bar is cleared.
  virtual void importFinished() {}
};

// Flag rebuild of an imported row: bits 0-7 = F 0-7, bits 8-17 =
// I 0-9, bit 18 = F 9, bits 19-20 = F 12-13, bits 21-24 = F 16-19.
uint32_t rebuildImportedFlags(uint32_t oldFlags, uint32_t info);
// The imported record made from an older row (type, time, duration and
// pulses copied; ports cleaned to 8 characters; digits without leading
// blanks, cut or padded to 32; flags rebuilt).
CmdrRecord importedRecord(const OlderCmdrRecord& old);

struct ImportResult {
  enum class Status {
    NoFile,      // no "Olvar.mdb" (or not readable and writable): nothing done
    Unreadable,  // no driver reads it, or it cannot be opened: skipped
    Cancelled,   // the user answered Cancel
    Done,        // imported (and renamed, for the Olvar.mdb flow)
    Failed,      // a database error: the import was rolled back, nothing renamed
  };
  Status status = Status::NoFile;
  uint64_t stored = 0;
  uint64_t duplicates = 0;
  uint64_t skipped = 0;   // rows of other types than A
  std::string renamedTo;  // the new name of "Olvar.mdb"
  std::string error;
};

// Renames `from` to `to` without replacing an existing file; when `to`
// exists, tries "<stem>1<ext>", "<stem>2<ext>", ... Returns the name used,
// or nothing.
std::optional<std::string> renameNoReplace(const std::string& from, const std::string& to);

}  // namespace lumarc
