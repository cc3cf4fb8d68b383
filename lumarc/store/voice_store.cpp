#include "lumarc/store/voice_store.h"

#include "common/format.h"
#include "lumarc/store/record_store.h"

#include <exception>
#include <stdexcept>

namespace lumarc {

using store::Condition;
using store::Expr;

VoiceStoreOutcome RecordVoiceStore::storeVoiceRecord(const VoiceRecord& row) {
  VoiceStoreOutcome out;
  store::Database* voice = store_.voiceDatabase();
  if (!voice) {
    out.error = "LumarcVt.mdb not open";
    return out;
  }
  try {
    store::DrptVset rows(*voice);
    if (!rows.open(Condition::eq("rcdfn", row.rcdfn), store::sortBy("sqno"))) throw std::runtime_error(rows.error());
    VoiceRecord existing;
    bool found = rows.next(existing);
    if (!found && !rows.error().empty()) throw std::runtime_error(rows.error());
    rows.close();
    if (found) {
      out.duplicate = true;
    } else {
      VoiceRecord copy = row;
      copy.sqno = 0;
      if (!rows.add(copy)) throw std::runtime_error(rows.error());
      out.stored = true;
    }
  } catch (const std::exception& e) {
    out.error = store::failureText(e);
    return out;
  }
  // The recorded port gets a user row when it has none (all counters 0).
  store::Database* main = store_.mainDatabase();
  if (main && !corvane::trimBlanks(row.rcdport).empty()) {
    std::string error;
    if (!store_.ensureUserRow(row.rcdport, error)) out.error = error;
  }
  if (out.stored && onStored) onStored();
  return out;
}

bool RecordVoiceStore::voiceOpen() { return store_.voiceOpen(); }

std::optional<uint64_t> RecordVoiceStore::waitingToConvert() {
  store::Database* voice = store_.voiceDatabase();
  if (!voice) return std::nullopt;
  try {
    Condition filter = Condition::all(
        {Condition::any({Condition::compare(Expr::caseless("rcdfx"), Condition::Op::Eq, std::string("wav")),
                         Condition::compare(Expr::caseless("rcdfx"), Condition::Op::Eq, std::string("apc"))}),
         Condition::isClear("Wavu")});
    std::string sql = "SELECT COUNT(*) FROM Vdata00 WHERE ";
    std::vector<store::SqlValue> params;
    filter.render(voice->dialect(), sql, params);
    odbc::Statement s(voice->connection());
    s.prepare(sql);
    store::ValueBinder b(*voice);
    b.bind(s, params);
    s.execute();
    int64_t n = 0;
    if (s.fetch()) s.getInt64(1, n);
    s.closeCursor();
    return static_cast<uint64_t>(n);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<VoiceRecord> RecordVoiceStore::firstToConvert(const std::function<bool(const VoiceRecord&)>& accept,
                                                            std::string& error) {
  error.clear();
  store::Database* voice = store_.voiceDatabase();
  if (!voice) return std::nullopt;
  try {
    store::DrptVset rows(*voice);
    Condition filter = Condition::all(
        {Condition::any({Condition::compare(Expr::caseless("rcdfx"), Condition::Op::Eq, std::string("wav")),
                         Condition::compare(Expr::caseless("rcdfx"), Condition::Op::Eq, std::string("apc"))}),
         Condition::isClear("Wavu")});
    store::Sort sort{store::SortKey{Expr::column("rcddate"), true}, store::SortKey{Expr::column("rcdtime"), true}};
    if (!rows.open(filter, sort)) {
      error = rows.error();
      return std::nullopt;
    }
    // Read to the end before anything else touches the database.
    std::vector<VoiceRecord> all;
    VoiceRecord r;
    while (rows.next(r)) all.push_back(r);
    if (!rows.error().empty()) {
      error = rows.error();
      return std::nullopt;
    }
    rows.close();
    for (auto& row : all)
      if (accept(row)) return row;
  } catch (const std::exception& e) {
    error = e.what();
  }
  return std::nullopt;
}

namespace {

// Applies change to the first row with rcdfn and writes it back.
bool updateFirst(RecordStore& store, const std::string& rcdfn, const std::function<void(VoiceRecord&)>& change,
                 std::string& error) {
  store::Database* voice = store.voiceDatabase();
  if (!voice) {
    error = "LumarcVt.mdb not open";
    return false;
  }
  try {
    store::DrptVset rows(*voice);
    if (!rows.open(Condition::eq("rcdfn", rcdfn), store::sortBy("sqno"))) {
      error = rows.error();
      return false;
    }
    VoiceRecord r;
    bool found = rows.next(r);
    if (!found && !rows.error().empty()) {
      error = rows.error();
      return false;
    }
    rows.close();
    if (!found) {
      error = "Vdata00: " + rcdfn;
      return false;
    }
    change(r);
    if (!rows.update(r)) {
      error = rows.error();
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

}  // namespace

bool RecordVoiceStore::setExtension(const std::string& rcdfn, const std::string& ext, std::string& error) {
  return updateFirst(
      store_, rcdfn, [&](VoiceRecord& r) { r.rcdfx = ext; }, error);
}

bool RecordVoiceStore::markFailed(const std::string& rcdfn, const std::string& newName, std::string& error) {
  return updateFirst(
      store_, rcdfn,
      [&](VoiceRecord& r) {
        r.rcdfn = newName;
        r.Wavu = true;
        r.duration = 0;
      },
      error);
}

}  // namespace lumarc
