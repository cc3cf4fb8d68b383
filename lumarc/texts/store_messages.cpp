#include "lumarc/texts/store_messages.h"

#include "lumarc/texts/texts.h"

namespace lumarc {

std::string storeMessageText(const corvane::StringTable& texts, StoreMessage id, const std::string& fileName,
                             const std::string& detail) {
  const std::string prefix = fileName.empty() ? std::string() : fileName + " ";
  switch (id) {
    case StoreMessage::SqlConfigError: return texts.text(kTextSqlConfigError);
    case StoreMessage::DbaseAllocationFailed: return texts.text(kTextDbaseAllocationFailed);
    case StoreMessage::DbaseOpenFailed: return texts.text(kTextDbaseOpenFailed);
    case StoreMessage::FileAccessFailed: return prefix + texts.text(kTextFileAccessFailed);
    case StoreMessage::MemoryAllocationFailed: return prefix + texts.text(kTextMemoryAllocationFailed);
    case StoreMessage::DatabaseError: return detail;
    case StoreMessage::ConnectionLost: return texts.text(kTextDatabaseConnectionLost) + detail;
    case StoreMessage::ConnectionRestored: return texts.text(kTextDatabaseConnectionRestored);
  }
  return detail;
}

}  // namespace lumarc
