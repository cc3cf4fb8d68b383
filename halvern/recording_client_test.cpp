// The recording download client against a scripted exchange: whole files
// at block boundaries, a short block, a malformed offer, a silent exchange
// and a disk that refuses the write.
#include "halvern/recording_client.h"

#include "common/byte_io.h"
#include "common/fault_seam.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <set>
#include <vector>

namespace halvern {
namespace {

using corvane::ByteReader;
using corvane::ByteWriter;
using corvane::testing::filesIn;
using corvane::testing::readAll;
using corvane::testing::TempDir;
namespace voicemsg = corvane::voicemsg;

constexpr std::uint32_t kSelector = 0xFFFFF200u;  // extension 200

struct Actions : RecordingClientActions {
  std::vector<std::string> sent;
  std::vector<std::string> fetched;
  void sendDatagram(const std::string& bytes) override { sent.push_back(bytes); }
  void recordingFetched(const std::string& path) override { fetched.push_back(path); }
};

// The exchange's side: answers the client's last request.
struct Fixture {
  TempDir dir;
  Actions actions;
  RecordingClient client{dir.path(), kSelector, 0, actions};

  Fixture() { client.onConnected(); }

  const std::string& last() const { return actions.sent.back(); }
  std::uint8_t lastCode() const { return std::uint8_t(last()[voicemsg::kCode]); }

  std::string replyTo(const std::string& request, std::uint32_t key, std::size_t size) const {
    std::string r(size, '\0');
    ByteWriter w(r);
    const ByteReader in(request);
    w.putLe32(voicemsg::kIdentifier, in.le32(voicemsg::kIdentifier));
    w.putLe32(voicemsg::kFileKey, key);
    w.putLe32(voicemsg::kSequence, in.le32(voicemsg::kSequence));
    return r;
  }
  void deliver(const std::string& d) { client.onDatagram(reinterpret_cast<const std::uint8_t*>(d.data()), d.size()); }

  // An offer of `size` bytes (date word 0: the end of the list).
  void offer(std::uint32_t dateWord, std::uint32_t size, std::size_t length = voicemsg::kOfferSize) {
    ASSERT_EQ(lastCode(), corvane::kVoiceFileQuery);
    std::string r = replyTo(last(), kSelector, length);
    ByteWriter w(r);
    w.fill(voicemsg::kOfferDescription + 12, 64, ' ');
    w.putLe32(voicemsg::kOfferDateWord, dateWord);
    w.putLe32(voicemsg::kOfferFileKey, kSelector);
    w.putLe32(voicemsg::kOfferFileSize, size);
    w.putBytes(voicemsg::kOfferDescription + corvane::voicedesc::kCalling, std::string_view("5551234"));
    w.put8(voicemsg::kOfferDescription + corvane::voicedesc::kType, 'A');
    deliver(r);
  }
  // Answers the block request with `n` data bytes (from `content`).
  void block(const std::string& content, std::size_t n) {
    ASSERT_EQ(lastCode(), corvane::kVoiceBlock);
    const std::uint32_t index = ByteReader(last()).le32(voicemsg::kBlockNumber);
    deliver(replyTo(last(), kSelector, voicemsg::kBlockData) + content.substr(index * 1024, n));
  }
  void confirm() {
    ASSERT_EQ(lastCode(), corvane::kVoiceFileDone);
    deliver(replyTo(last(), kSelector, voicemsg::kHeadSize));
  }
  // A whole recording, each block as long as the file allows.
  void fetchWhole(const std::string& content) {
    offer(0x614CA28B, std::uint32_t(content.size()));
    while (lastCode() == corvane::kVoiceBlock) {
      const std::uint32_t index = ByteReader(last()).le32(voicemsg::kBlockNumber);
      block(content, std::min<std::size_t>(1024, content.size() - index * 1024));
    }
    confirm();
  }
  int blockRequests() const {
    int n = 0;
    for (const std::string& s : actions.sent) n += std::uint8_t(s[voicemsg::kCode]) == corvane::kVoiceBlock;
    return n;
  }
};

std::string pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = char(i * 7 + i / 251);
  return s;
}

TEST(RecordingDownload, FilesAtBlockBoundariesArriveWholeAndTheRunCountsThem) {
  struct Case {
    std::size_t size;
    int blocks;
  };
  for (const Case c : {Case{2048, 2}, Case{2049, 3}}) {
    Fixture f;
    f.client.download();
    ASSERT_EQ(f.actions.sent.size(), 1u);
    // The query names the extension instead of 0xFF x 4.
    EXPECT_EQ(f.last(), corvane::voiceFileQuery(kSelector, 0));
    EXPECT_EQ(f.client.statusLine(0), "Connecting to server ");
    const std::string content = pattern(c.size);
    f.fetchWhole(content);
    EXPECT_EQ(f.blockRequests(), c.blocks) << c.size;
    ASSERT_EQ(f.actions.fetched.size(), 1u);
    const std::string path = f.actions.fetched[0];
    EXPECT_EQ(readAll(path), content);
    EXPECT_EQ(path.substr(path.rfind('/') + 1), "200______240506_101011_AI___5551234") << path;
    f.offer(0, 0);
    EXPECT_EQ(f.client.statusLine(0), "Downloaded file: 0001");
  }
}

TEST(RecordingDownload, EmptyRecordingIsConfirmedSoTheRecordingsAfterItStillArrive) {
  Fixture f;
  f.client.download();
  f.offer(0x614CA28A, 0);
  // Confirmed at once, with nothing fetched or made.
  f.confirm();
  EXPECT_EQ(f.blockRequests(), 0);
  EXPECT_TRUE(f.actions.fetched.empty());
  EXPECT_TRUE(filesIn(f.dir.path() + "/Wav").empty());
  f.fetchWhole(pattern(1500));
  f.offer(0, 0);
  EXPECT_EQ(f.actions.fetched.size(), 1u);
  EXPECT_EQ(f.client.statusLine(0), "Downloaded file: 0001");
}

TEST(RecordingDownload, ShortBlockBeforeTheLastKeepsTheFileButSaysTheDownloadFailed) {
  Fixture f;
  f.client.download();
  const std::string content = pattern(3000);
  f.offer(0x614CA28B, 3000);
  f.block(content, 1024);
  f.block(content, 100);  // block 1 of 3, short: not written
  // The file ends here: confirmed, kept for conversion, not counted.
  EXPECT_EQ(f.client.statusLine(0), "Download failed!");
  f.confirm();
  ASSERT_EQ(f.actions.fetched.size(), 1u);
  EXPECT_EQ(readAll(f.actions.fetched[0]), content.substr(0, 1024));
  f.offer(0, 0);
  EXPECT_EQ(f.client.statusLine(0), "Downloaded file: 0000");
}

TEST(RecordingDownload, LastBlockLongerThanTheFileIsCutToTheFilesSize) {
  Fixture f;
  f.client.download();
  const std::string content = pattern(2048);
  f.offer(0x614CA28B, 1500);
  f.block(content, 1024);
  f.block(content, 1024);
  f.confirm();
  ASSERT_EQ(f.actions.fetched.size(), 1u);
  EXPECT_EQ(readAll(f.actions.fetched[0]), content.substr(0, 1500));
}

TEST(RecordingDownload, OfferOfWrongLengthIsIgnoredAndTheLinesClearAfter100Seconds) {
  for (std::size_t length : {std::size_t(87), std::size_t(89)}) {
    Fixture f;
    f.client.download();
    f.offer(0x614CA28B, 2048, length);
    EXPECT_EQ(f.blockRequests(), 0) << length;
    // Answered all the same: nothing is asked again, the run stalls.
    for (int t = 0; t < 1000; ++t) f.client.refreshStep();
    EXPECT_EQ(f.actions.sent.size(), 1u);
    EXPECT_EQ(f.client.statusLine(0), "Connecting to server ");
    f.client.refreshStep();
    EXPECT_EQ(f.client.statusLine(0), "");
  }
}

TEST(RecordingDownload, SilentExchangeGetsTheRequestAgainEvery30sAndIsGivenUpAfter80s) {
  Fixture f;
  f.client.download();
  const std::string content = pattern(3000);
  f.offer(0x614CA28B, 3000);
  f.block(content, 1024);
  ASSERT_EQ(filesIn(f.client.wavDir()).size(), 1u);
  const std::size_t before = f.actions.sent.size();
  for (int t = 0; t < 297; ++t) f.client.refreshStep();
  EXPECT_EQ(f.actions.sent.size(), before);
  f.client.refreshStep();  // 29.8 s
  ASSERT_EQ(f.actions.sent.size(), before + 1);
  // The same block again under a new sequence number.
  EXPECT_EQ(f.last(), corvane::voiceBlockRequest(kSelector, f.client.sequence() - 1, 0x614CA28B, 1));
  for (int t = 298; t < 800; ++t) f.client.refreshStep();
  EXPECT_EQ(f.actions.sent.size(), before + 2);
  EXPECT_TRUE(f.client.fetching());
  f.client.refreshStep();  // past 80 s
  EXPECT_FALSE(f.client.fetching());
  EXPECT_EQ(f.client.statusLine(0), "Download failed!");
  EXPECT_EQ(f.client.statusLine(1), "");
  EXPECT_TRUE(filesIn(f.client.wavDir()).empty()) << "the partial file stays behind";
  // A late answer to the abandoned request changes nothing.
  f.block(content, 1024);
  EXPECT_FALSE(f.client.fetching());
}

TEST(RecordingDownload, WriteFailureDeletesThePartialFileAndSaysTheDownloadFailed) {
  Fixture f;
  f.client.download();
  const std::string content = pattern(3000);
  f.offer(0x614CA28B, 3000);
  f.block(content, 1024);
  corvane::fault::Guard guard;
  corvane::fault::Injected full;
  full.errnum = ENOSPC;
  corvane::fault::arm(corvane::fault::Point::FileWrite, 1, full);
  f.block(content, 1024);
  EXPECT_EQ(f.client.statusLine(0), "Download failed!");
  EXPECT_FALSE(f.client.fetching());
  EXPECT_TRUE(filesIn(f.client.wavDir()).empty());
  EXPECT_TRUE(f.actions.fetched.empty());
}

}  // namespace
}  // namespace halvern
