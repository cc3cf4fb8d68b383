// lumarc-cli: the record store's failure reports as the program's texts.
#pragma once

#include "lumarc/texts/store_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/store/record_store.h"

#include <cstdio>
#include <string>

namespace lumarc::cli {

// The text the window program shows for a store message (English table).
inline std::string storeMessageText(StoreMessage id, const std::string& file) {
  return storeMessageShowsDetail(id) ? std::string() : lumarc::storeMessageText(englishTexts(), id, file, {});
}

// Prints each message on stderr: the text, then the driver's detail.
struct StderrStoreMessages : StoreMessageSink {
  void storeMessage(StoreMessage id, const std::string& file, const std::string& detail) override {
    std::string text = storeMessageText(id, file);
    if (text.empty())
      text = detail;
    else if (!detail.empty())
      text += " (" + detail + ")";
    std::fprintf(stderr, "lumarc-cli: %s\n", text.c_str());
  }
};

inline std::string databaseAccessFailedText() { return englishTexts().text(kTextDatabaseAccessFailed); }

}  // namespace lumarc::cli
