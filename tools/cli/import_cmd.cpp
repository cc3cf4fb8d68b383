// lumarc-cli import FILE: imports the call records of an older program's
// database (an Access file through the mdbtools ODBC driver, or an SQLite
// file) into the main database, as the start-up import does, without the
// question and without renaming FILE. Duplicates are skipped, user counters
// charged.
#include "tools/cli/command.h"
#include "tools/cli/store_text.h"

#include "lumarc/store/record_store.h"
#include "tools/common/progress_bar.h"

#include <cstdio>
#include <memory>
#include <string>

namespace lumarc::cli {
namespace {

// On a terminal the import's progress is one redrawn line; elsewhere (a
// service's journal, a pipe) one line every 256 records stored.
struct PrintProgress : ImportUi {
  corvane::tools::TerminalProgress bar{"import", "records"};
  bool confirmImport() override { return true; }
  void importProgress(uint64_t stored, uint64_t duplicates) override {
    if (bar.onTerminal()) return bar.update(stored + duplicates);
    std::fprintf(stderr, "%s %llu - %llu\n", englishTexts().text(kTextImportedRecords).c_str(),
                 static_cast<unsigned long long>(stored), static_cast<unsigned long long>(duplicates));
  }
};

int importCmd(const Options& opt, const std::string& file) {
  StderrStoreMessages messages;
  RecordStore rs(&messages);
  if (!rs.openMainDatabase(opt.workDir, opt.db)) {
    std::fprintf(stderr, "lumarc-cli: %s\n", databaseAccessFailedText().c_str());
    return 1;
  }
  PrintProgress ui;
  ImportResult r = rs.importFile(file, &ui);
  ui.bar.finish();
  switch (r.status) {
    case ImportResult::Status::Done:
      std::printf("%s %llu - %llu\n", englishTexts().text(kTextImportedRecords).c_str(),
                  static_cast<unsigned long long>(r.stored), static_cast<unsigned long long>(r.duplicates));
      std::printf("stored: %llu\nduplicates: %llu\nskipped: %llu\n", static_cast<unsigned long long>(r.stored),
                  static_cast<unsigned long long>(r.duplicates), static_cast<unsigned long long>(r.skipped));
      return 0;
    case ImportResult::Status::NoFile:
    case ImportResult::Status::Unreadable:
      std::fprintf(stderr, "lumarc-cli: cannot read %s: %s\n", file.c_str(), r.error.c_str());
      return 1;
    case ImportResult::Status::Cancelled: return 1;
    case ImportResult::Status::Failed:
      std::fprintf(stderr, "lumarc-cli: import failed, nothing stored: %s\n", r.error.c_str());
      return 1;
  }
  return 1;
}

Runner define(CLI::App& parser) {
  auto file = std::make_shared<std::string>();
  parser.add_option("FILE", *file, "the older program's database (Olvar.mdb)")->type_name("")->required();
  return [file](const Options& opt) { return importCmd(opt, *file); };
}

Register reg({"import", "import the call records of an older Olvar.mdb (Access or SQLite file)", define});

}  // namespace
}  // namespace lumarc::cli
