// The links' states print by name in logs and in test failure messages.
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/monitor_link.h"
#include "lumarc/links/voice_convert.h"
#include "lumarc/links/voice_link.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace lumarc {
namespace {

template <class State>
std::string streamed(State s) {
  std::ostringstream os;
  os << s;
  return os.str();
}

TEST(StateNames, EveryLinkStateHasItsName) {
  EXPECT_STREQ(cmdrStateName(CmdrState::Connecting), "Connecting");
  EXPECT_STREQ(cmdrStateName(CmdrState::Connected), "Connected");
  EXPECT_STREQ(cmdrStateName(CmdrState::Closed), "Closed");
  EXPECT_STREQ(cmdrStateName(CmdrState::Failed), "Failed");
  EXPECT_STREQ(monitorStateName(MonitorState::LoggingIn), "LoggingIn");
  EXPECT_STREQ(monitorStateName(MonitorState::SendingAccessCode), "SendingAccessCode");
  EXPECT_STREQ(monitorStateName(MonitorState::Monitoring), "Monitoring");
  EXPECT_STREQ(monitorStateName(MonitorState::Failed), "Failed");
  EXPECT_STREQ(voiceLinkStateName(VoiceLinkState::Starting), "Starting");
  EXPECT_STREQ(voiceLinkStateName(VoiceLinkState::Connected), "Connected");
  EXPECT_STREQ(voiceLinkStateName(VoiceLinkState::Failed), "Failed");
  EXPECT_STREQ(channelStateName(ChannelState::Created), "Created");
  EXPECT_STREQ(channelStateName(ChannelState::Writable), "Writable");
  EXPECT_STREQ(channelStateName(ChannelState::Connecting), "Connecting");
  EXPECT_STREQ(channelStateName(ChannelState::Connected), "Connected");
  EXPECT_STREQ(channelStateName(ChannelState::Answered), "Answered");
  EXPECT_STREQ(channelStateName(ChannelState::Failed), "Failed");
  EXPECT_STREQ(channelListStepName(ChannelListStep::Awaited), "Awaited");
  EXPECT_STREQ(channelListStepName(ChannelListStep::Received), "Received");
  EXPECT_STREQ(channelListStepName(ChannelListStep::Applied), "Applied");
  EXPECT_STREQ(converterStateName(VoiceConverter::State::Idle), "Idle");
  EXPECT_STREQ(converterStateName(VoiceConverter::State::Waiting), "Waiting");
  EXPECT_STREQ(converterStateName(VoiceConverter::State::Converting), "Converting");
}

TEST(StateNames, ValuesOutsideTheEnumAreMarked) {
  EXPECT_STREQ(cmdrStateName(static_cast<CmdrState>(9)), "?");
  EXPECT_STREQ(monitorStateName(static_cast<MonitorState>(4)), "?");
  EXPECT_STREQ(voiceLinkStateName(static_cast<VoiceLinkState>(1)), "?");
}

TEST(StateNames, StreamsAndTestMessagesShowTheName) {
  EXPECT_EQ(streamed(CmdrState::Closed), "Closed");
  EXPECT_EQ(streamed(ChannelState::Answered), "Answered");
  EXPECT_EQ(::testing::PrintToString(MonitorState::SendingAccessCode), "SendingAccessCode");
  EXPECT_EQ(::testing::PrintToString(VoiceLinkState::Connected), "Connected");
  EXPECT_EQ(::testing::PrintToString(ChannelListStep::Received), "Received");
  EXPECT_EQ(::testing::PrintToString(VoiceConverter::State::Waiting), "Waiting");
}

}  // namespace
}  // namespace lumarc
