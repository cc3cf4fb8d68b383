// The record store's failure reports put into the program's words, for the
// window, the message bar and lumarc-cli alike.
#pragma once

#include "common/string_table.h"
#include "lumarc/texts/store_message.h"

#include <string>

namespace lumarc {

// The message line for a store report: the numbered text (with the file's
// name before it where it has one), or the driver's text for a database
// error; "Database connection lost: " is followed by the driver's text.
std::string storeMessageText(const corvane::StringTable& texts, StoreMessage id, const std::string& fileName,
                             const std::string& detail);

// Whether the detail is already part of the message line.
inline bool storeMessageShowsDetail(StoreMessage id) {
  return id == StoreMessage::DatabaseError || id == StoreMessage::ConnectionLost;
}

}  // namespace lumarc
