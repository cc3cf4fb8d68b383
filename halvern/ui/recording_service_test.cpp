// The recording service on the window thread against a plain UDP socket on
// loopback: when the client exists, where its query goes, and that leaving
// Running drops it.
#include "halvern/ui/recording_service.h"

#include "common/test_support.h"
#include "common/voice_message.h"
#include "halvern/ui/test_support.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <gtest/gtest.h>

namespace halvern::ui {
namespace {

using corvane::testing::TempDir;

KeysetSnapshot running(const std::string& address, AddressFamily family, std::uint16_t port) {
  KeysetSnapshot s;
  s.state = LinkState::Running;
  s.extension = 0xFFFFF200u;
  s.exchangeAddress = address;
  s.recordingFamily = family;
  s.recordingPort = port;
  return s;
}

TEST(RecordingServiceStart, ClientExistsOnlyWhenTheAnnouncedFamilyMatchesAndPortAndAddressAreSet) {
  app();
  struct Case {
    const char* address;
    AddressFamily family;
    std::uint16_t port;
    bool available;
  };
  for (const Case c :
       {Case{"127.0.0.1", AddressFamily::IPv4, 9874, true}, Case{"127.0.0.1", AddressFamily::IPv6, 9874, false},
        Case{"127.0.0.1", AddressFamily::IPv4, 0, false}, Case{"0.0.0.0", AddressFamily::IPv4, 9874, false},
        Case{"", AddressFamily::IPv4, 9874, false}, Case{"::1", AddressFamily::IPv6, 9874, true}}) {
    TempDir dir;
    RecordingService service(dir.path(), 0);
    service.refresh(running(c.address, c.family, c.port));
    EXPECT_EQ(service.available(), c.available) << c.address << " " << int(c.family) << " " << c.port;
  }
}

TEST(RecordingServiceStart, DownloadQueriesTheExtensionAtTheExchangeAndLeavingRunningDropsTheClient) {
  app();
  QUdpSocket exchange;
  ASSERT_TRUE(exchange.bind(QHostAddress::LocalHost, 0));
  TempDir dir;
  RecordingService service(dir.path(), 0);
  int changes = 0;
  QObject::connect(&service, &RecordingService::statusChanged, [&] { ++changes; });
  KeysetSnapshot snap = running("127.0.0.1", AddressFamily::IPv4, exchange.localPort());
  service.refresh(snap);
  ASSERT_TRUE(service.available());
  waitUntil([] { return false; }, 50);
  service.download();
  EXPECT_EQ(service.statusLine(0), "Connecting to server ");
  EXPECT_GE(changes, 1);
  ASSERT_TRUE(waitUntil([&] { return exchange.hasPendingDatagrams(); }, 2000));
  QByteArray d(int(exchange.pendingDatagramSize()), '\0');
  exchange.readDatagram(d.data(), d.size());
  EXPECT_EQ(d.toStdString(), corvane::voiceFileQuery(0xFFFFF200u, 0));

  snap.state = LinkState::Registering;
  service.refresh(snap);
  EXPECT_FALSE(service.available());
  EXPECT_EQ(service.statusLine(0), "");
  // Back in Running: a new client, its sequence from 0 again.
  snap.state = LinkState::Running;
  service.refresh(snap);
  ASSERT_TRUE(service.available());
  waitUntil([] { return false; }, 50);
  service.download();
  ASSERT_TRUE(waitUntil([&] { return exchange.hasPendingDatagrams(); }, 2000));
  d.resize(int(exchange.pendingDatagramSize()));
  exchange.readDatagram(d.data(), d.size());
  EXPECT_EQ(d.toStdString(), corvane::voiceFileQuery(0xFFFFF200u, 0));
}

}  // namespace
}  // namespace halvern::ui
