// The call trace view (CfwDbTrc): the CMDR records and recordings of one
// call in one list. Recordings can be played and copied from it; a record
// line opens its user in the properties window.
#pragma once

// The list (and with it Qt) first: moc reads the headers in this order.
#include "lumarc/browse/ui/dblist.h"
#include "lumarc/browse/trace.h"
#include "lumarc/records/records.h"

#include <functional>
#include <optional>
#include <string>

namespace lumarc::store {
class Database;
}

namespace lumarc::browse {

struct TraceViewHooks {
  std::function<store::Database*()> cmdrDatabase;   // the CMDR browser's database; may be null
  std::function<store::Database*()> voiceDatabase;  // the voice browser's database; may be null
  std::function<store::Database*()> mainDatabase;   // the users; may be null
  std::function<void(const UserRecord&)> editUser;  // into the properties window
  std::function<void(const std::string&)> message;  // message bar (8-bit text)
  std::function<void()> refreshToolbar;
  std::function<std::string(const std::string& suggested)> chooseTarget;  // "Archive" target; tests replace it
};

class CfwDbTrc : public CfwDblist {
  Q_OBJECT
 public:
  CfwDbTrc(const corvane::StringTable& texts, TraceViewHooks hooks, QWidget* parent = nullptr);

  // Replaces the list by the trace of key (empty for a key with a zero reference).
  void trace(const TraceKey& key);

  // Play and Archive on a recording line.
  void command(int id);
  bool commandEnabled(int id) const;

  // The recording of the selected line, or nothing.
  std::optional<VoiceRecord> selectedRecording() const;

 private:
  void activate(int line);
  std::optional<LineRecord> selected() const;
  std::optional<VoiceRecord> recordingAt(int line) const;

  const corvane::StringTable& texts_;
  TraceViewHooks hooks_;
};

}  // namespace lumarc::browse
