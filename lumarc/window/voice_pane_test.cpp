// The "Voice recording download" pane offscreen: a download that waits for
// the exchange shows the waiting time on its tab, and the plain host again
// once the file is confirmed.
#include "lumarc/window/voice_pane.h"

#include "common/test_support.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/ui/ui_test_support.h"

#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace lumarc::ui {
namespace {

using corvane::testing::TempDir;

struct ChannelSocket : DatagramTransport {
  std::string* last;
  explicit ChannelSocket(std::string* l) : last(l) {}
  OpenResult open(const std::string&, uint16_t) override {
    OpenResult r;
    r.status = OpenResult::Status::Ok;
    uint32_t a = 0x7F000001;
    std::memcpy(r.address, &a, 4);
    return r;
  }
  bool send(std::string_view b) override {
    *last = std::string(b);
    return true;
  }
  void close() override {}
};

struct Sink : VoiceRecordSink {
  int stored = 0;
  VoiceStoreOutcome storeVoiceRecord(const VoiceRecord&) override {
    ++stored;
    VoiceStoreOutcome o;
    o.stored = true;
    return o;
  }
};

std::string replyTo(const std::string& request, uint32_t word4) {
  std::string s = request.substr(0, 4);
  for (int i = 0; i < 4; ++i) s += char(uint8_t(word4 >> (8 * i)));
  return s + request.substr(8, 4);
}

}  // namespace

TEST(VoicePane, StalledDownloadShowsTheWaitingTimeOnItsTab) {
  testApplication();
  TempDir dir("voice_pane");
  SettingsBlock settings;
  Sink sink;
  std::string last;
  DatagramEvents* channel0 = nullptr;
  int made = 0;
  auto sockets = [&](DatagramEvents& e) -> std::unique_ptr<DatagramTransport> {
    if (made++ == 0) channel0 = &e;
    return std::make_unique<ChannelSocket>(&last);
  };
  VoicePane pane(
      settings, englishTexts(), [](const std::string&) {}, [] {}, dir.path(), &sink, sockets);
  ASSERT_EQ(pane.openLink("127.0.0.1"), 0);
  EXPECT_EQ(pane.tabLabelOf(0), "127.0.0.1");
  auto feed = [&](const std::string& b) { channel0->onDatagram(reinterpret_cast<const uint8_t*>(b.data()), b.size()); };
  pane.tick();
  std::string list = replyTo(last, 0) + std::string("\x06\x00\x01\x00\x00\x7F\x92\x26", 8);
  feed(list);
  pane.tick();
  // An offer of a 2000-byte file; the first block arrives, the second not.
  std::string offer = replyTo(last, 0xFFFFFFFF);
  for (uint32_t v : {0x12345678u, 0xFFFF1234u, 2000u})
    for (int i = 0; i < 4; ++i) offer += char(uint8_t(v >> (8 * i)));
  offer += std::string(64, ' ');
  feed(offer);
  feed(replyTo(last, 0xFFFF1234) + std::string(1024, 'a'));
  for (int i = 0; i < 199; ++i) pane.tick();
  EXPECT_EQ(pane.tabLabelOf(0), "127.0.0.1 1");
  feed(replyTo(last, 0xFFFF1234) + std::string(976, 'b'));
  feed(replyTo(last, 0xFFFF1234));
  EXPECT_EQ(pane.tabLabelOf(0), "127.0.0.1");
  EXPECT_EQ(sink.stored, 1);
  ASSERT_NE(pane.listOf(0), nullptr);
  EXPECT_EQ(pane.listOf(0)->count(), 1);
  pane.closeAll();
}

}  // namespace lumarc::ui
