#include "lumarc/browse/trace.h"

#include "lumarc/texts/texts.h"
#include "lumarc/links/cmdr_line.h"

#include <exception>
#include <vector>

namespace lumarc::browse {

namespace {

using store::Condition;

// A reference as the LONG column holds it.
store::SqlValue refValue(uint32_t ref) { return int64_t{static_cast<int32_t>(ref)}; }

// column = reference, for each reference of the key (no term for a missing one).
void addTerms(std::vector<Condition>& terms, const char* column, const TraceKey& key) {
  terms.push_back(Condition::eq(column, refValue(key.first)));
  if (key.second) terms.push_back(Condition::eq(column, refValue(*key.second)));
}

}  // namespace

TraceListing buildTrace(store::Database* cmdrDb, store::Database* voiceDb, const TraceKey& key,
                        const corvane::StringTable& texts, const LineSink& sink) {
  TraceListing out;
  if (!key.valid()) return out;
  auto emit = [&](std::string_view text, int32_t kind, int32_t index) {
    sink(text, kind, index, out.lines);
    ++out.lines;
  };
  auto fail = [&](const std::string& e) {
    if (out.error.empty()) out.error = e;
  };

  emit("", kPlainLineKind, 0);
  emit(texts.text(kTextCmdrLongColumns), kPlainLineKind, 0);
  if (cmdrDb) {
    try {
      std::vector<Condition> terms;
      addTerms(terms, "crefa", key);
      addTerms(terms, "crefb", key);
      store::DrptCset records(*cmdrDb);
      if (records.open(Condition::any(std::move(terms)), store::Sort{store::SortKey{store::Expr::column("tdate")},
                                                                     store::SortKey{store::Expr::column("sqno")}})) {
        CmdrRecord r;
        while (records.next(r)) {
          const std::string line = cmdrLineText(r);
          if (line.empty()) continue;
          emit(line, kTraceCmdrLineKind, r.sqno);
          ++out.records;
        }
      }
      if (!records.error().empty()) fail(records.error());
    } catch (const std::exception& e) {
      fail(store::failureText(e));
    }
  }

  emit("", kPlainLineKind, 0);
  emit(texts.text(kTextVoiceColumns), kPlainLineKind, 0);
  if (voiceDb) {
    try {
      std::vector<Condition> terms;
      addTerms(terms, "cref", key);
      store::DrptVset recordings(*voiceDb);
      if (recordings.open(Condition::any(std::move(terms)), store::Sort{store::SortKey{store::Expr::column("rcddate")},
                                                                        store::SortKey{store::Expr::column("rcdtime")},
                                                                        store::SortKey{store::Expr::column("sqno")}})) {
        VoiceRecord r;
        while (recordings.next(r)) {
          emit(recordingLine(r, texts), kRecordingLineKind, r.sqno);
          ++out.recordings;
        }
      }
      if (!recordings.error().empty()) fail(recordings.error());
    } catch (const std::exception& e) {
      fail(store::failureText(e));
    }
  }
  return out;
}

}  // namespace lumarc::browse
