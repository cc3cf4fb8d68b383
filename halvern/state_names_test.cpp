// The softphone's states print by name in the headless output, logs and
// test failure messages.
#include "halvern/keyset_snapshot.h"
#include "halvern/recording_client.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace halvern {
namespace {

TEST(StateNames, LinkLampAndRecordingSocketStates) {
  EXPECT_STREQ(linkStateName(LinkState::Initial), "Initial");
  EXPECT_STREQ(linkStateName(LinkState::InvalidSettings), "InvalidSettings");
  EXPECT_STREQ(linkStateName(LinkState::Registering), "Registering");
  EXPECT_STREQ(linkStateName(LinkState::Synchronizing), "Synchronizing");
  EXPECT_STREQ(linkStateName(LinkState::Running), "Running");
  EXPECT_STREQ(lampStateName(LampState::Off), "Off");
  EXPECT_STREQ(lampStateName(LampState::FastFlash), "FastFlash");
  EXPECT_STREQ(lampStateName(LampState::SlowFlash), "SlowFlash");
  EXPECT_STREQ(lampStateName(LampState::On), "On");
  EXPECT_STREQ(recordingSocketName(RecordingSocket::None), "None");
  EXPECT_STREQ(recordingSocketName(RecordingSocket::Connecting), "Connecting");
  EXPECT_STREQ(recordingSocketName(RecordingSocket::Connected), "Connected");
  EXPECT_STREQ(recordingSocketName(RecordingSocket::PeerClosed), "PeerClosed");
  EXPECT_STREQ(recordingSocketName(RecordingSocket::Closed), "Closed");
  EXPECT_STREQ(recordingSocketName(static_cast<RecordingSocket>(3)), "?");
}

TEST(StateNames, StreamsAndTestMessagesShowTheName) {
  std::ostringstream os;
  os << LinkState::Synchronizing << ' ' << LampState::FastFlash;
  EXPECT_EQ(os.str(), "Synchronizing FastFlash");
  EXPECT_EQ(::testing::PrintToString(RecordingSocket::PeerClosed), "PeerClosed");
  EXPECT_EQ(::testing::PrintToString(LinkState::Running), "Running");
}

}  // namespace
}  // namespace halvern
