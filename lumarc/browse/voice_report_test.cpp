// The voice recording list, the scan that rebuilds it from the recording
// files, the archive copy of a recording and the call trace, on real seeded
// databases (SQLite always, PostgreSQL when the test server is given).
#include "lumarc/browse/voice_report.h"

#include "common/fault_seam.h"
#include "common/format.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/browse_db_test_support.h"
#include "lumarc/browse/selection.h"
#include "lumarc/browse/trace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace lumarc::browse {
namespace {

namespace fs = std::filesystem;

struct Line {
  std::string text;
  int32_t kind;
  int32_t index;
};

class VoiceListing_ : public testing::OnDatabase {
 protected:
  void SetUp() override {
    OnDatabase::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string conn;
    if (schema_) conn = schema_->connection();
    ASSERT_TRUE(store_.openVoiceDatabase(dir_.path(), conn));
  }
  store::Database& voice() { return *store_.voiceDatabase(); }

  int32_t addRecording(const char* port, uint32_t date, uint32_t time, uint32_t cref = 0, bool out = false,
                       const char* rcv = "", uint32_t duration = 30) {
    VoiceRecord r;
    r.rcdport = corvane::portText8(port);
    r.rcddate = date;
    r.rcdtime = time;
    r.rcdtype = "A";
    r.duration = duration;
    r.rcddsq = "1001";
    r.rcdrcv = rcv;
    r.cref = cref;
    r.Drog = out;
    r.rcdfn = dir_.path() + "/rec" + std::to_string(++made_);
    r.rcdfx = "wav";
    store::DrptVset v(voice());
    EXPECT_TRUE(v.add(r)) << v.error();
    return r.sqno;
  }
  int32_t addCall(uint32_t crefa, uint32_t crefb) {
    CmdrRecord r = call("2001", DateTime{2024, 3, 1, 10, 0, made_++});
    r.crefa = crefa;
    r.crefb = crefb;
    return add(r);
  }
  std::vector<Line> list(const TemplateRecord& s, browse::VoiceListing* result = nullptr) {
    std::vector<Line> lines;
    browse::VoiceListing l = listRecordings(voice(), &db(), planFor(s, ListedTable::Voice), englishTexts(),
                                            [&](std::string_view t, int32_t k, int32_t i, int32_t) {
                                              lines.push_back({std::string(t), k, i});
                                            });
    EXPECT_EQ(l.error, "");
    if (result) *result = l;
    return lines;
  }
  std::vector<Line> trace(const TraceKey& key) {
    std::vector<Line> lines;
    TraceListing t =
        buildTrace(&db(), &voice(), key, englishTexts(), [&](std::string_view s, int32_t k, int32_t i, int32_t) {
          lines.push_back({std::string(s), k, i});
        });
    EXPECT_EQ(t.error, "");
    return lines;
  }
  static std::vector<int32_t> recordingIndexes(const std::vector<Line>& lines, int32_t kind = kRecordingLineKind) {
    std::vector<int32_t> out;
    for (const Line& l : lines)
      if (l.kind == kind) out.push_back(l.index);
    return out;
  }
  int made_ = 0;
};

// ---- Listing ----

TEST_P(VoiceListing_, ModesGroupUsersWithHeadingsAndBlankLinesBetween) {
  addUser("201", "Smith", "Ann", true);
  addUser("202", "Jones", "Bob", false);
  const int32_t b1 = addRecording("202", 0x240301, 0x090000);
  const int32_t a2 = addRecording("201", 0x240302, 0x080000);
  const int32_t a1 = addRecording("201", 0x240301, 0x100000);
  const int32_t c1 = addRecording("203", 0x240301, 0x070000);  // a port without a user

  TemplateRecord s = defaultSelection();
  s.TLtyp = kAllTimeSorted;
  std::vector<Line> lines = list(s);
  EXPECT_EQ(recordingIndexes(lines), (std::vector<int32_t>{c1, b1, a1, a2}));
  EXPECT_EQ(lines.size(), 4u) << "no headings in date order";

  s.TLtyp = kAllUserSorted;
  lines = list(s);
  std::vector<std::string> texts;
  for (const Line& l : lines) texts.push_back(l.kind == kRecordingLineKind ? "#" + std::to_string(l.index) : l.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Smith, Ann      201", "#" + std::to_string(a1), "#" + std::to_string(a2),
                                             "", "Jones, Bob      202", "#" + std::to_string(b1), "", "      203",
                                             "#" + std::to_string(c1)}));

  // Only selected users: the unlisted users' rows are still counted for the charts.
  s.TLtyp = kSelectedUsers;
  browse::VoiceListing result;
  lines = list(s, &result);
  EXPECT_EQ(recordingIndexes(lines), (std::vector<int32_t>{a1, a2}));
  EXPECT_EQ(lines.size(), 3u) << "no blank line where no other user follows";
  EXPECT_EQ(result.recordings, 2);
  EXPECT_EQ(result.statistics.count, 4);
  EXPECT_EQ(result.statistics.hours[7], 1);
  EXPECT_EQ(result.header1, englishTexts().text(kTextVoiceColumns));

  s.TLtyp = kSingleUser;
  s.TLstr = "202";
  lines = list(s);
  EXPECT_EQ(recordingIndexes(lines), (std::vector<int32_t>{b1}));

  // Nothing listed: no column titles.
  s.TLstr = "999";
  lines = list(s, &result);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(result.header1, "");
}

TEST_P(VoiceListing_, RecordingLineShowsDirectionDateAndReplacedNumber) {
  addDefinition("HQ", "0212", false);
  addRecording("12AB", 0x240315, 0x173005, 0, true, "02125550000", 125);
  TemplateRecord s = defaultSelection();
  s.TRplc = 1;
  std::vector<Line> lines = list(s);
  ASSERT_EQ(lines.size(), 1u);
  const std::string& t = lines[0].text;
  const std::string titles = englishTexts().text(kTextVoiceColumns);
  EXPECT_EQ(t.substr(0, 38), "    12AB 2024/03/15 17:30:05 " + corvane::formatDuration(125) + " ");
  EXPECT_EQ(t.substr(titles.find("Dir"), 6), "O     ");
  EXPECT_EQ(t.substr(titles.find("Dialled"), 17), "(HQ)5550000      ");
  EXPECT_EQ(t.substr(titles.find("File")), dir_.path() + "/rec1.wav");
}

// ---- Scan ----

void writeFile(const std::string& path, size_t bytes) {
  std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

TEST_P(VoiceListing_, ScanRebuildsTheTableFromMatchingFilesOnly) {
  addRecording("999", 0x240101, 0x000000);  // a row whose file is gone
  const std::string wav = dir_.path() + "/scan";
  fs::create_directory(wav);
  writeFile(wav + "/12AB_____240315_173005_AO_1001_555__0000002A_0A000001.apc", 8000);
  writeFile(wav + "/201______240316_080000_AI_1002_556_.mp3", 3000);
  writeFile(wav + "/201______240316_080000_AI.txt", 10);  // not a recording
  writeFile(wav + "/notes.apc", 10);                      // does not match the pattern
  ScanResult r = scanRecordings(voice(), wav);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.stored, 2);
  EXPECT_EQ(r.ports, (std::vector<std::string>{"    12AB", "     201"}));
  std::vector<VoiceRecord> rows;
  store::DrptVset v(voice());
  ASSERT_TRUE(v.open({}, store::sortBy("rcdtime")));
  VoiceRecord row;
  while (v.next(row)) rows.push_back(row);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].rcdport, "     201");
  EXPECT_EQ(rows[1].rcdport, "    12AB");
  EXPECT_EQ(rows[1].cref, 0x2Au);
  EXPECT_EQ(rows[1].duration, 2u);
  EXPECT_TRUE(rows[1].Drog);
}

TEST_P(VoiceListing_, ScanThatFailsMidwayKeepsTheOldRows) {
  const int32_t kept = addRecording("999", 0x240101, 0x000000);
  const std::string wav = dir_.path() + "/scan";
  fs::create_directory(wav);
  writeFile(wav + "/201______240316_080000_AI_1_2_.apc", 4000);
  writeFile(wav + "/202______240316_090000_AI_1_2_.apc", 4000);
  corvane::fault::Injected bad;
  bad.message = "disk I/O error";
  bad.only = "INSERT INTO Vdata00";
  corvane::fault::arm(corvane::fault::Point::Statement, 2, bad);
  ScanResult r = scanRecordings(voice(), wav);
  corvane::fault::disarm();
  EXPECT_NE(r.error, "");
  store::DrptVset v(voice());
  ASSERT_TRUE(v.open());
  VoiceRecord row;
  std::vector<int32_t> left;
  while (v.next(row)) left.push_back(row.sqno);
  EXPECT_EQ(left, std::vector<int32_t>{kept});
}

// ---- Trace ----

TEST_P(VoiceListing_, TraceFindsRecordsLinkedByEitherReferenceAndNoMinusOneTerms) {
  const int32_t x = addCall(100, 200);
  const int32_t y = addCall(200, 300);  // its crefa is x's crefb
  const int32_t z = addCall(300, 0);
  const int32_t minusOne = addCall(0xFFFFFFFFu, 0xFFFFFFFFu);
  const int32_t r200 = addRecording("201", 0x240301, 0x100000, 200);
  const int32_t r300 = addRecording("201", 0x240301, 0x110000, 300);
  addRecording("201", 0x240301, 0x120000, 0);

  std::vector<Line> lines = trace(TraceKey{100, 200});
  EXPECT_EQ(recordingIndexes(lines, kTraceCmdrLineKind), (std::vector<int32_t>{x, y}));
  EXPECT_EQ(recordingIndexes(lines), (std::vector<int32_t>{r200}));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0].text, "");
  EXPECT_EQ(lines[1].text, englishTexts().text(kTextCmdrLongColumns));
  EXPECT_EQ(lines[1].kind, kPlainLineKind);

  lines = trace(TraceKey{300, std::nullopt});
  EXPECT_EQ(recordingIndexes(lines, kTraceCmdrLineKind), (std::vector<int32_t>{y, z}));
  EXPECT_EQ(recordingIndexes(lines), (std::vector<int32_t>{r300}));
  (void)minusOne;

  // A recording no record shares: both headings, the recording, nothing else.
  const int32_t lone = addRecording("201", 0x240301, 0x130000, 777);
  lines = trace(TraceKey{777, std::nullopt});
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3].text, englishTexts().text(kTextVoiceColumns));
  EXPECT_EQ(lines[4].index, lone);

  EXPECT_TRUE(trace(TraceKey{0, std::nullopt}).empty());
  EXPECT_TRUE(trace(TraceKey{100, 0}).empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, VoiceListing_, ::testing::Values(testing::Engine::Sqlite, testing::Engine::Postgres),
                         testing::engineName);

// ---- Archive copy ----

TEST(RecordingCopy, CopiesWholeAndRefusesTheSourceItself) {
  corvane::testing::TempDir dir("voice-copy");
  const std::string src = dir.file("a.wav");
  writeFile(src, 200000);
  std::string error;
  EXPECT_EQ(copyRecording(src, dir.file("b.wav"), error), CopyResult::Copied) << error;
  EXPECT_EQ(fs::file_size(dir.file("b.wav")), 200000u);

  // The same file by another spelling: refused, the recording untouched.
  EXPECT_EQ(copyRecording(src, dir.path() + "/./a.wav", error), CopyResult::SameFile);
  EXPECT_EQ(fs::file_size(src), 200000u);

  // A failed copy leaves an existing target as it was and no temporary file.
  writeFile(dir.file("c.wav"), 5);
  EXPECT_EQ(copyRecording(dir.file("missing.wav"), dir.file("c.wav"), error), CopyResult::SourceMissing);
  EXPECT_EQ(fs::file_size(dir.file("c.wav")), 5u);
  EXPECT_EQ(copyRecording(src, dir.path() + "/no-such-dir/c.wav", error), CopyResult::Failed);
  size_t entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 3u);
}

TEST(RecordingCopy, TargetThatCannotHoldTheCopyIsNotLeftHalfWritten) {
  corvane::testing::TempDir dir("voice-copy");
  const std::string src = dir.file("a.wav");
  writeFile(src, 4096);
  // A renamed-in directory at the target's name makes the final step fail.
  fs::create_directory(dir.file("target.wav"));
  writeFile(dir.file("target.wav") + "/inside", 1);
  std::string error;
  EXPECT_EQ(copyRecording(src, dir.file("target.wav"), error), CopyResult::Failed);
  size_t entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 2u) << "the temporary file is gone";
}

}  // namespace
}  // namespace lumarc::browse
