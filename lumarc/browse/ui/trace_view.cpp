#include "lumarc/browse/ui/trace_view.h"

#include "lumarc/texts/texts.h"
#include "lumarc/browse/ui/voice_view.h"
#include "lumarc/browse/voice_report.h"
#include "lumarc/store/database.h"

#include <exception>

namespace lumarc::browse {

CfwDbTrc::CfwDbTrc(const corvane::StringTable& texts, TraceViewHooks hooks, QWidget* parent)
    : CfwDblist(texts, parent), texts_(texts), hooks_(std::move(hooks)) {
  setObjectName("traceView");
  if (!hooks_.chooseTarget) {
    hooks_.chooseTarget = [this](const std::string& suggested) { return askArchiveTarget(this, texts_, suggested); };
  }
  connect(this, &CfwDblist::lineActivated, this, [this](int line) { activate(line); });
}

void CfwDbTrc::trace(const TraceKey& key) {
  clear();
  TraceListing t = buildTrace(
      hooks_.cmdrDatabase ? hooks_.cmdrDatabase() : nullptr, hooks_.voiceDatabase ? hooks_.voiceDatabase() : nullptr,
      key, texts_,
      [this](std::string_view text, int32_t kind, int32_t index, int32_t extra) { addLine(text, kind, index, extra); });
  setHeaders("", "");
  redraw();
  if (!t.error.empty() && hooks_.message) hooks_.message(t.error);
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
}

std::optional<LineRecord> CfwDbTrc::selected() const {
  const int line = selectedLine();
  return line >= 0 ? lineAt(line) : std::nullopt;
}

std::optional<VoiceRecord> CfwDbTrc::selectedRecording() const { return recordingAt(selectedLine()); }

std::optional<VoiceRecord> CfwDbTrc::recordingAt(int line) const {
  return recordingOfLine(line >= 0 ? lineAt(line) : std::nullopt,
                         hooks_.voiceDatabase ? hooks_.voiceDatabase() : nullptr);
}

bool CfwDbTrc::commandEnabled(int id) const {
  switch (id) {
    case kCmdPlay:
    case kCmdArchive: {
      std::optional<LineRecord> l = selected();
      return l && l->kind == kRecordingLineKind;
    }
    case kCmdPrint: return count() > 0;
    default: return false;
  }
}

void CfwDbTrc::command(int id) {
  switch (id) {
    case kCmdPlay:
      if (std::optional<VoiceRecord> r = selectedRecording()) playRecording(recordingPath(*r));
      break;
    case kCmdArchive:
      if (std::optional<VoiceRecord> r = selectedRecording())
        archiveRecording(texts_, recordingPath(*r), hooks_.chooseTarget, hooks_.message);
      break;
    case kCmdPrint: printWithDialog(); break;
    default: return;
  }
  if (hooks_.refreshToolbar) hooks_.refreshToolbar();
}

void CfwDbTrc::activate(int line) {
  std::optional<LineRecord> l = line >= 0 ? lineAt(line) : std::nullopt;
  if (!l) return;
  if (l->kind == kRecordingLineKind) {
    if (std::optional<VoiceRecord> r = recordingAt(line)) playRecording(recordingPath(*r));
    return;
  }
  if (l->kind != kTraceCmdrLineKind || !hooks_.editUser) return;
  store::Database* cmdr = hooks_.cmdrDatabase ? hooks_.cmdrDatabase() : nullptr;
  store::Database* users = hooks_.mainDatabase ? hooks_.mainDatabase() : nullptr;
  if (!cmdr || !users) return;
  try {
    store::DrptCset records(*cmdr);
    std::optional<CmdrRecord> rec = records.find(l->index);
    if (!rec) return;
    store::DrptPset pset(*users);
    if (!pset.open(store::Condition::eq("cport", rec->cport), store::sortBy("sqno"))) return;
    UserRecord u;
    if (pset.next(u)) hooks_.editUser(u);
  } catch (const std::exception& e) {
    if (hooks_.message) hooks_.message(store::failureText(e));
  }
}

}  // namespace lumarc::browse
