// lumarc-cli report voice: the voice recording browser's listing as a
// report: text (the report file's bytes), CSV or PDF.
#include "tools/cli/report_cmd.h"

#include "common/codepage.h"
#include "common/files.h"
#include "common/format.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/csv.h"
#include "lumarc/browse/voice_report.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

namespace lumarc::cli {

namespace {

// The CSV columns of a recording row.
const std::vector<std::string>& voiceCsvColumns() {
  static const std::vector<std::string> c = {"kind",      "user", "port",    "date",    "time", "duration",
                                             "direction", "line", "dialled", "calling", "cref", "file"};
  return c;
}

std::string bcdText(uint32_t bcd, char sep, const char* prefix) {
  const std::string d = corvane::hex6(bcd);
  return prefix + d.substr(0, 2) + sep + d.substr(2, 2) + sep + d.substr(4, 2);
}

// The voice database the browser lists: LUMARC_VOICE_DB, else the main
// server, else "<dir>/Wav/LumarcVt.mdb". Nothing to open when that file is
// not there (the report is then empty); false when opening failed.
bool openVoice(const Options& opt, RecordStore& store) {
  const std::string conn = opt.voiceDb.empty() ? opt.db : opt.voiceDb;
  const std::string wav = corvane::joinPath(opt.workDir, RecordStore::kVoiceFolder);
  if (conn.empty() && !userDsnDefined("KvVrcDb")) {
    struct stat st {};
    if (::stat(corvane::joinPath(wav, RecordStore::kVoiceFile).c_str(), &st) != 0) return true;
  }
  return store.openVoiceDatabase(wav, conn);
}

int databaseFailed(const ReportOptions& ro, const std::string& error) {
  std::fprintf(stderr, "lumarc-cli: %s (%s)\n", ro.texts->text(kTextDatabaseAccessFailed).c_str(), error.c_str());
  return 1;
}

}  // namespace

int runVoiceReport(const Options& opt, const ReportOptions& ro) {
  RecordStore& store = *ro.store;
  const corvane::StringTable& texts = *ro.texts;
  if (!openVoice(opt, store)) return databaseFailed(ro, RecordStore::kVoiceFile);
  const browse::ReportPlan plan = browse::planFor(ro.selection, browse::ListedTable::Voice);

  if (ro.format == ReportFormat::Csv) {
    std::FILE* out = ro.output.empty() ? stdout : std::fopen(ro.output.c_str(), "wb");
    if (!out) return fileAccessFailed(ro, ro.output);
    bool ok = true;
    bool titled = false;
    std::string heading;
    auto write = [&](const std::vector<std::string>& fields) {
      const std::string row = browse::csvRow(fields);
      if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) ok = false;
    };
    auto utf8 = [&](std::string_view bytes) { return corvane::toUtf8(bytes, texts.codePage()); };
    browse::VoiceListing l;
    if (store.voiceOpen()) {
      l = browse::listRecordings(
          *store.voiceDatabase(), store.mainDatabase(), plan, texts,
          [&](std::string_view text, int32_t kind, int32_t, int32_t) {
            if (kind == browse::kPlainLineKind && !text.empty()) heading = std::string(text);
          },
          {},
          [&](const VoiceRecord& r) {
            if (!titled) write(voiceCsvColumns());
            titled = true;
            // The user's name: the heading without the port that ends it.
            std::string_view user = heading;
            if (user.size() >= r.rcdport.size() && user.substr(user.size() - r.rcdport.size()) == r.rcdport)
              user.remove_suffix(r.rcdport.size());
            write({"record", utf8(corvane::trimBlanks(user)), utf8(corvane::trimBlanks(r.rcdport)),
                   bcdText(r.rcddate, '-', "20"), bcdText(r.rcdtime, ':', ""), std::to_string(r.duration),
                   utf8(texts.text(r.Drog ? kTextOutgoingMark : kTextIncomingMark)), utf8(r.rcddsq), utf8(r.rcdrcv),
                   utf8(r.rcdcni), std::to_string(r.cref), utf8(browse::recordingPath(r))});
          });
    }
    ok = ok && std::fflush(out) == 0;
    if (out != stdout && std::fclose(out) != 0) ok = false;
    if (!l.error.empty()) return databaseFailed(ro, l.error);
    return ok ? 0 : fileAccessFailed(ro, ro.output.empty() ? "stdout" : ro.output);
  }

  browse::LineStore lines;
  if (!lines.ok()) {
    std::fprintf(stderr, "lumarc-cli: the report lines could not be kept\n");
    return 1;
  }
  browse::VoiceListing l;
  if (store.voiceOpen()) {
    l = browse::listRecordings(*store.voiceDatabase(), store.mainDatabase(), plan, texts,
                               [&](std::string_view text, int32_t kind, int32_t index, int32_t extra) {
                                 lines.add(text, kind, index, extra);
                               });
  }
  if (!l.error.empty()) return databaseFailed(ro, l.error);
  return writeLinesReport(ro, l.header1, "", lines);
}

}  // namespace lumarc::cli
