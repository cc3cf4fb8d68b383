#include "lumarc/links/voice_convert.h"

#include "common/mp3.h"
#include "common/recording_name.h"
#include "lumarc/links/link_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>

using namespace lumarc;
using namespace lumarc::testing;

namespace {

// Vdata00 in memory, with switchable database errors.
struct MemoryRows : VoiceConvertRows {
  std::vector<VoiceRecord> rows;
  bool open = true;
  bool failUpdates = false;
  int queries = 0;
  bool voiceOpen() override { return open; }
  std::optional<VoiceRecord> firstToConvert(const std::function<bool(const VoiceRecord&)>& accept,
                                            std::string&) override {
    ++queries;
    std::vector<VoiceRecord> sorted;
    for (auto& r : rows)
      if (!r.Wavu && (corvane::equalsNoCase(r.rcdfx, "wav") || corvane::equalsNoCase(r.rcdfx, "apc")))
        sorted.push_back(r);
    std::stable_sort(sorted.begin(), sorted.end(), [](const VoiceRecord& a, const VoiceRecord& b) {
      return a.rcddate != b.rcddate ? a.rcddate > b.rcddate : a.rcdtime > b.rcdtime;
    });
    for (auto& r : sorted)
      if (accept(r)) return r;
    return std::nullopt;
  }
  VoiceRecord* find(const std::string& rcdfn) {
    for (auto& r : rows)
      if (r.rcdfn == rcdfn) return &r;
    return nullptr;
  }
  bool setExtension(const std::string& rcdfn, const std::string& ext, std::string& error) override {
    VoiceRecord* r = find(rcdfn);
    if (failUpdates || !r) return error = "disk I/O error", false;
    r->rcdfx = ext;
    return true;
  }
  bool markFailed(const std::string& rcdfn, const std::string& newName, std::string& error) override {
    VoiceRecord* r = find(rcdfn);
    if (failUpdates || !r) return error = "disk I/O error", false;
    r->rcdfn = newName;
    r->Wavu = true;
    r->duration = 0;
    return true;
  }
};

void writeFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// ADPCM that swings: alternating large positive and negative codes.
std::string apcBytes(size_t blocks) {
  std::string s(64, 'h');
  for (size_t i = 0; i < blocks * 120; ++i) s += char(i % 8 < 4 ? 0x33 : 0xBB);
  return s;
}

std::string toneWav(size_t samples, uint16_t bits = 16) {
  auto h = corvane::wavHeader(uint32_t(samples * 2));
  std::string b(h.begin(), h.end());
  b[34] = char(bits);
  for (size_t i = 0; i < samples; ++i) {
    int16_t v = int16_t(std::lround(6000 * std::sin(2 * M_PI * 300.0 * double(i) / 8000.0)));
    b += char(uint16_t(v) & 0xFF);
    b += char(uint16_t(v) >> 8);
  }
  return b;
}

struct Fixture {
  TempDir dir;
  MemoryRows rows;
  std::vector<unsigned long> counts;
  std::vector<std::string> errors;
  std::unique_ptr<VoiceConverter> conv;
  Fixture() {
    ::mkdir(wav().c_str(), 0755);
    ConverterEvents ev;
    ev.conversions = [this](unsigned long n) { counts.push_back(n); };
    ev.error = [this](const std::string& e) { errors.push_back(e); };
    conv = std::make_unique<VoiceConverter>(dir.path(), rows, ev);
  }
  std::string wav() const { return dir.path() + "/Wav"; }
  VoiceRecord& add(const std::string& title, const std::string& ext, const std::string& content,
                   uint32_t date = 0x240101, uint32_t time = 0x120000) {
    VoiceRecord r;
    r.rcdfn = wav() + "/" + title;
    r.rcdfx = ext;
    r.rcddate = date;
    r.rcdtime = time;
    r.duration = 7;
    if (!content.empty()) writeFile(r.rcdfn + "." + ext, content);
    rows.rows.push_back(r);
    return rows.rows.back();
  }
  // Steps until the conversion that started has been put in place.
  void runOne() {
    for (int i = 0; i < 10 && conv->state() != VoiceConverter::State::Converting; ++i) conv->converterStep();
    ASSERT_EQ(conv->state(), VoiceConverter::State::Converting);
    while (conv->workerBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    conv->converterStep();
    ASSERT_EQ(conv->state(), VoiceConverter::State::Idle);
  }
};

}  // namespace

TEST(VoiceConversion, ApcRecordingBecomesAnMp3AndTheRowSaysSo) {
  Fixture f;
  f.add("1234_____240101_120000_AO____7F000001", "apc", apcBytes(200));  // 3 s
  f.runOne();
  const std::string name = f.wav() + "/1234_____240101_120000_AO____7F000001";
  EXPECT_EQ(f.rows.rows[0].rcdfx, "mp3");
  EXPECT_FALSE(f.rows.rows[0].Wavu);
  EXPECT_FALSE(exists(name + ".apc"));
  auto pcm = corvane::decodeMp3(readAll(name + ".mp3"));
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->sampleRate, 8000);
  EXPECT_GE(pcm->samples.size(), 200u * 240u);
  EXPECT_FALSE(exists(f.wav() + "/mp3.tmp"));
  EXPECT_FALSE(exists(f.wav() + "/wav.tmp"));
  EXPECT_EQ(f.counts, (std::vector<unsigned long>{1}));
  EXPECT_EQ(conversionCountText(1), "mp3:1");
}

TEST(VoiceConversion, NothingHappensInTheFirstFourStepsOrWithoutTheDatabase) {
  Fixture f;
  f.add("a", "apc", apcBytes(2));
  f.rows.open = false;
  for (int i = 0; i < 20; ++i) f.conv->converterStep();
  EXPECT_EQ(f.rows.queries, 0);
  f.rows.open = true;
  for (int i = 0; i < 4; ++i) f.conv->converterStep();
  EXPECT_EQ(f.rows.queries, 0);
  f.conv->converterStep();
  EXPECT_EQ(f.rows.queries, 1);
  EXPECT_EQ(f.conv->state(), VoiceConverter::State::Converting);
}

TEST(VoiceConversion, FailedEncodingKeepsTheSourceRenamedAndMarksTheRow) {
  Fixture f;
  const std::string content = toneWav(800, 8);  // 8-bit: not convertible
  f.add("9________240101_120000_AI____7F000001", "wav", content);
  f.runOne();
  const std::string name = f.wav() + "/9________240101_120000_AI____7F000001";
  EXPECT_EQ(readAll(name + ".cfl.wav"), content);
  EXPECT_FALSE(exists(name + ".wav"));
  EXPECT_FALSE(exists(name + ".mp3"));
  EXPECT_FALSE(exists(f.wav() + "/mp3.tmp"));
  EXPECT_EQ(f.rows.rows[0].rcdfn, name + ".cfl");
  EXPECT_TRUE(f.rows.rows[0].Wavu);
  EXPECT_EQ(f.rows.rows[0].duration, 0u);
  // The name still reads back, as a failed conversion.
  auto back = corvane::parseVoiceFileName(name + ".cfl.wav", content.size());
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->Wavu);
  EXPECT_EQ(back->rcdfn, name + ".cfl");
  // Never tried again.
  for (int i = 0; i < 20; ++i) f.conv->converterStep();
  EXPECT_EQ(f.conv->state(), VoiceConverter::State::Waiting);
}

TEST(VoiceConversion, TooShortApcIsKeptAsFailedNotDeleted) {
  Fixture f;
  f.add("s", "apc", std::string(64, 'x'));
  f.runOne();
  EXPECT_EQ(readAll(f.wav() + "/s.cfl.apc"), std::string(64, 'x'));
  EXPECT_TRUE(f.rows.rows[0].Wavu);
}

TEST(VoiceConversion, RowUpdateFailureKeepsTheSource) {
  Fixture f;
  const std::string content = toneWav(4000);
  f.add("w", "wav", content);
  f.rows.failUpdates = true;
  f.runOne();
  EXPECT_EQ(readAll(f.wav() + "/w.wav"), content);
  EXPECT_TRUE(exists(f.wav() + "/w.mp3"));
  EXPECT_EQ(f.rows.rows[0].rcdfx, "wav");
  ASSERT_EQ(f.errors.size(), 1u);
  EXPECT_EQ(f.errors[0], "disk I/O error");
  // Once the database works again the same recording is converted.
  f.rows.failUpdates = false;
  f.runOne();
  EXPECT_EQ(f.rows.rows[0].rcdfx, "mp3");
  EXPECT_FALSE(exists(f.wav() + "/w.wav"));
}

TEST(VoiceConversion, FailureMarkThatCannotBeStoredPutsTheFileBack) {
  Fixture f;
  const std::string content = toneWav(800, 8);
  f.add("b", "wav", content);
  f.rows.failUpdates = true;
  f.runOne();
  EXPECT_EQ(readAll(f.wav() + "/b.wav"), content);
  EXPECT_FALSE(exists(f.wav() + "/b.cfl.wav"));
  EXPECT_EQ(f.errors.size(), 1u);
}

TEST(VoiceConversion, ExistingFailedFileIsNeverOverwritten) {
  Fixture f;
  const std::string content = toneWav(800, 8);
  f.add("c", "wav", content);
  writeFile(f.wav() + "/c.cfl.wav", "older failed recording");
  f.runOne();
  EXPECT_EQ(readAll(f.wav() + "/c.cfl.wav"), "older failed recording");
  EXPECT_EQ(readAll(f.wav() + "/c.wav"), content);
  EXPECT_TRUE(f.rows.rows[0].Wavu);  // marked under its own name
  EXPECT_EQ(f.rows.rows[0].rcdfn, f.wav() + "/c");
}

TEST(VoiceConversion, NewestReadableRecordingGoesFirst) {
  Fixture f;
  f.add("old", "apc", apcBytes(2), 0x240101, 0x100000);
  f.add("missing", "apc", "", 0x240301, 0x100000);
  f.add("new", "APC", apcBytes(2), 0x240201, 0x100000);
  f.add("done", "mp3", "x", 0x240401, 0x100000);
  f.runOne();
  EXPECT_EQ(f.rows.rows[2].rcdfx, "mp3");
  EXPECT_TRUE(exists(f.wav() + "/new.mp3"));
  EXPECT_FALSE(exists(f.wav() + "/new.APC"));
  EXPECT_EQ(f.rows.rows[0].rcdfx, "apc");
  f.runOne();
  EXPECT_EQ(f.rows.rows[0].rcdfx, "mp3");
  EXPECT_EQ(f.counts, (std::vector<unsigned long>{1, 2}));
}

TEST(VoiceConversion, WaitingEndsAfterAThousandStepsOrWhenARecordingIsStored) {
  Fixture f;
  for (int i = 0; i < 5; ++i) f.conv->converterStep();
  ASSERT_EQ(f.conv->state(), VoiceConverter::State::Waiting);
  for (int i = 0; i < 1000; ++i) f.conv->converterStep();
  EXPECT_EQ(f.conv->state(), VoiceConverter::State::Waiting);
  f.conv->converterStep();
  EXPECT_EQ(f.conv->state(), VoiceConverter::State::Idle);
  f.conv->converterStep();
  EXPECT_EQ(f.conv->state(), VoiceConverter::State::Waiting);
  f.conv->wake();
  EXPECT_EQ(f.conv->state(), VoiceConverter::State::Idle);
}

TEST(VoiceConversion, StaleScratchFilesAreRemovedAtStart) {
  Fixture f;
  writeFile(f.wav() + "/mp3.tmp", "left over");
  writeFile(f.wav() + "/wav.tmp", "left over");
  f.conv->converterStep();
  EXPECT_FALSE(exists(f.wav() + "/mp3.tmp"));
  EXPECT_FALSE(exists(f.wav() + "/wav.tmp"));
}

TEST(VoiceConversion, ShutdownDuringAConversionLeavesTheSourceUntouched) {
  Fixture f;
  const std::string content = apcBytes(40000);  // 80 s of sound
  f.add("long", "apc", content);
  for (int i = 0; i < 5; ++i) f.conv->converterStep();
  ASSERT_EQ(f.conv->state(), VoiceConverter::State::Converting);
  f.conv->shutdown();
  EXPECT_FALSE(f.conv->workerBusy());
  EXPECT_EQ(readAll(f.wav() + "/long.apc"), content);
  EXPECT_FALSE(f.rows.rows[0].Wavu);
  EXPECT_EQ(f.rows.rows[0].rcdfx, "apc");
}

TEST(ConversionPass, ApcGoesThroughAWavScratchFileThatIsRemovedAfterwards) {
  TempDir d;
  writeFile(d.path() + "/x.apc", apcBytes(10));
  EXPECT_EQ(convertRecording(d.path() + "/x.apc", true, d.path() + "/wav.tmp", d.path() + "/mp3.tmp", nullptr),
            ConvertStatus::Ok);
  EXPECT_TRUE(exists(d.path() + "/mp3.tmp"));
  EXPECT_FALSE(exists(d.path() + "/wav.tmp"));
  EXPECT_TRUE(exists(d.path() + "/x.apc"));
}
