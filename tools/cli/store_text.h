// lumarc-cli: the record store's failure reports as the program's texts.
#pragma once

#include "lumarc/app/texts.h"
#include "lumarc/store/record_store.h"

#include <cstdio>
#include <string>

namespace lumarc::cli {

// The text the window program shows for a store message (English table).
inline std::string storeMessageText(StoreMessage id, const std::string& file) {
  const corvane::StringTable& t = englishTexts();
  auto withFile = [&](int text) { return file.empty() ? t.text(text) : file + " " + t.text(text); };
  switch (id) {
    case StoreMessage::SqlConfigError: return t.text(kTextSqlConfigError);
    case StoreMessage::DbaseAllocationFailed: return t.text(kTextDbaseAllocationFailed);
    case StoreMessage::DbaseOpenFailed: return t.text(kTextDbaseOpenFailed);
    case StoreMessage::FileAccessFailed: return withFile(kTextFileAccessFailed);
    case StoreMessage::MemoryAllocationFailed: return withFile(kTextMemoryAllocationFailed);
    case StoreMessage::DatabaseError: return {};
  }
  return {};
}

// Prints each message on stderr: the text, then the driver's detail.
struct StderrStoreMessages : StoreMessageSink {
  void storeMessage(StoreMessage id, const std::string& file, const std::string& detail) override {
    std::string text = storeMessageText(id, file);
    if (text.empty()) text = detail;
    else if (!detail.empty()) text += " (" + detail + ")";
    std::fprintf(stderr, "lumarc-cli: %s\n", text.c_str());
  }
};

inline std::string databaseAccessFailedText() { return englishTexts().text(kTextDatabaseAccessFailed); }

}  // namespace lumarc::cli
